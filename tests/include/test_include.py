# Libraries written by KLayout and gdspy, included through all three APIs
# and compared cell by cell with their sources by KLayout; damaged copies
# refused with the output still readable; quillon-merge; the parallel
# example.
import gzip
import hashlib
import os
import pathlib
import random
import signal
import struct
import subprocess
import sys
import threading
import time

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
            cells=count + (0 if api == "flat" else 1))


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


def sha256(path):
    return hashlib.sha256(pathlib.Path(path).read_bytes()).hexdigest()


def test_a_refused_include_leaves_no_name_behind(sources, tmp_path):
    read, write = os.pipe()
    threading.Thread(target=lambda: (os.write(write, sources["gdspy"].read_bytes()),
                                     os.close(write)), daemon=True).start()
    with quillon.Library(tmp_path / "out.gds") as lib:
        with pytest.raises(quillon.QuillonError, match="cannot be read twice"):
            lib.include(f"/dev/fd/{read}", prefix="p_")
        assert lib.include(sources["gdspy"], prefix="p_") == ["p_G_CELL", "p_G_TOP"]
    os.close(read)


def host(out, source, prefix="", **kwargs):
    command = [os.environ["QUILLON_INCLUDE_HOST"], "handle", out, source] + ([prefix] if prefix else [])
    return subprocess.run([str(c) for c in command], capture_output=True, timeout=10, **kwargs)


def feed(fifo, data):
    """Writes data into the FIFO from a thread, as another process would."""
    def write():
        try:
            with open(fifo, "wb") as f:
                f.write(data)
        except BrokenPipeError:
            pass
    threading.Thread(target=write, daemon=True).start()


def contents(path):
    data = pathlib.Path(path).read_bytes()
    return gzip.decompress(data) if str(path).endswith(".gz") else data


# How the source reaches the include, and whether it is taken: the output
# itself by any path is refused, and so is a source that cannot be read
# twice when the include needs two passes (a prefix, a gzip output).
SOURCES = [("same path", "", ".gds", False), ("symlink", "", ".gds", False),
           ("hard link", "", ".gds", False), ("pipe", "", ".gds", True),
           ("pipe", "p_", ".gds", False), ("pipe", "", ".gds.gz", False),
           ("fifo", "", ".gds", True), ("fifo", "p_", ".gds", False)]


@pytest.mark.parametrize("kind,prefix,suffix,taken", SOURCES)
def test_each_source_is_copied_whole_or_refused_at_once(sources, tmp_path, kind, prefix, suffix,
                                                        taken):
    out, without = tmp_path / f"out{suffix}", tmp_path / f"without{suffix}"
    assert host(without, "-").returncode == 0
    data = sources["klayout"].read_bytes()
    source, piped = {"same path": out, "symlink": tmp_path / "link.gds",
                     "hard link": tmp_path / "hard.gds", "pipe": "/dev/stdin",
                     "fifo": tmp_path / "fifo"}[kind], None
    if kind == "symlink":
        source.symlink_to(out)
    elif kind == "hard link":
        out.write_bytes(b"")
        os.link(out, source)
    elif kind == "pipe":
        piped = data
    elif kind == "fifo":
        os.mkfifo(source)
        feed(source, data)
    result = host(out, source, prefix, input=piped)
    if taken:
        assert result.returncode == 0, result.stderr
        klayout("compare.py", source=sources["klayout"], output=out, prefix=prefix,
                cells=cell_count(sources["klayout"]) + 1)
    else:
        assert result.returncode == 1, result.stderr
        assert contents(out) == contents(without)


# Every KLayout save option that changes the GDSII it writes, and gdspy in
# three database units (1 um and 10 nm scaled into the 1 nm library).
PEERS = [("klayout", option, value) for option, value in [
    ("", ""), ("gds2_write_cell_properties", "1"), ("gds2_write_file_properties", "1"),
    ("gds2_write_timestamps", "0"), ("gds2_multi_xy_records", "1"),
    ("gds2_max_vertex_count", "8"), ("gds2_no_zero_length_paths", "1"),
    ("gds2_max_cellname_length", "3"), ("gds2_libname", "PEER"), ("gds2_user_units", "0.5"),
    ("gds2_resolve_skew_arrays", "1")]] + [("gdspy", unit, "") for unit in ("1e-6", "1e-9", "1e-8")]


def make_peer(maker, option, value, path):
    """A library written by KLayout with one gds2_* option, or by gdspy in a unit."""
    if maker == "klayout":
        made = run(["klayout", "-b", "-r", HERE / "make_klayout.py", "-rd", f"out={path}",
                    "-rd", f"option={option}", "-rd", f"value={value}"])
    else:
        made = run(["/usr/bin/python3", HERE / "make_gdspy.py", path, option])
    assert made.returncode == 0, made.stderr


