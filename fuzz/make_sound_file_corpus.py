#!/usr/bin/env python3
"""Writes the seed corpus of sound_file_fuzz: small WAV files of several
rates, channel counts and sample formats, plus broken ones. The hang_*
files the fuzzer found are kept beside them as they were."""
import math
import os
import struct

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "sound_file_fuzz")
os.makedirs(here, exist_ok=True)


def wav(rate, channels, frames, fmt=1):
    width = 2 if fmt == 1 else 4
    data = b""
    for i in range(frames):
        for c in range(channels):
            v = 0.5 * math.sin(2 * math.pi * (1000 + 300 * c) * i / rate)
            data += struct.pack("<h", int(v * 32767)) if fmt == 1 else struct.pack("<f", v)
    fmt_chunk = struct.pack("<HHIIHH", fmt, channels, rate, rate * channels * width,
                            channels * width, 8 * width)
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt_chunk
    body += b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


files = {
    "mono_8000.wav": wav(8000, 1, 300),
    "stereo_8000.wav": wav(8000, 2, 300),
    "three_8000.wav": wav(8000, 3, 200),
    "stereo_44100.wav": wav(44100, 2, 600),
    "float_8000.wav": wav(8000, 2, 200, fmt=3),
    "header_only.wav": wav(8000, 2, 300)[:44],
    "text.txt": b"this is not a sound file\n" * 4,
}
files["truncated.wav"] = files["stereo_8000.wav"][:500]
# Chunk sizes near 2**32, which once made the chunk walk step by 0; a file
# cut inside its data chunk's header; data chunks without a whole frame.
small = wav(8000, 2, 16)
files["hang_list_size_fffffff8.wav"] = (small[:12] + b"LIST" + struct.pack("<I", 0xFFFFFFF8)
                                        + small[12:])
files["hang_fmt_size_fffffff7.wav"] = small[:16] + struct.pack("<I", 0xFFFFFFF7) + small[20:]
files["cut_in_data_header.wav"] = small[:41]
files["empty_data_chunk.wav"] = wav(8000, 2, 0)
files["three_data_bytes.wav"] = wav(8000, 2, 0)[:40] + struct.pack("<I", 3) + b"abc"
for name, data in files.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)
