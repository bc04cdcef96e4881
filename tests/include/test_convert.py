# GDSII into OASIS: quillon-convert on files written by KLayout (every gds2
# option), gdspy and Quillon, and the include into an OASIS library through
# the three APIs, each judged by KLayout against its source (same cells,
# every layer XOR 0, texts, properties, placements); damaged inputs leave
# no output.
import gzip
import json
import os
import random

import pytest

import quillon
from test_include import PEERS, ROOT, make_peer, run

COMPARE = ROOT / "tests" / "oasis" / "klayout_compare.py"
CONVERT = os.environ["QUILLON_CONVERT"]


def differences(source, oas, tmp_path, prefix="", tolerance=3):
    """KLayout's comparison of source with oas; asserts the same cells."""
    output = tmp_path / "compare.json"
    result = run(["klayout", "-b", "-r", COMPARE, "-rd", f"gds={source}", "-rd", f"oas={oas}",
                  "-rd", f"output={output}", "-rd", f"prefix={prefix}",
                  "-rd", f"tolerance={tolerance}"])
    assert result.returncode == 0, result.stderr
    compared = json.loads(output.read_text())
    found = {}
    for cell, diff in compared["differences"].items():
        # Round path ends are true circles in OASIS, KLayout's polygons in
        # GDSII: nothing wider than the tolerance may differ.
        kept = {k: v for k, v in diff.items() if not (k.startswith("xor") and v[1] == 0)}
        if kept:
            found[cell] = kept
    return compared["cells"], found


def quillon_made(path):
    """Every element kind the writer has an OASIS form for, through Python."""
    with quillon.Library(path) as lib:
        leaf = lib.structure("LEAF")
        leaf.rectangle((0, 0), (300, 100), layer=1, props={5: "r"})
        leaf.box((10, 10), (60, 40), layer=2)
        leaf.polygon([(0, 0), (1000, 0), (1000, 1000), (0, 1000)],
                     holes=[[(200, 200), (200, 400), (400, 400), (400, 200)]], layer=3)
        for pathtype in (0, 1, 2):
            leaf.path([(0, 2000 + 500 * pathtype), (800, 2000 + 500 * pathtype), (800, 2900)],
                      width=60, pathtype=pathtype, layer=4)
        leaf.path([(0, 0), (0, -900)], width=40, bgnextn=15, endextn=25, layer=4)
        leaf.text("pin", (50, 60), layer=5)
        leaf.end()
        top = lib.structure("TOP")
        top.sref("LEAF", (10000, 0), angle=90, magnification=2.0, reflect=True)
        top.aref("LEAF", (0, 0), 4, 3, spacing=(3000, 5000))
        top.aref("LEAF", [(0, 90000), (6000, 92000), (-1000, 98000)], 2, 2, angle=30)
        top.boxes([(x * 150, 50000, x * 150 + 100, 50060) for x in range(500)], layer=6)
        top.end()


SOURCES = PEERS + [("quillon", "", "")]


@pytest.mark.parametrize("maker,option,value", SOURCES)
def test_convert_writes_what_klayout_reads_as_its_source(maker, option, value, tmp_path):
    source, out = tmp_path / "in.gds", tmp_path / "out.oas"
    if maker == "quillon":
        quillon_made(source)
    else:
        make_peer(maker, option, value, source)
    result = run([CONVERT, source, out])
    assert result.returncode == 0, result.stderr
    cells, found = differences(source, out, tmp_path)
    assert cells[0] == cells[1]
    assert found == {}


@pytest.mark.parametrize("api", ["flat", "handle", "python"])
def test_include_into_an_oasis_library_renames_chooses_and_scales(api, tmp_path):
    source, out = tmp_path / "k.gds", tmp_path / "out.oas"
    make_peer("klayout", "", "", source)
    if api == "python":
        with quillon.Library(out, 0.00025, 2.5e-10) as lib:
            names = lib.include(source, prefix="p_", structures=["MID"])
        assert sorted(names) == ["p_LEAF", "p_MID"] and names.tops == ["p_MID"]
        prefix = "p_"
    else:
        # The host writes the flat API's library in the file's own units,
        # the handle's at 0.25 nm with a prefix.
        result = run([os.environ["QUILLON_INCLUDE_HOST"], api, out, source] +
                     ([] if api == "flat" else ["p_"]))
        assert result.returncode == 0, result.stderr
        prefix = "" if api == "flat" else "p_"
    cells, found = differences(source, out, tmp_path, prefix=prefix)
    if api == "python":
        found.pop(prefix + "TOP", None)  # not chosen
    assert found == {}
    assert set(cells[1]) <= set(cells[0]) | {"HOST"}


def test_damaged_inputs_leave_no_output(tmp_path):
    source = tmp_path / "k.gds"
    make_peer("klayout", "", "", source)
    good = source.read_bytes()
    rng = random.Random(7)
    damaged = [good[:rng.randrange(len(good))] for _ in range(6)]
    damaged.append(gzip.compress(good)[:-9])  # a gzip member cut short
    damaged.append(b"\x1f\x8b" + good[2:])    # gzip magic on plain bytes
    for i, data in enumerate(damaged):
        bad, out = tmp_path / f"bad{i}.gds", tmp_path / f"out{i}.oas"
        bad.write_bytes(data)
        result = run([CONVERT, "-q", bad, out])
        assert result.returncode == 1, (i, result.stderr)
        assert "quillon-convert: " in result.stderr
        assert not out.exists()
        assert [p.name for p in tmp_path.iterdir() if p.name.startswith(".")] == []
