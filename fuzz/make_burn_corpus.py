#!/usr/bin/env python3
"""Writes the generated corpus of burn_fuzz: one input for every answer of a burn (block size 24:
P b e A B A g L) with each kind of rewrite, and the block-size answer with sizes around the
image and the block limits. Usage: make_burn_corpus.py DIRECTORY"""
import os
import sys

COMMANDS = ["P", "b", "e", "A", "B", "A2", "g", "L"]
KEEP = [0, 0]


def action(kind, data):
    return [kind, len(data)] + list(data)


def main(directory):
    os.makedirs(directory, exist_ok=True)
    inputs = {}
    rewrites = {
        "noise-before": (1, b"\xff\x00\xaa"),
        "cr-before": (1, b"\x0d"),
        "noise-after": (2, b"\x55\xaa\x3f\x5a"),
        "cr-after": (2, b"\x0d\x0d"),
        "overwrite": (3, b"\xff\xff\x00"),
    }
    for position, command in enumerate(COMMANDS):
        for name, (kind, data) in rewrites.items():
            inputs["%d-%s-%s" % (position + 1, command, name)] = KEEP * position + action(kind, data)
    for size in (2, 3, 8, 22, 23, 25, 26, 255, 256, 0x8000, 0xFFFF):
        inputs["block-size-%d" % size] = KEEP + action(3, bytes([ord("Y"), size >> 8, size & 0xFF]))
    for name, data in inputs.items():
        with open(os.path.join(directory, name), "wb") as f:
            f.write(bytes(data))
    print(len(inputs))


if __name__ == "__main__":
    main(sys.argv[1])
