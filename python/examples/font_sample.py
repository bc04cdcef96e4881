#!/usr/bin/env python3
"""font_sample.py [OUT.gds]: every character of the library's polygon font.

Printable ASCII in three lines, a box for a character outside the font,
the nine anchors, each at its marked point, and a line turned by 30 degrees; all
BOUNDARY polygons from Structure.text_polygons.

Run from the source tree after `make`:  PYTHONPATH=python python3
python/examples/font_sample.py font_sample.gds
"""

import sys

import quillon


def main(out="font_sample.gds"):
    with quillon.Library(out, unit=1e-6, precision=1e-9, coordinates="user") as lib:
        with lib.structure("FONT") as top:
            rows = ["".join(map(chr, range(32, 64))), "".join(map(chr, range(64, 96))),
                    "".join(map(chr, range(96, 127))) + "\x7f"]
            top.text_polygons("\n".join(rows), (0, 0), height=7, layer=3)
            names = ["top left", "top", "top right", "left", "center", "right",
                     "bottom left", "bottom", "bottom right"]
            # Each anchor at a point of its own (marked by a small square).
            for i, anchor in enumerate(names):
                x, y = 120 + 45 * (i % 3), -45 - 16 * (i // 3)
                top.text_polygons(anchor, (x, y), height=3, anchor=anchor, layer=7)
                top.box((x - 0.5, y - 0.5), (x + 0.5, y + 0.5), layer=8)
            top.text_polygons("Turned 30 degrees", (10, -70), height=5, angle=30, layer=5)
    return out


if __name__ == "__main__":
    print(main(*sys.argv[1:2]))
