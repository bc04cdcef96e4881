#!/usr/bin/python3
"""Python writers compared end to end: Quillon, gdspy and KLayout.

Each writer produces the same layout from Python, element by element, and
the time counted runs from the first element created to the file closed:
boxes (1000 x 500 database units on a grid) and 64-vertex polygons (one
template moved over a grid). Every run is its own process, so that its peak
resident memory (ru_maxrss) is its own; the interpreter's resident memory
before the run is shown too.

Writers:
  quillon        one Structure.box / Structure.boundary call per element
  quillon-batch  Structure.boxes / Structure.boundaries(xs=, ys=) on numpy
                 blocks of 10,000 elements, the way a generator computing its
                 layout with numpy would call them
  gdspy          gdspy.Rectangle / gdspy.Polygon added to a Cell, then
                 GdsLibrary.write_gds
  klayout        pya.Box / a moved pya.Polygon inserted into a Cell's shapes,
                 then Layout.write, in KLayout's batch mode (klayout -b -r)

Usage: /usr/bin/python3 bench/python_compare.py [--quick] [--writers a,b]
  --quick  a tenth of the element counts
Needs: the built library (build/libquillon.so, or QUILLON_LIBRARY), numpy,
gdspy (python3-gdspy) and klayout on PATH.
"""

import os
import resource
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WRITERS = ["quillon", "quillon-batch", "gdspy", "klayout"]
BLOCK = 10000
COLUMNS = 1000  # elements per grid row
PITCH = 2000


