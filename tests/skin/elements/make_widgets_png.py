#!/usr/bin/env python3
# Writes widgets.png, the picture atlas of the element test skin (kept in the repository; run
# again only to change the art). Transparent pixels have alpha 0; skinc turns them into the
# colour key.
import struct, zlib

W, H = 64, 32
KEY = (255, 0, 255)
px = [[KEY] * W for _ in range(H)]

def box(x0, y0, border, fill, round_corners=True):
    for y in range(16):
        for x in range(16):
            corner = round_corners and (x in (0, 15)) and (y in (0, 15))
            if corner:
                continue
            edge = x < 2 or y < 2 or x > 13 or y > 13
            px[y0 + y][x0 + x] = border if edge else fill

box(0, 0, (29, 59, 110), (207, 224, 245))      # button
box(16, 0, (29, 59, 110), (108, 149, 207))     # button pressed
box(32, 0, (130, 130, 130), (200, 200, 200))   # button disabled
box(48, 0, (40, 40, 40), (255, 255, 255), False)  # check box, empty
box(0, 16, (40, 40, 40), (255, 255, 255), False)  # check box, ticked
for i in range(8):
    px[16 + 6 + (i if i < 4 else 7 - i)][4 + i] = (20, 120, 40)
    px[16 + 7 + (i if i < 4 else 7 - i)][4 + i] = (20, 120, 40)
box(16, 16, (40, 40, 40), (255, 255, 255), False)  # check box, partly
for x in range(4, 12):
    for y in range(7, 9):
        px[16 + y][16 + x] = (20, 120, 40)
box(32, 16, (60, 60, 60), (235, 235, 235))     # progress track
box(48, 16, (20, 100, 30), (80, 190, 90))      # progress line

raw = b''.join(b'\x00' + bytes(c for p in row for c in (p + ((0,) if p == KEY else (255,)))) for row in px)
def chunk(t, d):
    return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', W, H, 8, 6, 0, 0, 0)) \
    + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
open(__file__.replace('make_widgets_png.py', 'widgets.png'), 'wb').write(png)
