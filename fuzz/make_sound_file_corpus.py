#!/usr/bin/env python3
"""Writes the seed corpus of sound_file_fuzz: small WAV files of several
rates, channel counts and sample formats, plus broken ones."""
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
for name, data in files.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)
