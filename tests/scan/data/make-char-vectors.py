#!/usr/bin/env python3
"""Writes char-vectors.txt: random valid strings with their UTF-8 and
UTF-16LE forms as Python's codecs give them, for the character conversion
tests. One string a line: its code points, its UTF-8 bytes and its UTF-16
units, in hex, separated by spaces (code points and units by commas).

    python3 tests/scan/data/make-char-vectors.py > tests/scan/data/char-vectors.txt
"""
import random
import sys

# Ranges weighted so that every UTF-8 length and both UTF-16 forms show.
RANGES = [
    (0x01, 0x7F),
    (0x80, 0x7FF),
    (0x800, 0xD7FF),
    (0xE000, 0xFFFF),
    (0x10000, 0x10FFFF),
    (0x1F300, 0x1FAFF),
]


def random_string(rng):
    chars = []
    for _ in range(rng.randint(1, 24)):
        lo, hi = rng.choice(RANGES)
        chars.append(chr(rng.randint(lo, hi)))
    return "".join(chars)


def main():
    rng = random.Random(20261211)
    out = sys.stdout
    # The boundaries of every length, then random strings.
    edges = [0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x10FFFF]
    strings = ["".join(chr(c) for c in edges)] + [random_string(rng) for _ in range(400)]
    for s in strings:
        points = ",".join("%X" % ord(c) for c in s)
        utf8 = s.encode("utf-8").hex().upper()
        raw16 = s.encode("utf-16-le")
        units = ",".join("%04X" % int.from_bytes(raw16[i:i + 2], "little") for i in range(0, len(raw16), 2))
        # The codecs agree with themselves both ways.
        assert bytes.fromhex(utf8).decode("utf-8") == s and raw16.decode("utf-16-le") == s
        out.write("%s %s %s\n" % (points, utf8, units))


if __name__ == "__main__":
    main()
