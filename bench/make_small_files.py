#!/usr/bin/env python3
"""Writes the small-files benchmark archive: 70,000 deflated text files of 100 to 3,000
bytes in 70 folders, made by Python's zipfile (more than 65,535 entries: Zip64 end records).

usage: make_small_files.py OUTPUT.zip [COUNT]
"""
import random
import sys
import zipfile

out = sys.argv[1]
count = int(sys.argv[2]) if len(sys.argv) > 2 else 70000
words = "alpha beta gamma delta install runtime module class jar lib bin conf data".split()
rng = random.Random(70000)
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
    for i in range(count):
        size = rng.randint(100, 3000)
        text = []
        length = 0
        while length < size:
            word = rng.choice(words)
            text.append(word)
            length += len(word) + 1
        archive.writestr("d%03d/file%05d.txt" % (i // 1000, i), " ".join(text)[:size])