@pytest.mark.parametrize("maker,option,value", PEERS)
def test_peers_files_are_included_and_compare_equal(maker, option, value, tmp_path):
    source, out = tmp_path / "peer.gds", tmp_path / "out.gds"
    make_peer(maker, option, value, source)
    result = host(out, source)
    assert result.returncode == 0, result.stderr
    klayout("compare.py", source=source, output=out, prefix="", cells=cell_count(source) + 1)


def library(structures):
    """A GDSII library in 1 nm of (name, [referenced names]) structures."""
    def record(kind, data_type, data=b""):
        return struct.pack(">HBB", 4 + len(data), kind, data_type) + data

    def ascii(text):
        return text.encode() + b"\0" * (len(text) % 2)
    body = b"".join(record(5, 2, bytes(24)) + record(6, 6, ascii(name)) + b"".join(
        record(10, 0) + record(18, 6, ascii(r)) + record(16, 3, bytes(8)) + record(17, 0)
        for r in refs) + record(7, 0) for name, refs in structures)
    return (record(0, 2, b"\x02\x58") + record(1, 2, bytes(24)) + record(2, 6, b"L\0") +
            record(3, 5, bytes.fromhex("3E4189374BC6A7F03944B82FA09B5A54")) + body + record(4, 0))


def test_merge_never_replaces_an_input_or_leaves_a_partial_output(sources, tmp_path):
    merge = os.environ["QUILLON_MERGE"]
    a, link = tmp_path / "a.gds", tmp_path / "link.gds"
    a.write_bytes(sources["gdspy"].read_bytes())
    os.link(a, link)
    before = sha256(a)
    for out, inputs in [(a, [a]), (a, [sources["klayout"], a]), (link, [a])]:
        result = run([merge, out] + inputs)
        assert result.returncode == 1 and "is the input" in result.stderr, result.stderr
        assert sha256(a) == before
    # A reference no input defines: a warning, and the merge is made.
    dangling = tmp_path / "dangling.gds"
    dangling.write_bytes(library([("TOP", ["MISSING"])]))
    result = run([merge, tmp_path / "d.gds", dangling])
    assert result.returncode == 0 and "warning" in result.stderr, result.stderr
    assert cell_count(tmp_path / "d.gds") == 1
    # Interrupted mid-merge: the OUT that was there stays, and nothing else.
    big = tmp_path / "big.gds"
    big.write_bytes(library([(f"C{i}", [f"C{i - 1}"] if i else []) for i in range(400000)]))
    out = tmp_path / "out.gds"
    out.write_bytes(b"keep")
    child = subprocess.Popen([merge, "--prefix-each", out, big], stderr=subprocess.PIPE)
    while not list(tmp_path.glob(".out.gds.quillon-merge-*")) and child.poll() is None:
        time.sleep(0.001)
    child.send_signal(signal.SIGINT)
    assert child.wait(timeout=10) != 0, "the merge ended before it was interrupted"
    assert out.read_bytes() == b"keep"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["a.gds", "big.gds", "d.gds",
                                                           "dangling.gds", "link.gds", "out.gds"]


def test_clash_policies_per_input_options_and_the_list(sources, tmp_path):
    merge, k, g = os.environ["QUILLON_MERGE"], sources["klayout"], sources["gdspy"]
    n, out = cell_count(k), tmp_path / "m.gds"
    for policy, cells in [("skip-identical", n), ("rename", 2 * n), ("error", None)]:
        result = run([merge, "--on-clash", policy, out, k, k])
        assert result.returncode == (0 if cells else 1), result.stderr
        if cells:
            assert cell_count(out) == cells
    klayout("compare.py", source=k, output=out, prefix="", cells=2 * n)
    with quillon.Library(tmp_path / "p.gds") as lib:
        first = lib.include(k, on_clash="skip-identical")
        assert lib.include(k, on_clash="skip-identical") == first
        assert lib.include(k, on_clash="rename") == [f"{name}_1" for name in first]
    result = run([merge, out, f"{k}:structures=MID:prefix=a_", f"{g}:prefix=b_"])
    assert result.returncode == 0, result.stderr
    listed = run([merge, "--list", out]).stdout.splitlines()
    assert "top a_MID -> a_LEAF" in listed and "top b_G_TOP -> b_G_CELL" in listed, listed
    assert len(listed) == 1 + 2 + cell_count(g)
