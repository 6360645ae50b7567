#!/usr/bin/env python3
"""Rewrites an uncompressed 8-bit .bmp as a run-length encoded one (BI_RLE8) with only the
colours it uses, the smallest encoding of the same pixels: the dialog shows it as before.

usage: rle8.py BITMAP.bmp   (rewritten in place)
"""
import struct
import sys

path = sys.argv[1]
data = open(path, "rb").read()
pixels_at, header_size = struct.unpack_from("<II", data, 10)
width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
colours = struct.unpack_from("<I", data, 46)[0] or 256
if header_size != 40 or bits != 8 or compression != 0 or height <= 0:
    sys.exit("rle8.py: %s is not an uncompressed bottom-up 8-bit bitmap" % path)
stride = (width + 3) & ~3
rows = [data[pixels_at + y * stride:pixels_at + y * stride + width] for y in range(height)]

# Only the colours in use, in their old order: the same picture with a shorter table.
used = sorted(set(b for row in rows for b in row))
remap = {old: new for new, old in enumerate(used)}
table = b"".join(data[54 + 4 * old:58 + 4 * old] for old in used)
rows = [bytes(remap[b] for b in row) for row in rows]


def encode_row(row):
    # Fewest bytes per row: at each pixel either a repeat of 1..255 equal pixels (2 bytes)
    # or a literal stretch of 3..255 pixels (2 bytes, the pixels, padded to even).
    n = len(row)
    cost = [0] * (n + 1)
    choice = [None] * (n + 1)
    for i in range(n - 1, -1, -1):
        run = 1
        while i + run < n and run < 255 and row[i + run] == row[i]:
            run += 1
        best, pick = cost[i + 1] + 2, ("run", 1)
        for k in range(2, run + 1):
            if cost[i + k] + 2 < best:
                best, pick = cost[i + k] + 2, ("run", k)
        for k in range(3, min(255, n - i) + 1):
            c = cost[i + k] + 2 + k + (k & 1)
            if c < best:
                best, pick = c, ("literal", k)
        cost[i], choice[i] = best, pick
    out = bytearray()
    i = 0
    while i < n:
        kind, k = choice[i]
        if kind == "run":
            out += bytes([k, row[i]])
        else:
            out += bytes([0, k]) + row[i:i + k] + (b"\0" if k & 1 else b"")
        i += k
    return out


encoded = bytearray()
for y, row in enumerate(rows):
    encoded += encode_row(row)
    encoded += b"\0\1" if y == height - 1 else b"\0\0"  # end of bitmap / end of line

header = bytearray(data[14:54])
struct.pack_into("<I", header, 16, 1)  # BI_RLE8
struct.pack_into("<I", header, 20, len(encoded))
struct.pack_into("<II", header, 32, len(used), 0)
offset = 14 + 40 + len(table)
file_header = b"BM" + struct.pack("<IHHI", offset + len(encoded), 0, 0, offset)
open(path, "wb").write(file_header + header + table + encoded)
