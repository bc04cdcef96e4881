# quillon.scan (and quillon-dump --cells, over the same reader) against
# KLayout's reading of KLayout-, gdspy- and Quillon-written files, plain and
# gzip; the tops that Library.include returns are those the scan finds.
import gzip
import json
import os

import pytest

import quillon
from test_include import HERE, run, sources  # noqa: F401 (sources: a fixture)


def klayout_cells(path):
    result = run(["klayout", "-b", "-r", HERE / "cells_klayout.py", "-rd", f"file={path}"])
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout.strip().splitlines()[-1])


@pytest.fixture(scope="module")
def files(sources, tmp_path_factory):  # noqa: F811
    folder = tmp_path_factory.mktemp("scanned")
    both = folder / "both.gds"
    with quillon.Library(both, unit=1e-6, precision=1e-9) as lib:
        tops = [name for path in sources.values() for name in lib.include(path).tops]
        with lib.structure("HOST") as host:
            for i, name in enumerate(tops):
                host.sref(name, (0, 100000 * i))
    zipped = folder / "k.gds.gz"
    zipped.write_bytes(gzip.compress(sources["klayout"].read_bytes()))
    return {"klayout": (sources["klayout"], ["TOP"]), "gdspy": (sources["gdspy"], ["G_TOP"]),
            "quillon": (both, ["HOST"]), "gzip": (zipped, ["TOP"])}


@pytest.mark.parametrize("kind", ["klayout", "gdspy", "quillon", "gzip"])
def test_scan_reads_what_klayout_reads(files, kind):
    path, tops = files[kind]
    found = quillon.scan(path)
    expected = klayout_cells(path)
    assert found.tops == tops == expected["tops"]
    assert sorted(found.cells) == expected["cells"]
    assert found.references == expected["references"]
    assert found.precision == pytest.approx(expected["precision"], rel=1e-12)
    listing = run([os.environ["QUILLON_MERGE"].replace("quillon-merge", "quillon-dump"),
                   "--cells", path])
    assert listing.returncode == 0, listing.stderr
    assert [line.split()[1] for line in listing.stdout.splitlines()[1:]
            if line.startswith("top ")] == tops


def test_a_damaged_file_is_refused_with_its_offset(files, tmp_path):
    damaged = tmp_path / "cut.gds"
    damaged.write_bytes(files["gdspy"][0].read_bytes()[:-30])
    with pytest.raises(quillon.QuillonError) as refused:
        quillon.scan(damaged)
    assert refused.value.message == "Error: Included file is not valid GDSII."
    assert "byte offset" in refused.value.detail
