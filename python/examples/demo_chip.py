#!/usr/bin/env python3
"""demo_chip.py [OUT.gds]: the Quillon demo chip, drawn from Python.

The chip, in micrometres on a nanometre grid: a 500 x 500 die with a seal
ring, sixteen bond pads arrayed along the four sides (rotated arrays), a core
of standard-cell rows (alternate rows reflected, one cell mirrored), power
rings and routing paths of all three path types, a spiral inductor, a logo of
circles, sectors and arcs, alignment marks in the corners and labels on the
pads. It makes the same calls as the C program quillon-demo
(tools/demo/demo.cpp), with the same rounding of micrometres to nanometres,
so the two write the same bytes (the tests compare them).

Run from the source tree after `make`:  PYTHONPATH=python python3
python/examples/demo_chip.py demo_py.gds
"""

import datetime
import math
import sys

import quillon

# Layers.
NWELL, ACTIVE, POLY, CONTACT, METAL1, VIA1, METAL2, PAD_OPENING = 1, 2, 3, 4, 5, 6, 7, 8
OUTLINE, LOGO, LOGO_SLICE, LABELS = 10, 20, 21, 63

# PRESENTATION words: vertical middle + horizontal centre, and bottom left.
MIDDLE_CENTRE = 0x0005
BOTTOM_LEFT = 0x0008


def um(value):
    """Micrometres to database units (nanometres), rounded half away from
    zero, as quillon-demo's std::lround does (not int(), which truncates,
    nor round(), which rounds halves to even)."""
    scaled = value * 1000.0
    whole = math.trunc(scaled)
    if abs(scaled - whole) >= 0.5:
        whole += 1 if scaled > 0 else -1
    return whole


def pts(*xy):
    """(x0, y0, x1, y1, ...) in micrometres as a list of points in nm."""
    return [(um(x), um(y)) for x, y in zip(xy[0::2], xy[1::2])]


def box(cell, x1, y1, x2, y2, layer):
    cell.box(um(x1), um(y1), um(x2), um(y2), layer=layer)


def label(cell, x, y, text, presentation, magnification, angle=0.0):
    cell.text(text, (um(x), um(y)), layer=LABELS, presentation=presentation,
              magnification=magnification, angle=angle)


def aref(cell, name, columns, rows, x, y, col, row, **transform):
    """columns x rows instances from (x, y), lattice vectors col and row (um)."""
    xy = [(um(x), um(y)), (um(x + columns * col[0]), um(y + columns * col[1])),
          (um(x + rows * row[0]), um(y + rows * row[1]))]
    cell.aref(name, xy, columns, rows, **transform)


def cuts(lib):
    with lib.structure("CONTACT") as cell:
        cell.square(0, 0, um(1), layer=CONTACT)
    with lib.structure("VIA1") as cell:
        cell.box_wh(um(-0.5), um(-0.5), um(3), um(3), layer=METAL1)
        cell.square(0, 0, um(2), layer=VIA1)
        cell.box_wh(um(-0.5), um(-0.5), um(3), um(3), layer=METAL2)


def inverter(lib):
    with lib.structure("INV") as cell:
        box(cell, -1, 15, 11, 31, NWELL)
        box(cell, 1.5, 3, 8.5, 11, ACTIVE)
        box(cell, 1.5, 18, 8.5, 27, ACTIVE)
        cell.path(pts(5, 1.5, 5, 14.5, 2.5, 14.5, 2.5, 16, 5, 16, 5, 28.5), width=um(1),
                  layer=POLY)
        box(cell, 0, 0, 10, 2.5, METAL1)
        box(cell, 0, 27.5, 10, 30, METAL1)
        for x, y, rows in ((2.5, 4.5, 3), (2.5, 19.5, 3), (6.5, 4, 4), (6.5, 19, 4)):
            aref(cell, "CONTACT", 1, rows, x, y, (2, 0), (0, 2))
        cell.path(pts(3, 2.5, 3, 10), width=um(2), layer=METAL1)
        cell.path(pts(3, 20, 3, 27.5), width=um(2), layer=METAL1)
        cell.boundary(pts(6, 3.5, 8, 3.5, 8, 13, 9, 13, 9, 17, 8, 17, 8, 27, 6, 27, 6, 17.5,
                          7, 17.5, 7, 12.5, 6, 12.5), layer=METAL1)
        label(cell, 8.5, 15, "Y", MIDDLE_CENTRE, 2.5)
        label(cell, 2.5, 15.25, "A", MIDDLE_CENTRE, 2.5)
        cell.node(pts(8.5, 15, 2.5, 15.25), layer=METAL1)


