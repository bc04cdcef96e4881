#!/usr/bin/python3
"""GDSII to OASIS: quillon-convert against KLayout's read-then-write.

Each input is converted by both, each in a process of its own, timed as a
whole process with its peak resident memory (GNU time's %M). KLayout writes
with CBLOCKs on at compression level 2, as its own defaults for OASIS
output. A `cat` of the input to /dev/null in the same run is the raw-read
baseline. Inputs are made here when not given:

  boxes    N boxes (default 4,000,000) on a jittered grid, one cell
  gz       the same file gzip'ed (quillon-convert reads it as it is)
  big      four copies of boxes under their own prefixes (1 GiB for the
           default N), merged by quillon-merge: quillon-convert's memory
           at that size (KLayout is not run on it)

    /usr/bin/python3 bench/convert_vs_klayout.py [--boxes N] [--runs R]
        [--dir DIR] [--convert build/tools/quillon-convert] [INPUT.gds ...]
"""
import argparse
import gzip
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

KLAYOUT_CONVERT = """
import pya
layout = pya.Layout()
layout.read(source)
options = pya.SaveLayoutOptions()
options.format = "OASIS"
options.oasis_compression_level = 2
options.oasis_write_cblocks = True
options.oasis_strict_mode = True
layout.write(target, options)
"""


def timed(command, env=None):
    """Runs command under GNU time; answers (seconds, peak RSS in MiB)."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", report.name] + command,
                       check=True, stdout=subprocess.DEVNULL, env=env)
        seconds, kib = report.read().split()[-2:]
    return float(seconds), int(kib) / 1024.0


def make_boxes(path, count):
    """count boxes 100 x 60 on a 200-unit grid, each moved along x by a
    pseudo-random jitter of -15 to 15 units (a generated fill)."""
    sys.path.insert(0, os.path.join(ROOT, "python"))
    import quillon
    side = int(count ** 0.5)
    with quillon.Library(path, 0.001, 1e-9) as library:
        cell = library.structure("TOP")
        made = 0
        for row in range(side + 1):
            for column in range(side):
                if made == count:
                    break
                jitter = ((row * 7919 + column * 104729) * 2654435761 >> 16) % 31 - 15
                x = column * 200 + jitter
                y = row * 200
                cell.rectangle((x, y), (x + 100, y + 60), layer=1)
                made += 1


def median_run(runs, command):
    results = [timed(command) for _ in range(runs)]
    return (statistics.median(r[0] for r in results),
            max(r[1] for r in results))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("inputs", nargs="*")
    parser.add_argument("--boxes", type=int, default=4000000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--dir", default=None)
    parser.add_argument("--convert", default=os.path.join(ROOT, "build", "tools",
                                                          "quillon-convert"))
    parser.add_argument("--klayout", default="klayout")
    args = parser.parse_args()

    work = args.dir or tempfile.mkdtemp(prefix="quillon-convert-bench-")
    inputs = list(args.inputs)
    if not inputs:
        boxes = os.path.join(work, "boxes.gds")
        if not os.path.exists(boxes):
            make_boxes(boxes, args.boxes)
        packed = boxes + ".gz"
        if not os.path.exists(packed):
            with open(boxes, "rb") as plain, gzip.open(packed, "wb", compresslevel=1) as out:
                shutil.copyfileobj(plain, out, 1 << 20)
        inputs = [boxes, packed]
    script = os.path.join(work, "klayout_convert.py")
    with open(script, "w") as out:
        out.write(KLAYOUT_CONVERT)

    print("| input | bytes | cat s | KLayout s | KLayout MiB | KLayout .oas bytes | "
          "Quillon s | Quillon MiB | Quillon .oas bytes | speed-up | size ratio |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for source in inputs:
        size = os.path.getsize(source)
        cat_s, _ = median_run(args.runs, ["sh", "-c", 'cat "$0" > /dev/null', source])
        theirs = os.path.join(work, "klayout.oas")
        k_s, k_mib = median_run(args.runs, [args.klayout, "-b", "-r", script, "-rd",
                                            "source=" + source, "-rd", "target=" + theirs])
        k_bytes = os.path.getsize(theirs)
        ours = os.path.join(work, "quillon.oas")
        q_s, q_mib = median_run(args.runs, [args.convert, "-q", source, ours])
        q_bytes = os.path.getsize(ours)
        print(f"| {os.path.basename(source)} | {size:,} | {cat_s:.2f} | {k_s:.2f} | "
              f"{k_mib:.1f} | {k_bytes:,} | {q_s:.2f} | {q_mib:.1f} | "
              f"{q_bytes:,} | {k_s / q_s:.1f}x | {q_bytes / k_bytes:.2f} |")
    if not args.inputs:
        big = os.path.join(work, "big.gds")
        merge = os.path.join(os.path.dirname(args.convert), "quillon-merge")
        copies = []
        for i in range(4):
            copies.append(os.path.join(work, f"copy{i}.gds"))
            if not os.path.exists(copies[-1]):
                os.link(inputs[0], copies[-1])
        subprocess.run([merge, "--prefix-each", big] + copies, check=True)
        ours = os.path.join(work, "big.oas")
        q_s, q_mib = median_run(1, [args.convert, "-q", big, ours])
        print(f"\n{os.path.getsize(big):,} bytes of GDSII into {os.path.getsize(ours):,} bytes "
              f"of OASIS in {q_s:.2f} s, peak RSS {q_mib:.1f} MiB")
    if not args.dir:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
