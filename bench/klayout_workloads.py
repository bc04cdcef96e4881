# Runs inside KLayout (klayout -b -r bench/klayout_workloads.py -rd ...):
# builds the geometry of one quillon-bench workload (1 to 4) in a KLayout
# Layout, then times only Layout.write to a GDS file, `runs` times, and
# prints one line "RESULT {json}" with the timings, file size and memory.
#
# Variables (-rd name=value): workload, scale, out, runs.
import json
import os
import resource
import time

import pya

WORKLOAD = int(workload)  # noqa: F821  (set by -rd)
SCALE = float(scale)  # noqa: F821
OUT = out  # noqa: F821
RUNS = int(runs)  # noqa: F821

SHAPES = 64
PER_CELL = 100000
COUNTS = {1: 5000000, 2: 500000, 3: 1000000, 4: 2000000}


def rss_kib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def current_rss_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def scaled(count):
    return max(1, int(round(count * SCALE)))


layout = pya.Layout()
layout.dbu = 0.001
layers = [layout.layer(k, 0) for k in range(SHAPES)]
start_rss = current_rss_kib()


class Cells:
    """A new cell every PER_CELL elements, named as quillon-bench names them."""

    def __init__(self):
        self.shapes = None

    def at(self, i):
        if i % PER_CELL == 0:
            cell = layout.create_cell("CELL%06d" % (i // PER_CELL))
            self.shapes = [cell.shapes(layer) for layer in layers]
        return self.shapes


def polygons(n):
    # The star-shaped polygons of quillon-bench, kept as given (raw).
    import math
    result = []
    for s in range(SHAPES):
        points = []
        for k in range(n):
            a = 2 * math.pi * k / n
            r = (40000.0 if k % 2 else 25000.0) + 97.0 * s
            points.append(pya.Point(100000 * s + int(r * math.cos(a)),
                                    -50000 * s + int(r * math.sin(a))))
        result.append(pya.Polygon(points, True))
    return result


def boxes(n):
    cells = Cells()
    Box = pya.Box
    for i in range(n):
        shapes = cells.at(i)
        x = (i % 1000) * 2000
        y = (i // 1000 % 100000) * 2000
        shapes[i % 64].insert(Box(x, y, x + 1500, y + 700 + i % 7))


def boundaries(n):
    cells = Cells()
    shapes_of = polygons(199)
    for i in range(n):
        cells.at(i)[i % 64].insert(shapes_of[i % SHAPES])


def paths(n):
    # Path types 0 (flush), 1 (round) and 2 (half-width extensions).
    cells = Cells()
    made = {}
    for s in range(SHAPES):
        points = [pya.Point(1000 * k + 13 * s, (800 if k % 2 else -800) + 7000 * s)
                  for k in range(20)]
        width = 100 + 2 * (s % 5)
        for path_type in range(3):
            ext = width // 2 if path_type == 2 else 0
            made[(s, path_type)] = pya.Path(points, width, ext, ext, path_type == 1)
    for i in range(n):
        cells.at(i)[i % 64].insert(made[(i % SHAPES, i % 3)])


def texts(n):
    # KLayout texts turn in steps of 90 degrees only: 45.5 becomes 0.
    cells = Cells()
    labels = ["NET_%012d" % (7919 * s) for s in range(SHAPES)]
    mags = [1.0, 2.5, 0.5, 10.0]
    rotations = [0, 1, 0, 3]
    Text, Trans = pya.Text, pya.Trans
    for i in range(n):
        k = i % SHAPES
        text = Text(labels[k], Trans(rotations[(k // 4) % 4], bool(k & 1),
                                     (i % 5000) * 300, (i // 5000) * 300))
        text.size = int(1000 * mags[k % 4])
        cells.at(i)[i % 64].insert(text)


BUILDERS = {1: boxes, 2: boundaries, 3: paths, 4: texts}

elements = scaled(COUNTS[WORKLOAD])
built_at = time.perf_counter()
BUILDERS[WORKLOAD](elements)
build_seconds = time.perf_counter() - built_at
layout_rss = current_rss_kib() - start_rss
peak_before_write = rss_kib()

seconds = []
size = 0
for _ in range(RUNS):
    if os.path.exists(OUT):
        os.unlink(OUT)
    began = time.perf_counter()
    layout.write(OUT)
    seconds.append(time.perf_counter() - began)
    size = os.path.getsize(OUT)
    os.unlink(OUT)

print("RESULT " + json.dumps({
    "workload": WORKLOAD,
    "elements": elements,
    "bytes": size,
    "seconds": seconds,
    "build_seconds": build_seconds,
    "layout_rss_kib": layout_rss,
    "peak_before_write_kib": peak_before_write,
    "peak_rss_kib": rss_kib(),
}), flush=True)
