#!/usr/bin/python3
"""The include as a user times it: whole processes against cat.

quillon-bench's include line times quillon_include inside a process that
is already running, against `cat part >> out` started by the shell. A user
times whole commands instead: the tool starting, loading the library,
reading and writing, and exiting. This script runs each command below as a
process of its own on the same part file, in turn (the order rotating from
run to run), and gives the median of each and, paired run by run, the
ratio cat seconds / command seconds (the include is faster above 1):

  cat            cat PART > OUT (GNU cat copies with copy_file_range: the
                 kernel moves the bytes, nothing passes through user space)
  dd             dd bs=1M: the same copy by read() and write() of 1 MiB
                 blocks, the best any reader that looks at the bytes can do
  merge          quillon-merge OUT PART: the one-pass include
  merge-prefix   quillon-merge --prefix-each OUT PART: the renaming include,
                 which checks the file in one pass and copies it in another
  python         Library(OUT).include(PART) in a fresh /usr/bin/python3
  python-prefix  the same with prefix="p_"
  check          quillon-dump --cells PART: the reader and the checker
                 alone, which is what the renaming include's first pass does
  start-merge    quillon-merge on a file of one cell: start-up and exit
  start-python   the python command on that file

The python commands also report the seconds of the include call inside the
interpreter ("in call"), so that the interpreter's own start-up shows. With
--cold the part file's cached pages are dropped before every run
(posix_fadvise DONTNEED on that file only, after an fsync), so that each
command reads it from the disk. Every output is deleted after its run, as
quillon-bench does, so no command pays for another's dirty pages.

Two part files are measured: one of 199-vertex boundaries, the part of
quillon-bench's include line, and one of boxes, whose records are 25 times
as many for the same bytes.

  /usr/bin/python3 bench/include_processes.py [--build build] [--mib 256]
      [--runs 7] [--vertices 199,4] [--cold] [--dir DIR] [--tsv]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# A part of cells chained by SREFs, each holding per boundaries of
# vertices corners: 4 is a box (a 64-byte element of six records), 199 the
# polygons of quillon-bench's include line (1624 bytes in six records).
PART_SCRIPT = """
import sys
import numpy as np
import quillon
out, cells, per, vertices = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = np.random.default_rng(1)
turn = np.linspace(0, 2 * np.pi, vertices, endpoint=False)
with quillon.Library(out) as lib:
    for c in range(cells):
        with lib.structure(f"C{c}") as cell:
            x = rng.integers(0, 1000000, (per, 1)).astype(np.int32)
            y = rng.integers(0, 1000000, (per, 1)).astype(np.int32)
            if vertices == 4:
                cell.boxes(np.hstack([x, y, x + 100, y + 50]), layer=1 + c % 5)
            else:
                xs = np.ascontiguousarray(x + (500 * np.cos(turn)).astype(np.int32))
                ys = np.ascontiguousarray(y + (500 * np.sin(turn)).astype(np.int32))
                cell.boundaries(xs=xs, ys=ys, layer=1 + c % 5)
            if c:
                cell.sref(f"C{c - 1}", (0, 0))
"""
ELEMENT_BYTES = {4: 64, 199: 1624}

INCLUDE_SCRIPT = """
import sys
import time
start = time.perf_counter()
import quillon
with quillon.Library(sys.argv[1]) as lib:
    lib.include(sys.argv[2], prefix=sys.argv[3] or None)
