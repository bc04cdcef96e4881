"""Compressed libraries written by Quillon (file names ending in .gz), read
back by gzip, KLayout, gdspy and quillon-dump: each sees the same library as
in the uncompressed file the same calls write."""
import gzip
import json
import os
import subprocess

import gdspy
import pytest

SAMPLE = os.environ["QUILLON_GZIP_SAMPLE"]
DUMP = os.environ["QUILLON_DUMP"]
HERE = os.path.dirname(os.path.abspath(__file__))
# About 340 bytes a row: 14000 rows cross the writer's 2 MiB buffer twice.
ROWS = 14000


def write(path, rows=ROWS, unfinished=False, threads=None, cwd=None):
    """threads: the size of the compression pool (None: the default)."""
    command = [SAMPLE] + (["--unfinished"] if unfinished else []) + [str(path), str(rows)]
    env = dict(os.environ)
    env.pop("QUILLON_DEFLATE_THREADS", None)
    if threads:
        env["QUILLON_DEFLATE_THREADS"] = str(threads)
    subprocess.run(command, check=True, env=env, cwd=cwd)


def klayout_view(path):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run(
        ["klayout", "-b", "-r", os.path.join(HERE, "read_klayout.py"), "-rd", f"file={path}"],
        check=True, capture_output=True, text=True, env=env)
    return json.loads(result.stdout.strip().splitlines()[-1])


def plain_twin(folder, name):
    """A plain name as long as name: the two files then differ only in the
    name that LIBNAME holds."""
    return folder / (name[:-2] + "g0")


def same_but_libname(data, plain, compressed):
    """data (decompressed) is plain's bytes, the name in LIBNAME aside."""
    name = str(compressed).encode()
    assert data[38:38 + len(name)] == name
    assert len(data) == len(plain)
    return data[:38] + data[38 + len(name):] == plain[:38] + plain[38 + len(name):]


@pytest.fixture(scope="module", params=[1, 2, 8], ids=lambda n: f"pool of {n}")
def files(tmp_path_factory, request):
    """The plain file and the compressed one, the latter compressed on a
    pool of 1, 2 or 8 threads: one gzip member per MiB."""
    folder = tmp_path_factory.mktemp("gzip")
    compressed = folder / "chip.gds.gz"
    plain = plain_twin(folder, compressed.name)
    write(plain)
    write(compressed, threads=request.param)
    return plain, compressed


def test_every_pool_writes_the_same_bytes(tmp_path):
    """The same name (LIBNAME), relative, in three folders."""
    written = []
    for threads in (1, 2, 8):
        (tmp_path / str(threads)).mkdir()
        write("chip.gds.gz", threads=threads, cwd=tmp_path / str(threads))
        written.append((tmp_path / str(threads) / "chip.gds.gz").read_bytes())
    assert written[0] == written[1] == written[2]


def test_gzip_checks_the_stream_and_it_holds_the_plain_bytes(files):
    plain, compressed = files
    assert plain.stat().st_size > 2 * 2 ** 21
    subprocess.run(["gzip", "-t", str(compressed)], check=True)
    data = gzip.decompress(compressed.read_bytes())
    assert same_but_libname(data, plain.read_bytes(), compressed)
    assert compressed.stat().st_size * 4 < plain.stat().st_size


def test_klayout_reads_the_compressed_file_as_the_plain_one(files):
    plain, compressed = files
    view = klayout_view(compressed)
    assert view["cells"] == klayout_view(plain)["cells"]
    assert view["cells"]["TOP"]["shapes"] == {"1/0": ROWS, "2/0": ROWS, "3/0": ROWS,
                                              "4/0": ROWS}
    assert view["cells"]["ARRAY"]["instances"] == 1
    # The path's half width reaches below the first row.
    assert view["bbox"] == [0, -10, 2000, 1000 * (ROWS - 1) + 900]


def test_gdspy_reads_the_compressed_file_through_gzip_open(files):
    plain, compressed = files
    libraries = []
    for opener, path in ((open, plain), (gzip.open, compressed)):
        library = gdspy.GdsLibrary()
        with opener(path, "rb") as stream:
            library.read_gds(stream)
        libraries.append(library)
    from_plain, from_gz = libraries
    top = from_gz.cell_dict["TOP"]
    # gdspy skips BOX elements; boundaries, paths and texts it reads.
    assert len(top.polygons) == ROWS
    assert len(top.paths) == ROWS
    assert len(top.labels) == ROWS
    assert sorted(label.text for label in top.labels)[:2] == ["L0", "L1"]
    plain_top = from_plain.cell_dict["TOP"]
    assert [p.polygons[0].tolist() for p in top.polygons] == \
        [p.polygons[0].tolist() for p in plain_top.polygons]
    assert from_gz.cell_dict["ARRAY"].references[0].ref_cell.name == "TOP"


def test_quillon_dump_lists_the_compressed_file_as_the_plain_one(files):
    plain, compressed = files
    listings = [subprocess.run([DUMP, str(path)], check=True, capture_output=True,
                               text=True).stdout.splitlines() for path in files]
    # Only the LIBNAME line differs (by the name).
    differ = [i for i, (a, b) in enumerate(zip(*listings)) if a != b]
    assert len(listings[0]) == len(listings[1]) > 4 * ROWS
    assert len(differ) == 1 and "LIBNAME" in listings[1][differ[0]]


def test_a_library_left_unfinished_is_still_a_complete_gzip_file(tmp_path):
    """Unloading the library finishes the gzip stream of a library the host
    never ended: the records written so far, no ENDLIB, as in a plain file."""
    compressed = tmp_path / "unfinished.gds.gz"
    plain = plain_twin(tmp_path, compressed.name)
    for path in (compressed, plain):
        write(path, rows=10, unfinished=True)
    subprocess.run(["gzip", "-t", str(compressed)], check=True)
    data = gzip.decompress(compressed.read_bytes())
    assert same_but_libname(data, plain.read_bytes(), compressed)
    assert data[-4:] == bytes.fromhex("00040700")  # the last ENDSTR
