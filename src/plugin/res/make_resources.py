#!/usr/bin/env python3
"""Draws the plugin's menu icons and its hand cursor.

Writes, beside this script:
  menu_icons.bmp  14 icons of 16 x 16 pixels side by side (224 x 16, 24 bits);
                  magenta (255, 0, 255) marks transparent pixels
  mano.cur        32 x 32 monochrome "open hand" cursor, hot spot in the palm

Only the standard library is used, so the pictures can be redrawn anywhere:
    python3 src/plugin/res/make_resources.py
Icon order is the order of the menu image list (index 0 first).
"""
import math
import os
import struct

KEY = (255, 0, 255)
SIZE = 16
COUNT = 14

# A small palette keeps the set consistent.
BLACK = (0, 0, 0)
DARK = (64, 64, 64)
GREY = (128, 128, 128)
LIGHT = (192, 192, 192)
WHITE = (255, 255, 255)
PAPER = (250, 250, 245)
BLUE = (40, 90, 170)
LBLUE = (120, 170, 230)
NAVY = (20, 50, 110)
GREEN = (40, 140, 60)
LGREEN = (120, 200, 110)
RED = (200, 40, 40)
ORANGE = (230, 150, 30)
YELLOW = (245, 215, 70)
BROWN = (150, 100, 40)
SKY = (150, 200, 240)