def _peak_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def _grid(i):
    return (i % COLUMNS) * PITCH, (i // COLUMNS) * PITCH


def _template():
    import math
    return [(int(600 * math.cos(2 * math.pi * k / 64)), int(400 * math.sin(2 * math.pi * k / 64)))
            for k in range(64)]


# -- the writers ---------------------------------------------------------------

def run_quillon(kind, count, out, batch):
    sys.path.insert(0, os.path.join(ROOT, "python"))
    import numpy as np
    import quillon

    template = np.array(_template(), dtype=np.int32)
    start = time.perf_counter()
    with quillon.Library(out, 0.001, 1e-9) as lib:
        with lib.structure("TOP") as top:
            if kind == "boxes" and batch:
                for first in range(0, count, BLOCK):
                    i = np.arange(first, min(first + BLOCK, count), dtype=np.int32)
                    x = (i % COLUMNS) * PITCH
                    y = (i // COLUMNS) * PITCH
                    top.boxes(np.stack([x, y, x + 1000, y + 500], axis=1), layer=1)
            elif kind == "boxes":
                box = top.box
                for i in range(count):
                    x = (i % COLUMNS) * PITCH
                    y = (i // COLUMNS) * PITCH
                    box(x, y, x + 1000, y + 500, layer=1)
            elif batch:
                for first in range(0, count, BLOCK):
                    i = np.arange(first, min(first + BLOCK, count), dtype=np.int32)
                    xs = template[:, 0] + ((i % COLUMNS) * PITCH)[:, None]
                    ys = template[:, 1] + ((i // COLUMNS) * PITCH)[:, None]
                    top.boundaries(xs=xs, ys=ys, layer=2)
            else:
                boundary = top.boundary
                for i in range(count):
                    boundary(template + np.array(_grid(i), dtype=np.int32), layer=2)
    return time.perf_counter() - start


def run_gdspy(kind, count, out):
    import numpy as np
    import gdspy

    template = np.array(_template(), dtype=float) * 0.001
    start = time.perf_counter()
    library = gdspy.GdsLibrary(unit=1e-6, precision=1e-9)
    cell = gdspy.Cell("TOP")
    library.add(cell)
    if kind == "boxes":
        for i in range(count):
            x = (i % COLUMNS) * PITCH * 0.001
            y = (i // COLUMNS) * PITCH * 0.001
            cell.add(gdspy.Rectangle((x, y), (x + 1.0, y + 0.5), layer=1))
    else:
        for i in range(count):
            x, y = _grid(i)
            cell.add(gdspy.Polygon(template + (x * 0.001, y * 0.001), layer=2))
    library.write_gds(out)
    return time.perf_counter() - start


def run_klayout(kind, count, out):
    import pya

    start = time.perf_counter()
    layout = pya.Layout()
    layout.dbu = 0.001
    top = layout.create_cell("TOP")
    if kind == "boxes":
        shapes = top.shapes(layout.layer(1, 0))
        for i in range(count):
            x = (i % COLUMNS) * PITCH
            y = (i // COLUMNS) * PITCH
            shapes.insert(pya.Box(x, y, x + 1000, y + 500))
    else:
        shapes = top.shapes(layout.layer(2, 0))
        template = pya.Polygon([pya.Point(x, y) for x, y in _template()])
        for i in range(count):
            x, y = _grid(i)
            shapes.insert(template.moved(x, y))
    layout.write(out)
    return time.perf_counter() - start


def worker(writer, kind, count, out):
    """Runs one writer in this process and prints 'seconds baseline_mb peak_mb'."""
    baseline = _peak_mb()
    if writer == "klayout":
        seconds = run_klayout(kind, count, out)
    elif writer == "gdspy":
        seconds = run_gdspy(kind, count, out)
    else:
        seconds = run_quillon(kind, count, out, batch=writer == "quillon-batch")
    print(f"RESULT {seconds:.6f} {baseline:.1f} {_peak_mb():.1f}", flush=True)


# -- the driver ----------------------------------------------------------------

def run_one(writer, kind, count, out):
    if writer == "klayout":
        command = ["klayout", "-b", "-r", os.path.abspath(__file__),
                   "-rd", f"bench_worker=klayout,{kind},{count},{out}"]
    else:
        command = [sys.executable, os.path.abspath(__file__), "--worker", writer, kind,
                   str(count), out]
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run(command, capture_output=True, text=True, env=env)
    for line in result.stdout.splitlines():
        if line.startswith("RESULT "):
            seconds, baseline, peak = map(float, line.split()[1:])
            return seconds, baseline, peak, os.path.getsize(out)
    raise RuntimeError(f"{writer} {kind} {count} failed:\n{result.stdout}\n{result.stderr}")


def main(argv):
    quick = "--quick" in argv
    writers = WRITERS
    if "--writers" in argv:
        writers = argv[argv.index("--writers") + 1].split(",")
    scale = 10 if quick else 1
    plans = [("boxes", 100000 // scale), ("boxes", 1000000 // scale),
             ("polygons", 10000 // scale), ("polygons", 100000 // scale)]
    print(f"{'workload':<22}{'writer':<15}{'seconds':>9}{'elements/s':>13}{'MB/s':>8}"
          f"{'base MB':>9}{'peak MB':>9}{'vs gdspy':>10}{'vs KLayout':>11}")
    with tempfile.TemporaryDirectory() as folder:
        for kind, count in plans:
            results = {}
            for writer in writers:
                out = os.path.join(folder, f"{writer}-{kind}-{count}.gds")
                results[writer] = run_one(writer, kind, count, out)
                os.remove(out)
            for writer in writers:
                seconds, baseline, peak, size = results[writer]
                ratios = []
                for other in ("gdspy", "klayout"):
                    if other in results and other != writer:
                        ratios.append(f"{results[other][0] / seconds:.1f}x")
                    else:
                        ratios.append("")
                label = f"{count:,} {kind}"
                print(f"{label:<22}{writer:<15}{seconds:>9.3f}{count / seconds:>13,.0f}"
                      f"{size / seconds / 1e6:>8.1f}{baseline:>9.1f}{peak:>9.1f}"
                      f"{ratios[0]:>10}{ratios[1]:>11}", flush=True)


if "bench_worker" in globals():  # started by klayout -b -r ... -rd bench_worker=...
    _writer, _kind, _count, _out = globals()["bench_worker"].split(",", 3)
    worker(_writer, _kind, int(_count), _out)
elif __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--worker":
        worker(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5])
    else:
        main(sys.argv[1:])
