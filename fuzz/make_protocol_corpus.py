#!/usr/bin/env python3
"""Writes the committed seed corpora of the two decoder fuzz targets.

Each file: byte 0 = number of bits to drop from the end of the packed string
(0..7), then the string packed MSB first, so its bit count is exact. The
telegrams are built here independently of the C++ encoders (own parity and
check character), valid ones for every function plus broken ones.

    fuzz/make_protocol_corpus.py   # rewrites fuzz/corpus/{request,answer}_decoder_fuzz/
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))


def parity(d):
    return 1 if bin(d).count("1") % 2 == 0 else 0


def char_bits(item):
    """'C1/0' as given, 'C1' with its parity bit."""
    if "/" in item:
        data, ninth = item.split("/")
        return format(int(data, 16), "08b") + ninth
    d = int(item, 16)
    return format(d, "08b") + str(parity(d))


def crc_step(reg, bit):
    carry = (reg >> 8) & 1
    reg = ((reg << 1) | bit) & 0x1FF
    return reg ^ 0x29 if carry else reg


def chars(text, check=False):
    """Bits of the characters; with check, a long end and the check character follow."""
    bits = "".join(char_bits(i) for i in text.split())
    if check:
        bits += char_bits("20/1")
        reg = 0
        for b in bits[9:] + "0" * 9:
            reg = crc_step(reg, int(b))
        bits += format(reg, "09b")
    return bits


def packed(bits):
    padded = bits + "0" * (-len(bits) % 8)
    body = bytes(int(padded[i:i + 8], 2) for i in range(0, len(padded), 8))
    return bytes([len(padded) - len(bits)]) + body


def flip(bits, i):
    return bits[:i] + ("1" if bits[i] == "0" else "0") + bits[i + 1:]


W8 = "05 08 64 00 00 00 FF 07 FF 0F 07 00 11 FD C8 80"  # TIT words / settings
TIT = "01 00 01 08 FF 07 FF 0F 00 00 23 51 34 FA 07 10"

ANSWERS = {
    "ot": chars("C1 50 00 00/0"),
    "tsm_n0": chars("C2 F0 00", True),
    "tsm_n3": chars("C2 F0 03 81 00 FF", True),
    "tsm_n10": chars("C2 F0 0A 01 02 03 04 05 06 07 08 09 0A", True),
    "gts_worked": chars("C1/0 90/1 01/0 05/1 20/1 0C/1"),
    "gts_short": chars("C1 90 01 00/0"),
    "gts_group9": chars("C3 90 09 7E", True),
    "gkds": chars("C4 20 01 00/0"),
    "gtit_short": chars("C5 10 03 00/0"),
    "gtit_g2": chars("C5 10 02 " + TIT, True),
    "gtit_g5": chars("C5 10 05 " + TIT, True),
    "gtii_reset": chars("C6 00 13 " + TIT, True),
    "gtii_noreset": chars("C6 30 01 " + TIT, True),
    "zutit": chars("C7 A0 3F " + W8, True),
    "nutit": chars("C7 B0 0A 00/0"),
    "bo_2": chars("C8 D0 12 34", True),
    "bo_8": chars("C8 D0 01 02 03 04 05 06 07 08", True),
    "tu_on": chars("C9 70 03 00 00/0"),
    "tu_off": chars("C9 E0 03 06 00/0"),
    "func40": chars("C1 40 00 00/0"),
    "bad_35bits": chars("C1 50 00") + "00000000",
    "bad_e1": chars("E1/1 90 01 00/0"),
    "bad_a1": chars("A1 90 01 00/0"),
    "bad_c0_good_parity": chars("C0/1 90 01 00/0"),
    "bad_c0_bad_parity": chars("C0/0 90 01 00/0"),
    "bad_gts_crc": flip(chars("C1/0 90/1 01/0 05/1 20/1 0C/1"), 53),
    "bad_gts_end": chars("C1 90 01 05 20/0 0C/1"),
    "bad_bo_second_long_end": chars("C8 D0 12 20/1 0C/1 00"),
    "bad_tsm_short": chars("C2 F0 05 01 02", True),
    "bad_dump_2040": chars("C9 41 00 " + " ".join(["5A"] * 223)) + "000000",
    "empty": "",
}

REQUESTS = {
    "ot": chars("C1 50 00 00/0"),
    "tsm": chars("C2 F0 00 00/0"),
    "bo": chars("C3 D0 00 00/0"),
    "gts": chars("C4 90 01 00/0"),
    "gkds": chars("C4 20 3F 00/0"),
    "gtit": chars("C4 10 04 00/0"),
    "gtii_any_end": chars("C5 00 05 A5/1"),
    "gtii_group13": chars("C5 00 13 00/0"),
    "gtii_noreset": chars("C5 30 1F 00/0"),
    "zutit": chars("C6 A0 0A 00/0"),
    "nutit": chars("C6 B0 0A " + W8, True),
    "tu_on_mask0": chars("C7 70 01 00 00/0"),
    "tu_off_mask6": chars("C7 E0 01 06 00/0"),
    "func40": chars("C7 40 12 00/0 FF/0"),
    "encoded_ot_with_lead": chars("00/0 C1 50 00 00/0"),
    "encoded_nutit_with_lead": chars("00/0 C1 B0 0A " + " ".join(["00/1"] * 16) + " 00/0"),
    "bad_35bits": chars("C1 50 00") + "00000000",
    "bad_e1": chars("E1/1 50 00 00/0"),
    "bad_c0_good_parity": chars("C0/1 50 00 00/0"),
    "bad_c0_bad_parity": chars("C0/0 50 00 00/0"),
    "bad_gts_end": chars("C3 90 01 20/1"),
    "bad_group": chars("C3 50 01 00/0"),
    "bad_nutit_crc": flip(chars("C6 B0 0A " + W8, True), 188),
    "bad_tu_short": chars("C7 70 01 01"),
    "bad_dump_2040": chars("C9 41 00 " + " ".join(["5A"] * 223)) + "000000",
    "empty": "",
}


def write(name, telegrams):
    directory = os.path.join(HERE, "corpus", name)
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    for key, bits in telegrams.items():
        assert len(bits) <= 2040, key
        with open(os.path.join(directory, key), "wb") as f:
            f.write(packed(bits))


def main():
    # The worked check example: the worked Gts answer has check 0.
    assert chars("C1/0 90/1 01/0 05/1", True) == ANSWERS["gts_worked"]
    write("answer_decoder_fuzz", ANSWERS)
    write("request_decoder_fuzz", REQUESTS)


if __name__ == "__main__":
    main()
