#!/usr/bin/python3
"""Quillon against KLayout's own GDS writer on the geometry of quillon-bench's
workloads 1 to 4 (boxes, 199-vertex boundaries, 20-point paths, texts).

Quillon's time is the whole stream of exported calls from GDS_BeginLib to
GDS_EndLib (it keeps no layout, so building is writing); KLayout's is only
its Layout.write call, after the layout was built in memory. Each side runs
every workload in a process of its own, and each side's peak resident memory
is that process's.

    /usr/bin/python3 bench/compare_klayout.py [--runs N] [--scale F]
        [--dir DIR] [--bench build/bench/quillon-bench] [--klayout klayout]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
NAMES = {1: "boxes", 2: "boundaries 199 vertices", 3: "paths 20 points",
         4: "texts 16 chars + transforms"}


def run_quillon(args):
    command = [args.bench, "--workloads", "1,2,3,4", "--runs", str(args.runs),
               "--scale", str(args.scale), "--big-gib", "0", "--dir", args.dir, "--tsv"]
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    lines = output.strip().splitlines()
    header = lines[0].split("\t")
    rows = {}
    for line in lines[1:]:
        row = dict(zip(header, line.split("\t")))
        rows[int(row["workload"])] = row
    return rows


def run_klayout(args, workload):
    out = os.path.join(args.dir, "klayout-bench.gds")
    command = [args.klayout, "-b", "-r", os.path.join(HERE, "klayout_workloads.py"),
               "-rd", "workload=%d" % workload, "-rd", "scale=%s" % args.scale,
               "-rd", "out=%s" % out, "-rd", "runs=%d" % args.runs]
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    with tempfile.TemporaryFile(mode="w+") as captured:
        process = subprocess.Popen(command, stdout=captured, stderr=subprocess.STDOUT, env=env)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        captured.seek(0)
        text = captured.read()
    if process.returncode != 0:
        sys.exit("klayout failed on workload %d:\n%s" % (workload, text))
    for line in text.splitlines():
        if line.startswith("RESULT "):
            result = json.loads(line[len("RESULT "):])
            result["process_peak_rss_kib"] = usage.ru_maxrss
            return result
    sys.exit("klayout printed no result for workload %d:\n%s" % (workload, text))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="timed writes per workload (5)")
    parser.add_argument("--scale", type=float, default=1.0,
                        help="multiplies the element counts (1: the full sizes)")
    parser.add_argument("--dir", default=".", help="where the files are written")
    parser.add_argument("--bench", default=os.path.join(ROOT, "build", "bench", "quillon-bench"))
    parser.add_argument("--klayout", default="klayout")
    args = parser.parse_args()
    if not os.path.exists(args.bench):
        sys.exit("%s is missing: run make first" % args.bench)

    quillon = run_quillon(args)
    print("Quillon vs KLayout's GDS writer, %d run(s), scale %g; medians; MB = 10^6 bytes"
          % (args.runs, args.scale))
    print("%-2s %-28s %9s %9s %9s %7s %9s %9s %10s %12s %12s" % (
        "#", "workload", "elements", "Quillon s", "KLayout s", "speed", "Q MB/s", "K MB/s",
        "Q peak RSS", "K peak RSS", "K layout"))
    for workload in (1, 2, 3, 4):
        k = run_klayout(args, workload)
        q = quillon[workload]
        q_seconds = float(q["seconds"])
        k_seconds = statistics.median(k["seconds"])
        print("%-2d %-28s %9d %9.3f %9.3f %6.1fx %9.1f %9.1f %6.1f MiB %8.1f MiB %8.1f MiB" % (
            workload, NAMES[workload], k["elements"], q_seconds, k_seconds,
            k_seconds / q_seconds, int(q["bytes"]) / q_seconds / 1e6,
            k["bytes"] / k_seconds / 1e6, int(q["peak_rss_kib"]) / 1024.0,
            k["process_peak_rss_kib"] / 1024.0, k["layout_rss_kib"] / 1024.0), flush=True)
    print("speed: KLayout's write seconds / Quillon's seconds for the same geometry.")
    print("K peak RSS: the whole KLayout process (application, layout and write);"
          " K layout: the resident growth while building the layout.")


if __name__ == "__main__":
    main()