class Icon:
    def __init__(self):
        self.px = [[KEY] * SIZE for _ in range(SIZE)]

    def set(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c

    def hline(self, x0, x1, y, c):
        for x in range(x0, x1 + 1):
            self.set(x, y, c)

    def vline(self, x, y0, y1, c):
        for y in range(y0, y1 + 1):
            self.set(x, y, c)

    def rect(self, x0, y0, x1, y1, c):
        self.hline(x0, x1, y0, c)
        self.hline(x0, x1, y1, c)
        self.vline(x0, y0, y1, c)
        self.vline(x1, y0, y1, c)

    def fill(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            self.hline(x0, x1, y, c)

    def box(self, x0, y0, x1, y1, border, inside):
        self.fill(x0, y0, x1, y1, inside)
        self.rect(x0, y0, x1, y1, border)

    def line(self, x0, y0, x1, y1, c):
        steps = max(abs(x1 - x0), abs(y1 - y0))
        for i in range(steps + 1):
            t = i / steps if steps else 0
            self.set(round(x0 + (x1 - x0) * t), round(y0 + (y1 - y0) * t), c)

    def arc(self, cx, cy, r, a0, a1, c):
        """Arc in degrees, counter-clockwise from the positive x axis."""
        steps = int(abs(a1 - a0) * r / 20) + 8
        for i in range(steps + 1):
            a = math.radians(a0 + (a1 - a0) * i / steps)
            self.set(round(cx + r * math.cos(a)), round(cy - r * math.sin(a)), c)

    def disc(self, cx, cy, r, c):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.set(x, y, c)


def page(ic, x0, y0, x1, y1):
    ic.box(x0, y0, x1, y1, DARK, PAPER)
    for y in range(y0 + 2, y1 - 1, 2):
        ic.hline(x0 + 2, x1 - 2, y, LIGHT)


def floppy(ic):
    ic.box(1, 1, 14, 14, NAVY, BLUE)
    ic.box(4, 1, 11, 6, DARK, WHITE)   # label shutter
    ic.fill(9, 2, 10, 5, GREY)
    ic.box(3, 9, 12, 14, DARK, LIGHT)  # label
    ic.hline(5, 10, 11, GREY)
    ic.hline(5, 10, 13, GREY)


def icon_copy():
    ic = Icon()
    page(ic, 1, 1, 9, 11)
    page(ic, 6, 4, 14, 14)
    return ic


def icon_save():
    ic = Icon()
    floppy(ic)
    return ic


def icon_open():
    ic = Icon()
    ic.box(1, 3, 7, 5, BROWN, YELLOW)       # tab
    ic.box(1, 5, 13, 13, BROWN, ORANGE)     # back
    for y in range(8, 14):                  # front flap, slanted
        ic.hline(3 + (13 - y) // 3, 15 - (13 - y) // 3, y, YELLOW)
    ic.line(3, 8, 15, 8, BROWN)
    ic.hline(1, 14, 13, BROWN)
    return ic


def icon_paste():
    ic = Icon()
    ic.box(2, 2, 12, 14, BROWN, ORANGE)
    ic.box(5, 1, 9, 3, DARK, LIGHT)
    page(ic, 6, 6, 14, 15)
    return ic


def icon_save_selection():
    ic = Icon()
    floppy(ic)
    # dashed selection frame around the disk's corner
    for i in range(0, 16, 2):
        ic.set(i, 0, BLACK)
        ic.set(i, 15, BLACK)
        ic.set(0, i, BLACK)
        ic.set(15, i, BLACK)
    for i in range(1, 16, 2):
        ic.set(i, 0, WHITE)
        ic.set(i, 15, WHITE)
        ic.set(0, i, WHITE)
        ic.set(15, i, WHITE)
    return ic


def arrow_head(ic, x, y, dx, dy, c):
    """A small filled triangle pointing along (dx, dy)."""
    for i in range(4):
        for j in range(-i, i + 1):
            if dx:
                ic.set(x - dx * i, y + j, c)
            else:
                ic.set(x + j, y - dy * i, c)


def icon_refresh():
    ic = Icon()
    for r in (5, 6):
        ic.arc(7.5, 7.5, r, 20, 160, GREEN)
        ic.arc(7.5, 7.5, r, 200, 340, GREEN)
    arrow_head(ic, 13, 3, 0, -1, GREEN)     # right end, turning upwards
    arrow_head(ic, 2, 12, 0, 1, GREEN)      # left end, turning downwards
    return ic


def icon_print():
    ic = Icon()
    ic.box(4, 1, 11, 6, DARK, PAPER)        # paper in
    ic.box(1, 6, 14, 11, DARK, LIGHT)       # body
    ic.set(12, 8, GREEN)
    ic.box(4, 10, 11, 14, DARK, PAPER)      # paper out
    ic.hline(6, 9, 12, GREY)
    return ic


def icon_rotate(left):
    ic = Icon()
    page(ic, 5, 5, 12, 14)
    if left:
        ic.arc(8, 8, 6, 100, 200, BLUE)
        ic.arc(8, 8, 5, 100, 200, BLUE)
        arrow_head(ic, 2, 12, 0, 1, BLUE)
    else:
        ic.arc(8, 8, 6, -20, 80, BLUE)
        ic.arc(8, 8, 5, -20, 80, BLUE)
        arrow_head(ic, 14, 12, 0, 1, BLUE)
    return ic


def icon_adjust():
    ic = Icon()
    for n, (y, knob) in enumerate(((3, 4), (8, 10), (13, 6))):
        ic.hline(1, 14, y, GREY)
        ic.hline(1, 14, y + 1, DARK)
        ic.box(knob - 1, y - 2, knob + 1, y + 2, NAVY, (LBLUE, ORANGE, LGREEN)[n])
    return ic


def icon_view():
    ic = Icon()
    ic.box(0, 2, 15, 13, DARK, SKY)
    ic.disc(11, 5, 2, YELLOW)
    for x in range(1, 15):                  # two hills
        h1 = 12 - max(0, 5 - abs(x - 5))
        h2 = 12 - max(0, 3 - abs(x - 11))
        ic.vline(x, min(h1, h2), 12, GREEN if h1 <= h2 else LGREEN)
    return ic


def icon_thumbnails():
    ic = Icon()
    for (x, y) in ((1, 1), (9, 1), (1, 9), (9, 9)):
        ic.box(x, y, x + 5, y + 5, DARK, SKY)
        ic.fill(x + 1, y + 3, x + 4, y + 4, GREEN)
    return ic


def icon_delete():
    ic = Icon()
    for d in (-1, 0, 1):
        ic.line(3, 3 + d, 12 - d, 12, RED)
        ic.line(12, 3 + d, 3 + d, 12, RED)
    ic.line(3, 3, 12, 12, (150, 20, 20))
    ic.line(12, 3, 3, 12, (150, 20, 20))
    return ic


def icon_zoom():
    ic = Icon()
    ic.disc(6, 6, 5, DARK)
    ic.disc(6, 6, 4, SKY)
    ic.set(4, 4, WHITE)
    ic.set(5, 3, WHITE)
    for d in range(5):
        ic.fill(9 + d, 10 + d, 10 + d, 11 + d, BROWN)
    return ic


ICONS = [
    icon_copy(),            # 0  copy
    icon_save(),            # 1  save
    icon_open(),            # 2  open
    icon_paste(),           # 3  paste
    icon_save_selection(),  # 4  save selection
    icon_refresh(),         # 5  reload
    icon_print(),           # 6  print
    icon_rotate(True),      # 7  rotate left
    icon_rotate(False),     # 8  rotate right
    icon_adjust(),          # 9  adjustments, properties
    icon_view(),            # 10 view image
    icon_thumbnails(),      # 11 thumbnails
    icon_delete(),          # 12 delete
    icon_zoom(),            # 13 zoom, open with
]
assert len(ICONS) == COUNT


def write_bmp24(path, width, height, pixel):
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):           # bottom-up rows
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + bytes(row - len(line))
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + data)


# The cursor: '#' outline (black), '.' inside (white), ' ' transparent.
HAND = """
                                
             ##                 
         ## #..###              
        #..##..#..#             
        #..##..#..# ##          
         #..#..#..##..#         
         #..#..#..#...#         
       ## #.......#..#          
      #..##.........#           
      #...#........#            
       #...........#            
        #..........#            
        #.........#             
         #........#             
          #......#              
          #......#              
           ######               
"""


def write_cursor(path):
    rows = HAND.strip('\n').split('\n')
    rows = [r.ljust(32)[:32] for r in rows] + [' ' * 32] * (32 - len(rows))
    hot_x, hot_y = 13, 9
    # XOR bitmap (1 bit, white = 1) and AND mask (transparent = 1), bottom-up.
    xor_rows, and_rows = [], []
    for y in range(31, -1, -1):
        xor_bits = and_bits = 0
        for x in range(32):
            ch = rows[y][x]
            xor_bits = (xor_bits << 1) | (1 if ch == '.' else 0)
            and_bits = (and_bits << 1) | (1 if ch == ' ' else 0)
        xor_rows.append(struct.pack('>I', xor_bits))
        and_rows.append(struct.pack('>I', and_bits))
    info = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = info + palette + b''.join(xor_rows) + b''.join(and_rows)
    header = struct.pack('<HHH', 0, 2, 1)
    entry = struct.pack('<BBBBHHII', 32, 32, 2, 0, hot_x, hot_y, len(image), 6 + 16)
    with open(path, 'wb') as f:
        f.write(header + entry + image)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_bmp24(os.path.join(here, 'menu_icons.bmp'), SIZE * COUNT, SIZE,
                lambda x, y: ICONS[x // SIZE].px[y][x % SIZE])
    write_cursor(os.path.join(here, 'mano.cur'))


if __name__ == '__main__':
    main()
