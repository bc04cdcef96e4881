#!/usr/bin/python3
"""Per-call speed of the Python binding: Structure.box called once per box.

Usage: python3 bench/python_per_call.py PYTHON_DIR LIBRARY [COUNT] [RUNS]
  PYTHON_DIR  the folder holding the quillon package (python/ of a checkout)
  LIBRARY     the libquillon.so it loads (QUILLON_LIBRARY)
Prints the median boxes per second over RUNS runs of COUNT boxes each.
"""
import os
import statistics
import sys
import tempfile
import time


def main():
    python_dir, library = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 200000
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    os.environ["QUILLON_LIBRARY"] = os.path.abspath(library)
    sys.path.insert(0, python_dir)
    import quillon
    rates = []
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "boxes.gds")
        for _ in range(runs):
            start = time.perf_counter()
            with quillon.Library(out, 0.001, 1e-9) as lib:
                with lib.structure("TOP") as top:
                    box = top.box
                    for i in range(count):
                        x = (i % 1000) * 2000
                        y = (i // 1000) * 2000
                        box(x, y, x + 1000, y + 500, layer=1)
            rates.append(count / (time.perf_counter() - start))
    print("%s: %.0f boxes/s (median of %d runs of %d)" % (python_dir, statistics.median(rates),
                                                        runs, count))


if __name__ == "__main__":
    main()
