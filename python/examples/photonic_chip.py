#!/usr/bin/env python3
"""photonic_chip.py [OUT.gds]: a small silicon photonics chip, drawn from Python.

Two ring resonators beside a bus waveguide that bends around them, focusing
grating couplers at both ends (a taper and twenty curved teeth each), heaters
over the rings with their leads and pads, and printed labels. Every shape is
one library call: rings, sectors and teeth by tolerance, the bus with its
bend radius, the labels as polygons that print on the mask. The script only
says where things go, in micrometres on a nanometre grid.

Run from the source tree after `make`:  PYTHONPATH=python python3
python/examples/photonic_chip.py photonic_chip.gds
"""

import math
import sys

import quillon

# Layers: silicon waveguides and gratings, heater metal, pad openings,
# printed labels (on the waveguide layer: they are etched into the silicon).
SILICON, HEATER, PAD = 3, 7, 8

WIDTH = 0.5            # waveguide width
GAP = 0.2              # ring-to-bus gap
BEND = 20.0            # bus bend radius
TOLERANCE = 0.001      # chords within 1 nm of every curve
BUS_Y = 110.0          # the straight bus between the rings


def grating(cell, apex, facing):
    """A focusing grating coupler whose taper leaves the waveguide's end at
    apex and opens towards facing (degrees): a 30-degree sector, then
    twenty teeth on circles around the sector's point, 0.63 um apart with a
    50 % duty cycle. The point lies inside the waveguide, just far enough
    behind apex that the taper is the waveguide's full width where the
    waveguide ends, never narrower."""
    half = 15.0
    back = WIDTH / 2 / math.tan(math.radians(half))
    turn = math.radians(facing)
    focus = (apex[0] - back * math.cos(turn), apex[1] - back * math.sin(turn))
    start, end = facing - half, facing + half
    cell.ellipse(focus, back + 16.0, start_angle=start, end_angle=end, tolerance=TOLERANCE,
                 layer=SILICON)
    for tooth in range(20):
        inner = back + 16.5 + 0.63 * tooth
        cell.ring(focus, inner + 0.315, inner, start_angle=start, end_angle=end,
                  tolerance=TOLERANCE, layer=SILICON)


def ring_with_heater(cell, center, radius, label):
    """A ring resonator, a heater over it (a ring sector open at the top),
    two leads and their pads, and its label below the bus."""
    x, y = center
    cell.ring(center, radius + WIDTH / 2, radius - WIDTH / 2, tolerance=TOLERANCE,
              layer=SILICON)
    cell.ring(center, radius + 1.0, radius - 1.0, start_angle=120.0, end_angle=420.0,
              tolerance=TOLERANCE, layer=HEATER)
    for side in (-1, 1):
        # From the heater's ends (at 60 and 120 degrees) up and out to a pad.
        end = (x + side * radius * 0.5, y + radius * 0.866)
        top = y + radius + 8.0
        cell.path([end, (end[0], top), (x + side * 14.0, top), (x + side * 14.0, top + 8.0)],
                  width=2.0, bend_radius=3.0, tolerance=TOLERANCE, layer=HEATER)
        pad = (x + side * 14.0, top + 14.0)
        cell.box((pad[0] - 6.0, pad[1] - 6.0), (pad[0] + 6.0, pad[1] + 6.0), layer=HEATER)
        cell.box((pad[0] - 5.0, pad[1] - 5.0), (pad[0] + 5.0, pad[1] + 5.0), layer=PAD)
    cell.text_polygons(label, (x, y - radius - 6.0), height=3.5, anchor="top",
                       layer=SILICON)


def main(out="photonic_chip.gds"):
    with quillon.Library(out, unit=1e-6, precision=1e-9, coordinates="user") as lib:
        with lib.structure("PHOTONIC_CHIP") as chip:
            # Gratings at both ends, the bus between them: up over the
            # rings, across, and down again, every corner a 20 um bend.
            grating(chip, (40.0, 60.0), 180.0)
            grating(chip, (360.0, 60.0), 0.0)
            chip.path([(40, 60), (100, 60), (130, BUS_Y), (270, BUS_Y), (300, 60), (360, 60)],
                      width=WIDTH, bend_radius=BEND, tolerance=TOLERANCE, layer=SILICON)

            # Two rings above the bus, each a gap away from it.
            for cx, radius in ((170.0, 10.0), (230.0, 12.0)):
                cy = BUS_Y + WIDTH + GAP + radius
                ring_with_heater(chip, (cx, cy), radius, f"R{radius:g}")

            chip.text_polygons("IN", (40, 30), height=5, anchor="top", layer=SILICON)
            chip.text_polygons("OUT", (360, 30), height=5, anchor="top", layer=SILICON)
            chip.text_polygons("QUILLON PHOTONICS\nring filter demo", (200, 190), height=6,
                               anchor="top", layer=SILICON)
            chip.text_polygons("1 nm grid", (396, 4), height=3, anchor="bottom right",
                               angle=0, layer=SILICON)
    return out


if __name__ == "__main__":
    print(main(*sys.argv[1:2]))
