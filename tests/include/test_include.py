# Libraries written by KLayout and gdspy, included through all three APIs
# and compared cell by cell with their sources by KLayout; damaged copies
# refused with the output still readable; quillon-merge; the parallel
# example.
import gzip
import os
import pathlib
import random
import subprocess
import sys

import pytest

import quillon

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent


def run(command, **kwargs):
    return subprocess.run([str(c) for c in command], capture_output=True, text=True,
                          errors="replace", **kwargs)


def klayout(script, **variables):
    command = ["klayout", "-b", "-r", HERE / script]
    for key, value in variables.items():
        command += ["-rd", f"{key}={value}"]
    result = run(command)
    assert result.returncode == 0 and "same" in result.stdout, result.stdout + result.stderr


def cell_count(path):
    return len([line for line in run([os.environ["QUILLON_MERGE"].replace(
        "quillon-merge", "quillon-dump"), path]).stdout.splitlines() if "STRNAME" in line])


@pytest.fixture(scope="session")
def sources(tmp_path_factory):
    folder = tmp_path_factory.mktemp("sources")
    made = {"klayout": folder / "k.gds", "gdspy": folder / "g.gds"}
    result = run(["klayout", "-b", "-r", HERE / "make_klayout.py", "-rd", f"out={made['klayout']}"])
    assert result.returncode == 0, result.stderr
    result = run(["/usr/bin/python3", HERE / "make_gdspy.py", made["gdspy"]])
    assert result.returncode == 0, result.stderr
    return made


@pytest.mark.parametrize("source", ["klayout", "gdspy"])
@pytest.mark.parametrize("api", ["flat", "handle", "python"])
def test_included_cells_xor_their_sources(sources, source, api, tmp_path):
    path = sources[source]
    out = tmp_path / "out.gds"
    prefix = "" if api == "flat" else "p_"
    if api == "python":
        with quillon.Library(out) as lib:
            names = lib.include(path, prefix=prefix)
            lib.structure("HOST").end()
        count = len(names)
        assert count == cell_count(path)
    else:
        result = run([os.environ["QUILLON_INCLUDE_HOST"], api, out, path] +
                     ([prefix] if prefix else []))
        assert result.returncode == 0, result.stderr
        count = cell_count(path)
    klayout("compare.py", source=path, output=out, prefix=prefix,
            cells=count + (1 if api == "python" else 0))


@pytest.mark.parametrize("source", ["klayout", "gdspy"])
def test_damaged_copies_are_refused_and_the_output_stays_readable(sources, source, tmp_path):
    good = sources[source].read_bytes()
    rng = random.Random(source)
    damaged = []
    for i in range(10):
        damaged.append(good[:rng.randrange(len(good))])
        flipped = bytearray(good)
        flipped[rng.randrange(len(good))] ^= 1 << rng.randrange(8)
        damaged.append(bytes(flipped))
    damaged.append(gzip.compress(good)[:-9])  # truncated gzip member
    out = tmp_path / "out.gds"
    with quillon.Library(out) as lib:
        for i, data in enumerate(damaged):
            copy = tmp_path / f"damaged{i}.gds"
            copy.write_bytes(data)
            try:
                lib.include(copy, prefix=f"d{i}_")
            except quillon.QuillonError as error:
                assert error.message in ("Error: Included file is not valid GDSII.",
                                         "Error: Included library has other units.",
                                         "Error: Structure with this name is already inserted.")
                if error.message.endswith("GDSII."):
                    assert "byte offset" in error.detail
            else:
                assert i % 2 == 1, "a truncated copy was taken"
        lib.include(sources[source], prefix="good_")
    # A flipped name may point to a cell no file defines: KLayout adds it.
    klayout("compare.py", source=sources[source], output=out, prefix="good_", cells=-1)


def test_merge_joins_three_files_gzip_among_them(sources, tmp_path):
    k_gz = tmp_path / "kl.gds.gz"
    k_gz.write_bytes(gzip.compress(sources["klayout"].read_bytes()))
    again = tmp_path / "again.gds"
    again.write_bytes(sources["klayout"].read_bytes())
    out = tmp_path / "merged.gds.gz"
    merge = os.environ["QUILLON_MERGE"]
    result = run([merge, "--prefix-each", "--top", "ALL", "--library-name", "MERGED", out, k_gz,
                  sources["gdspy"], again])
    assert result.returncode == 0, result.stderr
    plain = tmp_path / "merged.gds"
    plain.write_bytes(gzip.decompress(out.read_bytes()))
    total = 2 * cell_count(sources["klayout"]) + cell_count(sources["gdspy"]) + 1
    klayout("compare.py", source=sources["klayout"], output=plain, prefix="kl_", cells=total)
    klayout("compare.py", source=sources["gdspy"], output=plain, prefix="g_", cells=total)
    # A damaged input: named with its offset, and no output left behind.
    broken = tmp_path / "broken.gds"
    broken.write_bytes(sources["gdspy"].read_bytes()[:-30])
    result = run([merge, tmp_path / "bad.gds", k_gz, broken])
    assert result.returncode == 1
    assert "broken.gds" in result.stderr and "byte offset" in result.stderr
    assert not (tmp_path / "bad.gds").exists()
    result = run([merge, "--structures", "MID", tmp_path / "mid.gds", again])
    assert result.returncode == 0 and cell_count(tmp_path / "mid.gds") == 2


TILES_SCRIPT = """
import pya
layout = pya.Layout()
layout.read(file)
top = layout.cell("TOP")
placed = sorted(layout.cell(i.cell_index).name for i in top.each_inst())
assert placed == sorted(f"t{n}_TILE" for n in range(int(tiles))), placed
for name in placed:
    assert not layout.cell(name).bbox().empty(), name
print("same")
"""


def test_parallel_example_builds_every_tile_and_leaves_a_users_files_alone(tmp_path):
    (tmp_path / "part0.gds").write_bytes(b"a user's own file")
    result = run([sys.executable, ROOT / "python" / "examples" / "parallel_tiles.py", "--tiles",
                  "6", "--workers", "2", "--size", "8", "--out", tmp_path])
    assert result.returncode == 0, result.stdout + result.stderr
    assert (tmp_path / "part0.gds").read_bytes() == b"a user's own file"
    assert sorted(p.name for p in tmp_path.iterdir()) == [
        "part0.gds", "tiles-dask.gds", "tiles-processes.gds", "tiles-serial.gds"]
    script = tmp_path / "tiles.py"
    script.write_text(TILES_SCRIPT)
    for way in ("serial", "processes", "dask"):
        assert f"{way}: 6 tiles" in result.stdout
        done = run(["klayout", "-b", "-r", script, "-rd", f"file={tmp_path}/tiles-{way}.gds",
                    "-rd", "tiles=6"])
        assert done.returncode == 0 and "same" in done.stdout, done.stdout + done.stderr