def nand(lib):
    with lib.structure("NAND2") as cell:
        box(cell, -1, 15, 16, 31, NWELL)
        box(cell, 1.5, 3, 13.5, 11, ACTIVE)
        box(cell, 1.5, 18, 13.5, 27, ACTIVE)
        cell.path(pts(5, 1.5, 5, 28.5), width=um(1), layer=POLY)
        cell.path(pts(10, 1.5, 10, 28.5), width=um(1), layer=POLY)
        box(cell, 0, 0, 15, 2.5, METAL1)
        box(cell, 0, 27.5, 15, 30, METAL1)
        aref(cell, "CONTACT", 1, 3, 2.5, 4.5, (2, 0), (0, 2))
        aref(cell, "CONTACT", 3, 1, 2.5, 20, (5, 0), (0, 2))
        aref(cell, "CONTACT", 1, 3, 11.5, 4.5, (2, 0), (0, 2))
        cell.path(pts(3, 2.5, 3, 10), width=um(2), layer=METAL1)
        cell.path(pts(3, 21, 3, 27.5), width=um(2), layer=METAL1)
        cell.path(pts(13, 27.5, 13, 21), width=um(2), layer=METAL1)
        cell.path(pts(8, 21, 8, 14, 12, 14, 12, 5), width=um(1.5), layer=METAL1, pathtype=1)
        label(cell, 8, 14, "Y", MIDDLE_CENTRE, 2.5)


def row(lib):
    with lib.structure("ROW") as cell:
        aref(cell, "INV", 4, 1, 0, 0, (10, 0), (0, 30))
        for i in range(5):
            cell.sref("NAND2", (um(40 + 15 * i), 0))
        aref(cell, "INV", 6, 1, 115, 0, (10, 0), (0, 30))
        # Mirrored about the y axis: reflect about x, then rotate by 180.
        cell.sref("INV", (um(185), 0), reflect=True, angle=180.0)


def pad(lib):
    with lib.structure("PAD") as cell:
        cell.square(0, 0, um(60), layer=METAL2)
        cell.square(0, 0, um(60), layer=METAL1)
        cell.box_wh(um(6), um(6), um(48), um(48), layer=PAD_OPENING)
        aref(cell, "VIA1", 6, 6, 3.5, 3.5, (10, 0), (0, 10))


def mark(lib):
    with lib.structure("MARK") as cell:
        box(cell, -1, -8, 1, 8, METAL2)
        box(cell, -8, -1, 8, 1, METAL2)
        cell.boundary(pts(4, 4, 10, 4, 10, 5.5, 5.5, 5.5, 5.5, 10, 4, 10), layer=METAL1)


def logo(lib):
    with lib.structure("LOGO") as cell:
        cell.circle((0, 0), um(26), 96, layer=LOGO)
        cell.sector((0, 0), um(22), 0.0, 132.0, 48, layer=LOGO_SLICE)
        cell.sector((0, 0), um(22), 130.0, 230.0, 40, layer=LOGO_SLICE + 1)
        cell.sector((0, 0), um(22), 225.0, 375.0, 56, layer=LOGO_SLICE + 2)
        cell.circle((0, 0), um(6), 32, layer=LOGO)
        cell.arc((0, 0), um(31), 10.0, 170.0, 64, width=um(2), layer=METAL2, pathtype=1)
        cell.arc((0, 0), um(31), 190.0, 350.0, 64, width=um(2), layer=METAL2, pathtype=1)
        cell.arc((0, 0), um(35), 200.0, 340.0, 48, width=um(1), layer=METAL1)
        label(cell, 0, -42, "QUILLON", MIDDLE_CENTRE, 9.0)


def inductor(lib):
    with lib.structure("INDUCTOR") as cell:
        # Four round turns as one polyline of 320 points: the library splits
        # it into PATH elements of at most 200 points.
        spiral = []
        for i in range(320):
            turn = i / 80.0
            radius = 38.0 - 7.0 * turn
            spiral.append((um(radius * math.cos(2 * math.pi * turn)),
                           um(radius * math.sin(2 * math.pi * turn))))
        cell.path(spiral, width=um(3), layer=METAL2)
        cell.path(pts(38, 0, 48, 0), width=um(3), layer=METAL2, pathtype=2)
        cell.path(pts(10, 0, 10, -44, 48, -44), width=um(3), layer=METAL1, pathtype=2)
        cell.sref("VIA1", (um(9), um(-1)))
        label(cell, 48, 2, "L1", BOTTOM_LEFT, 8.0)


