"""The size table of the OASIS line: for each pair quillon-bench-N.gds /
quillon-bench-N.oas that `quillon-bench --keep-files` left in DIR, the
GDSII, its gzip (level 1, as Quillon's .gz), Quillon's OASIS and KLayout's
OASIS of the same layout (read from the GDSII, written with CBLOCKs at
compression level 2), with KLayout's peak memory for that conversion and a
check that KLayout reads Quillon's OASIS as the same number of shapes.

    /usr/bin/python3 bench/oasis_sizes.py DIR
"""
import glob
import gzip
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile

CONVERT = """
import pya
layout = pya.Layout()
layout.read(gds)
options = pya.SaveLayoutOptions()
options.format = "OASIS"
options.oasis_compression_level = 2
options.oasis_write_cblocks = True
layout.write(out, options)
ours = pya.Layout()
ours.read(oas)
def count(l):
    return sum(l.cell(c).shapes(i).size() + 0 for c in range(l.cells()) for i in l.layer_indexes())
def flat(l):
    n = 0
    for top in l.top_cells():
        for i in l.layer_indexes():
            it = top.begin_shapes_rec(i)
            while not it.at_end():
                n += 1
                it.next()
    return n
print("shapes", flat(layout), flat(ours))
"""


def gzip_size(path):
    with tempfile.TemporaryFile() as raw:
        with open(path, "rb") as source, gzip.GzipFile(fileobj=raw, mode="wb",
                                                       compresslevel=1) as target:
            shutil.copyfileobj(source, target, 1 << 20)
        return raw.tell()


def main(directory):
    print("| # | GDSII | GDSII.gz (level 1) | Quillon OASIS | KLayout OASIS | Quillon / KLayout "
          "| GDSII / Quillon | KLayout peak RSS | shapes (GDSII, Quillon's OASIS) |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    for gds in sorted(glob.glob(os.path.join(directory, "quillon-bench-*.gds")),
                      key=lambda p: int(re.findall(r"(\d+)\.gds$", p)[0])):
        number = re.findall(r"(\d+)\.gds$", gds)[0]
        oas = gds[:-4] + ".oas"
        with tempfile.TemporaryDirectory() as tmp:
            script = os.path.join(tmp, "convert.py")
            out = os.path.join(tmp, "klayout.oas")
            with open(script, "w") as file:
                file.write(CONVERT)
            before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
            done = subprocess.run(["klayout", "-b", "-r", script, "-rd", "gds=" + gds,
                                   "-rd", "oas=" + oas, "-rd", "out=" + out],
                                  capture_output=True, text=True, check=True,
                                  env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
            peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
            klayout = os.path.getsize(out)
        shapes = re.findall(r"shapes (\d+) (\d+)", done.stdout)[0]
        g, q = os.path.getsize(gds), os.path.getsize(oas)
        print("| %s | %s | %s | %s | %s | %.2f | %.0f× | %s | %s, %s |" % (
            number, f"{g:,}", f"{gzip_size(gds):,}", f"{q:,}", f"{klayout:,}", q / klayout,
            g / q, "%.0f MiB" % (max(peak, before) / 1024) if peak > before else "≤ earlier",
            shapes[0], shapes[1]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
