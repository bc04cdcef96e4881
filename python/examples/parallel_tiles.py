#!/usr/bin/env python3
"""parallel_tiles.py: one layout of N tiles built by many processes.

Every tile's geometry is computed in Python (a field of rotated rosettes,
CPU-bound), so one process cannot go faster than one core. Here each task
writes its tile into a part file of its own; the driver includes every part
as soon as it completes (``as_completed``), under a prefix of its own
(``t7_TILE``), and finally writes the top cell, which places every tile.
The driver never holds geometry: its memory stays flat however many tiles
there are.

The part files go to a private folder made with tempfile.mkdtemp beside the
output (the same file system, so no small /tmp fills up), which is removed
when the run ends, whether it succeeds or fails: files already in the output
folder are never touched, and any number of runs may share it.

Three ways to the same layout:
  serial     one process draws every tile straight into the library;
  processes  concurrent.futures.ProcessPoolExecutor (standard library);
  dask       Dask distributed: Client(LocalCluster(...)). Optional: Debian's
             python3-distributed or pip's dask[distributed]; without it
             --way dask stops with a message saying so, and --way all
             leaves it out.

  PYTHONPATH=python python3 python/examples/parallel_tiles.py \\
      [--tiles N] [--workers W] [--size S] [--way serial|processes|dask|all] [--out DIR]

With --way all (the default) each way runs in a process of its own (--repeat
R times, in turn) and the script prints its median wall time, its speed-up
over serial and the driver's peak resident memory; a way that fails stops
the script with that process's own error output.
"""

import argparse
import concurrent.futures
import contextlib
import importlib.util
import json
import math
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import quillon  # noqa: E402

PITCH = 200_000  # tile pitch in database units (nm)


HARMONICS = 12  # terms of each outline's radius: the CPU work per vertex


def draw_tile(structure, index, size):
    """The tile's geometry: size x size rosettes of 64-point outlines, each
    turned by an angle of its own, the radius a sum of HARMONICS cosines.
    Pure Python arithmetic."""
    step = PITCH // (size + 1)
    norm = sum(1 / h for h in range(1, HARMONICS + 1))
    for row in range(size):
        for column in range(size):
            turn = (index * 7 + row * 3 + column) * 0.1
            radius = step * 0.4
            points = []
            for k in range(64):
                a = 2 * math.pi * k / 64
                wave = sum(math.cos(h * (5 * a + turn)) / h for h in range(1, HARMONICS + 1))
                r = radius * (0.6 + 0.4 * wave / norm)
                points.append((int(step * (column + 1) + r * math.cos(a + turn)),
                               int(step * (row + 1) + r * math.sin(a + turn))))
            structure.boundary(points, layer=1 + (row + column) % 3)
    structure.box(0, 0, PITCH, PITCH, layer=10)
    structure.text(f"tile {index}", (PITCH // 2, PITCH // 2), layer=63)


def tile_origin(index, tiles):
    side = math.ceil(math.sqrt(tiles))
    return ((index % side) * PITCH, (index // side) * PITCH)


def build_part(index, size, folder):
    """A worker's task: tile index alone in a part file; returns its path."""
    path = os.path.join(folder, f"part{index}.gds")
    with quillon.Library(path) as lib:
        with lib.structure("TILE") as tile:
            draw_tile(tile, index, size)
    return index, path


def write_top(lib, tiles):
    with lib.structure("TOP") as top:
        for index in range(tiles):
            top.sref(f"t{index}_TILE", tile_origin(index, tiles))


def serial(tiles, size, out, workers):
    with quillon.Library(out) as lib:
        for index in range(tiles):
            with lib.structure(f"t{index}_TILE") as tile:
                draw_tile(tile, index, size)
        write_top(lib, tiles)


@contextlib.contextmanager
def part_folder(out):
    """A private folder for the part files, beside out; removed at the end."""
    folder = tempfile.mkdtemp(prefix=".tiles-parts-", dir=os.path.dirname(os.path.abspath(out)))
    try:
        yield folder
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def include_parts(lib, completed):
    """Includes each finished part under its own prefix, then deletes it."""
    for index, path in completed:
        lib.include(path, prefix=f"t{index}_")
        os.remove(path)


def processes(tiles, size, out, workers):
    with part_folder(out) as folder, quillon.Library(out) as lib:
        with concurrent.futures.ProcessPoolExecutor(max_workers=workers) as pool:
            futures = [pool.submit(build_part, i, size, folder) for i in range(tiles)]
            include_parts(lib, (f.result() for f in concurrent.futures.as_completed(futures)))
        write_top(lib, tiles)


DASK_MISSING = ("--way dask needs Dask distributed, which is optional and not installed: "
                "apt install python3-distributed (Debian) or pip install \"dask[distributed]\"; "
                "--way serial and --way processes need nothing but Python")


def have_dask():
    try:
        return importlib.util.find_spec("dask.distributed") is not None
    except ImportError:  # no dask at all
        return False


def dask(tiles, size, out, workers):
    if not have_dask():
        sys.exit(DASK_MISSING)
    from dask.distributed import Client, LocalCluster, as_completed

    with part_folder(out) as folder, LocalCluster(
            n_workers=workers, threads_per_worker=1, processes=True,
            dashboard_address=None) as cluster, Client(cluster) as client:
        with quillon.Library(out) as lib:
            futures = client.map(build_part, range(tiles), size=size, folder=folder, pure=False)
            include_parts(lib, (f.result() for f in as_completed(futures)))
            write_top(lib, tiles)


WAYS = {"serial": serial, "processes": processes, "dask": dask}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tiles", type=int, default=16)
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--size", type=int, default=40, help="rosettes per tile side")
    parser.add_argument("--way", choices=list(WAYS) + ["all"], default="all")
    parser.add_argument("--out", default=".")
    parser.add_argument("--repeat", type=int, default=1,
                        help="runs of each way, in turn; the median is shown")
    args = parser.parse_args()

    if args.way != "all":
        out = os.path.join(args.out, f"tiles-{args.way}.gds")
        start = time.perf_counter()
        WAYS[args.way](args.tiles, args.size, out, args.workers)
        seconds = time.perf_counter() - start
        peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss  # KiB, this driver only
        print(json.dumps({"way": args.way, "seconds": seconds, "driver_kib": peak, "out": out}))
        return

    ways = list(WAYS)
    if not have_dask():
        print("dask: left out, " + DASK_MISSING, file=sys.stderr)
        ways.remove("dask")
    runs = {way: [] for way in ways}
    for _ in range(args.repeat):
        for way in ways:
            command = [sys.executable, __file__, "--way", way, "--tiles", str(args.tiles),
                       "--workers", str(args.workers), "--size", str(args.size), "--out",
                       args.out]
            done = subprocess.run(command, capture_output=True, text=True)
            if done.returncode != 0:
                sys.stderr.write(done.stderr)
                sys.exit(f"--way {way} failed (exit status {done.returncode}); its error is above")
            runs[way].append(json.loads(done.stdout.strip().splitlines()[-1]))
    results = {}
    for way, measured in runs.items():
        measured.sort(key=lambda r: r["seconds"])
        results[way] = dict(measured[len(measured) // 2],
                            driver_kib=max(r["driver_kib"] for r in measured))
    base = results["serial"]["seconds"]
    for way, r in results.items():
        print(f"{way}: {args.tiles} tiles, {r['seconds']:.2f} s, speed-up {base / r['seconds']:.2f}x,"
              f" driver peak RSS {r['driver_kib'] / 1024:.1f} MiB -> {r['out']}")


if __name__ == "__main__":
    main()