ROUTES = [  # (points, width, layer, pathtype): pads to rings and core
    ((100, 75, 100, 97), 8, METAL2, 0),
    ((190, 75, 190, 90, 150, 90, 150, 110), 4, METAL1, 1),
    ((280, 75, 280, 88, 240, 88, 240, 110), 4, METAL1, 1),
    ((370, 75, 370, 92, 330, 92, 330, 117), 3, METAL2, 2),
    ((425, 100, 303, 100), 8, METAL2, 0),
    ((425, 190, 370, 190, 370, 150), 4, METAL1, 1),
    ((425, 280, 400, 280), 4, METAL1, 1),
    ((425, 370, 350, 370, 350, 330), 3, METAL2, 2),
    ((400, 425, 400, 400, 280, 400, 280, 383), 8, METAL2, 0),
    ((310, 425, 310, 410, 200, 410, 200, 383), 4, METAL1, 1),
    ((220, 425, 220, 415, 160, 415, 160, 383), 4, METAL1, 1),
    ((130, 425, 130, 390), 3, METAL2, 2),
    ((75, 400, 107, 400, 107, 383), 8, METAL2, 0),
    ((75, 310, 100, 310, 100, 300, 115, 300), 4, METAL1, 1),
    ((75, 220, 115, 220), 4, METAL1, 1),
    ((75, 130, 95, 130, 95, 104), 3, METAL2, 2),
]

PAD_NAMES = ["VSS", "IN0", "IN1", "CLK", "VDD", "OUT0", "OUT1", "RF",
             "VSS", "IN2", "IN3", "RST", "VDD", "OUT2", "OUT3", "TEST"]


def top(lib):
    with lib.structure("CHIP") as cell:
        # Seal ring: one polygon with a cut line from the outer to the inner edge.
        cell.boundary(pts(0, 0, 500, 0, 500, 500, 0, 500, 0, 6, 6, 6, 6, 494, 494, 494, 494, 6,
                          0, 6), layer=OUTLINE)
        # Pads: four per side, each side an array rotated to face the core. The
        # lattice turns with the instances: columns run along the pad's own x.
        aref(cell, "PAD", 4, 1, 70, 15, (90, 0), (0, 90))
        aref(cell, "PAD", 4, 1, 485, 70, (0, 90), (-90, 0), angle=90.0)
        aref(cell, "PAD", 4, 1, 430, 485, (-90, 0), (0, -90), angle=180.0)
        aref(cell, "PAD", 4, 1, 15, 430, (0, -90), (90, 0), angle=270.0)
        for i in range(4):
            label(cell, 100 + 90 * i, 45, PAD_NAMES[i], MIDDLE_CENTRE, 9.0)
            label(cell, 455, 100 + 90 * i, PAD_NAMES[4 + i], MIDDLE_CENTRE, 9.0, 90.0)
            label(cell, 400 - 90 * i, 455, PAD_NAMES[8 + i], MIDDLE_CENTRE, 9.0)
            label(cell, 45, 400 - 90 * i, PAD_NAMES[12 + i], MIDDLE_CENTRE, 9.0, 270.0)
        # Power rings: VDD outside on metal2, VSS inside on metal1.
        cell.path(pts(110, 100, 300, 100, 300, 380, 110, 380, 110, 100), width=um(6),
                  layer=METAL2, pathtype=2)
        cell.path(pts(118, 108, 292, 108, 292, 372, 118, 372, 118, 108), width=um(4),
                  layer=METAL1, pathtype=2)
        # Core: eight rows of 30 um, alternate rows reflected so that rails share.
        for r in range(8):
            if r % 2 == 0:
                cell.sref("ROW", (um(120), um(120 + 30 * r)))
            else:
                cell.sref("ROW", (um(120), um(150 + 30 * r)), reflect=True)
        for points, width, layer, pathtype in ROUTES:
            cell.path(pts(*points), width=um(width), layer=layer, pathtype=pathtype)
        # Analog corner: the inductor, the logo and rotated, magnified fillers.
        cell.sref("INDUCTOR", (um(350), um(315)))
        cell.sref("LOGO", (um(350), um(185)))
        diagonal = 9.0  # 12.7 um along the diagonal, on the grid
        aref(cell, "MARK", 5, 1, 412, 24, (diagonal, diagonal), (-diagonal, diagonal),
             magnification=0.6, angle=45.0)
        aref(cell, "MARK", 5, 1, 316, 250, (14, 0), (0, 14), reflect=True, magnification=0.6)
        # Alignment marks in the corners, turned to face inwards.
        cell.sref("MARK", (um(20), um(20)))
        cell.sref("MARK", (um(480), um(20)), angle=90.0)
        cell.sref("MARK", (um(480), um(480)), angle=180.0)
        cell.sref("MARK", (um(20), um(480)), reflect=True)
        label(cell, 150, 84, "quillon demo 1.0", BOTTOM_LEFT, 6.0)


def main(argv):
    out = argv[1] if len(argv) > 1 else "demo.gds"
    # A fixed time stamp keeps the file the same from run to run.
    # compact=False writes every record, as the flat C functions of
    # quillon-demo do: the two files are the same bytes.
    with quillon.Library(out, 0.001, 1e-9, timestamp=datetime.datetime(2024, 1, 1, 12),
                         compact=False) as lib:
        for draw in (cuts, inverter, nand, row, pad, mark, logo, inductor, top):
            draw(lib)
    print(f"demo_chip.py: wrote {out}")


if __name__ == "__main__":
    main(sys.argv)
