#!/usr/bin/env python3
"""Writes the installer's icon (resource 105): 32 by 32, 16 colours, a red nested-triangle
figure on the pale-yellow background of the installer's window. Run once; the result,
resources/orv.ico, is kept in the tree."""
import struct
import sys

W = H = 32
# palette index 0 pale yellow (255,255,153), 1 red, 2 dark red
palette = [(255, 255, 153), (220, 0, 0), (120, 0, 0)] + [(0, 0, 0)] * 13


def pixel(x, y):
    # y counts from the top here; nested right-angled triangles like the window's figure
    for k, inset in enumerate((2, 8, 14)):
        xa, ya, xb = inset, inset, W - 1 - inset // 2
        if xa <= x <= xb and ya <= y <= W - 1 - inset // 2:
            # on the outline of the triangle (top edge, right edge, hypotenuse)
            if y == ya and x >= xa:
                return 1 + (k & 1)
            if x == xb and y >= ya:
                return 1 + (k & 1)
            if abs((x - xa) - (y - ya)) <= 0 and x >= xa:
                return 1 + (k & 1)
    return 0


rows = []
for y in range(H - 1, -1, -1):  # bottom-up
    row = bytearray()
    for x in range(0, W, 2):
        row.append((pixel(x, y) << 4) | pixel(x + 1, y))
    rows.append(bytes(row))
xor = b"".join(rows)
andmask = b"\x00" * (4 * H)
bih = struct.pack("<IiiHHIIiiII", 40, W, H * 2, 1, 4, 0, len(xor) + len(andmask), 0, 0, 16, 0)
pal = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in palette)
image = bih + pal + xor + andmask
header = struct.pack("<HHH", 0, 1, 1)
entry = struct.pack("<BBBBHHII", W, H, 16, 0, 1, 4, len(image), 6 + 16)
sys.stdout.buffer.write(header + entry + image)