print(time.perf_counter() - start)
"""


def commands(build, part, tiny, out):
    merge = os.path.join(build, "tools", "quillon-merge")
    dump = os.path.join(build, "tools", "quillon-dump")
    python = [sys.executable, "-c", INCLUDE_SCRIPT, out]
    return {
        "cat": (["cat", part], out),
        "dd": (["dd", f"if={part}", f"of={out}", "bs=1M", "status=none"], None),
        "merge": ([merge, out, part], None),
        "merge-prefix": ([merge, "--prefix-each", out, part], None),
        "python": (python + [part, ""], None),
        "python-prefix": (python + [part, "p_"], None),
        "check": ([dump, "--cells", part], os.devnull),
        "start-merge": ([merge, out, tiny], None),
        "start-python": (python + [tiny, ""], None),
    }


def settle(path, drop):
    """Writes path's pages to the disk, so that no run pays for them, and
    with drop takes them out of the page cache."""
    with open(path, "rb") as f:
        os.fsync(f.fileno())
        if drop:
            os.posix_fadvise(f.fileno(), 0, 0, os.POSIX_FADV_DONTNEED)


def run(argv, stdout_path, out, env):
    """(wall seconds, the child's rusage, its standard output) of one run.
    (The child's ru_maxrss would count the interpreter forked before exec,
    so memory is left to quillon-bench.)"""
    stdout = open(stdout_path, "wb") if stdout_path else subprocess.PIPE
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=stdout, stderr=subprocess.PIPE, env=env)
    printed = child.stdout.read() if stdout is subprocess.PIPE else b""
    error = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if stdout is not subprocess.PIPE:
        stdout.close()
    if child.returncode != 0:
        sys.exit(f"{' '.join(argv[:2])} failed: {error.decode(errors='replace')}")
    if os.path.exists(out):
        os.remove(out)
    return seconds, usage, printed


def measure(args, build, env, folder, vertices):
    """{command: (seconds, in-call seconds, (user, sys))} and the part's size."""
    part, tiny, out = (os.path.join(folder, n) for n in ("part.gds", "tiny.gds", "out.gds"))
    cells = 64
    per = int(args.mib * 1024 * 1024 / ELEMENT_BYTES[vertices] / cells)
    for path, n, each in ((part, cells, per), (tiny, 1, 1)):
        subprocess.run([sys.executable, "-c", PART_SCRIPT, path, str(n), str(each),
                        str(vertices)], env=env, check=True)
        settle(path, args.cold)
    size = os.path.getsize(part)
    table = commands(build, part, tiny, out)
    names = list(table)
    seconds = {n: [] for n in names}
    in_call = {n: [] for n in names}
    cpu = {n: [] for n in names}
    for r in range(args.runs + 1):  # the first round warms up and is not counted
        order = names[r % len(names):] + names[:r % len(names)]
        for name in order:
            if args.cold:
                settle(part, True)
            argv, stdout_path = table[name]
            s, usage, printed = run(argv, stdout_path, out, env)
            if r == 0:
                continue
            seconds[name].append(s)
            cpu[name].append((usage.ru_utime, usage.ru_stime))
            if "python" in name:
                in_call[name].append(float(printed.split()[-1]))
    os.remove(part)
    return seconds, in_call, cpu, size


def report(args, vertices, seconds, in_call, cpu, size):
    mb = size / 1e6
    cat = seconds["cat"]
    if not args.tsv:
        print(f"\nwhole-process include: a {size}-byte part of {vertices}-vertex boundaries"
              f" ({'cold' if args.cold else 'warm'} page cache), {args.runs} runs, medians")
        print(f"   {'command':14} {'seconds':>8} {'MB/s':>7} {'cat/cmd':>7} {'in call':>8}"
              f" {'user s':>7} {'sys s':>6}")
    for name in seconds:
        median = statistics.median(seconds[name])
        ratio = statistics.median(c / s for c, s in zip(cat, seconds[name]))
        call = f"{statistics.median(in_call[name]):.4f}" if in_call[name] else ""
        user = statistics.median(u for u, _ in cpu[name])
        system = statistics.median(s for _, s in cpu[name])
        rate = f"{mb / median:.0f}" if not name.startswith("start") else "-"
        if args.tsv:
            print(f"include-process\t{vertices}\t{size}\t{name}\t{median:.4f}\t{rate}\t"
                  f"{ratio:.3f}\t{call}\t{user:.3f}\t{system:.3f}")
        else:
            print(f"   {name:14} {median:8.4f} {rate:>7} {ratio:7.3f} {call:>8} {user:7.3f}"
                  f" {system:6.3f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--mib", type=float, default=256)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--vertices", default="199,4")
    parser.add_argument("--cold", action="store_true")
    parser.add_argument("--dir", default=None, help="where the files go (default: --build)")
    parser.add_argument("--tsv", action="store_true")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    env = dict(os.environ, PYTHONPATH=os.path.join(ROOT, "python"),
               QUILLON_LIBRARY=os.path.join(build, "libquillon.so"))
    if args.tsv:
        print("include-process\tvertices\tbytes\tcommand\tseconds\tMB/s\tratio_to_cat\t"
              "in_call_s\tuser_s\tsys_s")
    for vertices in (int(v) for v in args.vertices.split(",")):
        if vertices not in ELEMENT_BYTES:
            sys.exit(f"--vertices takes {sorted(ELEMENT_BYTES)}")
        with tempfile.TemporaryDirectory(prefix="quillon-include-",
                                         dir=args.dir or build) as folder:
            report(args, vertices, *measure(args, build, env, folder, vertices))
    if not args.tsv:
        print("   cat/cmd: median over the runs of cat seconds / command seconds, run by run;\n"
              "   in call: seconds from the interpreter's first line to the file closed;\n"
              "   user s, sys s: CPU time of the process (median)")


if __name__ == "__main__":
    main()
