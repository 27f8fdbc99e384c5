#!/usr/bin/env python3
"""Writes the seed corpus of malformed WAV headers into fuzz/corpus/wav.

Run from the repository root after changing a case; the files are committed."""
import os
import struct

out = os.path.join(os.path.dirname(__file__), "corpus", "wav")
os.makedirs(out, exist_ok=True)


def fmt(tag=1, ch=2, rate=44100, align=4, bits=16, cb=0, extra=b"", size=None):
    body = struct.pack("<HHIIHHH", tag, ch, rate, rate * align, align, bits, cb) + extra
    return b"fmt " + struct.pack("<I", len(body) if size is None else size) + body


def data(payload, size=None):
    return b"data" + struct.pack("<I", len(payload) if size is None else size) + payload


def cue(points):
    """A cue chunk and its LIST/adtl labels, as the recorder appends them after the audio."""
    body = struct.pack("<I", len(points))
    labels = b"adtl"
    for i, (frame, label) in enumerate(points, 1):
        body += struct.pack("<II4sIII", i, frame, b"data", 0, 0, frame)
        text = label.encode() + b"\0"
        labels += b"labl" + struct.pack("<II", 4 + len(text), i) + text + (b"\0" if len(text) % 2 else b"")
    return b"cue " + struct.pack("<I", len(body)) + body + b"LIST" + struct.pack("<I", len(labels)) + labels


def riff(chunks, size=None):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body) if size is None else size) + body


audio = bytes((i * 37) & 0xFF for i in range(400))
cases = {
    "good": riff([fmt(), data(audio)]),
    "placeholder-sizes": riff([fmt(), data(audio, 0)], 0),
    "zero-placeholder": bytes(46) + audio,
    "partial-frame": riff([fmt(), data(audio + b"\x01", 0)], 0),
    "channels-0": riff([fmt(ch=0, align=0), data(audio)]),
    "block-align-0": riff([fmt(align=0), data(audio, 0)], 0),
    "fmt-size-0": riff([b"fmt " + struct.pack("<I", 0), data(audio)]),
    "fmt-size-12": riff([fmt(size=12)[:20], data(audio)]),
    "fmt-size-huge": riff([fmt(size=0x7FFFFFF0), data(audio)]),
    "cbsize-beyond-chunk": riff([fmt(cb=200, extra=b"\x01\x02"), data(audio)]),
    "odd-fmt-no-pad": riff([fmt(cb=1, extra=b"\x07"), data(audio, 0)], 0),
    "two-fmt": riff([fmt(), fmt(ch=1, align=2), data(audio)]),
    "data-before-fmt": riff([data(audio), fmt()]),
    "sizes-ffffffff": riff([fmt(), data(audio, 0xFFFFFFFF)], 0xFFFFFFFF),
    "no-data": riff([fmt()]),
    "truncated-header": riff([fmt(), data(audio)])[:30],
    "list-after-data": riff([fmt(), data(audio), b"LIST" + struct.pack("<I", 4) + b"INFO"]),
    "gsm-like": riff([fmt(tag=0x31, ch=1, rate=8000, align=65, bits=0, cb=2, extra=b"\x40\x01"),
                      data(audio[:195], 0)], 0),
    "extensible-24bit": riff([fmt(tag=0xFFFE, ch=2, align=6, bits=24, cb=22, extra=bytes(22)), data(audio[:396])]),
    "float32": riff([fmt(tag=3, ch=1, align=4, bits=32), data(audio)]),
    "bits-0": riff([fmt(bits=0), data(audio)]),
    "rate-0": riff([fmt(rate=0), data(audio)]),
    "cue-after-data": riff([fmt(), data(audio), cue([(0, "start"), (50, "丢失 120 ms")])]),
    "torn-cue-after-data": riff([fmt(), data(audio), cue([(0, "start"), (50, "mark")])[:30]], 0),
    "cue-count-beyond-chunk": riff([fmt(), data(audio), b"cue " + struct.pack("<II", 28, 1000) + bytes(24)]),
}
for name, blob in cases.items():
    with open(os.path.join(out, name + ".wav"), "wb") as f:
        f.write(blob)
