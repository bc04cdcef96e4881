"""Units in gdstk's spelling, coordinates in user units rounded half away
from zero to the database grid, and the demo chip of both languages."""

import os
import random
import subprocess
import sys
from decimal import ROUND_HALF_UP, Decimal
from pathlib import Path

import gdspy
import numpy as np
import pytest

import quillon
from quillon._units import round_half_away
from conftest import STAMP, TESTS
from gds_records import read_records


def _units_record(path):
    return next(r for r in read_records(Path(path).read_bytes()) if r.name == "UNITS").data


@pytest.mark.parametrize("unit, precision", [(1e-6, 1e-9), (1e-3, 1e-9), (1e-6, 5e-9),
                                             (1.0, 1e-10)])
def test_unit_and_precision_write_the_units_gdspy_writes(tmp_path, unit, precision):
    ours = tmp_path / "ours.gds"
    with quillon.Library(ours, unit=unit, precision=precision) as lib:
        assert (lib.precision, lib.db_in_user_units) == (precision, precision / unit)
    theirs = tmp_path / "gdspy.gds"
    library = gdspy.GdsLibrary(unit=unit, precision=precision)
    library.add(gdspy.Cell("A", exclude_from_current=True))
    library.write_gds(str(theirs))
    assert _units_record(ours) == _units_record(theirs)


def test_the_two_spellings_of_the_units(tmp_path):
    with quillon.Library(tmp_path / "a.gds", 0.001, 1e-9):
        pass
    with quillon.Library(tmp_path / "b.gds", unit=1e-6):  # precision defaults to 1e-9
        pass
    with quillon.Library(tmp_path / "c.gds", precision=1e-9):  # unit defaults to 1e-6
        pass
    assert _units_record(tmp_path / "a.gds") == _units_record(tmp_path / "b.gds") == \
        _units_record(tmp_path / "c.gds")
    with pytest.raises(TypeError):
        quillon.Library(tmp_path / "d.gds", 0.001, unit=1e-6)
    with pytest.raises(TypeError):
        quillon.Library(tmp_path / "d.gds", db_in_meters=1e-9, precision=1e-9)
    with pytest.raises(ValueError):
        quillon.Library(tmp_path / "d.gds", coordinates="nm")
    assert not (tmp_path / "d.gds").exists()


def test_rounding_is_half_away_from_zero():
    ties = [0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 4503599627370495.5]
    near = [0.49999999999999994, -0.49999999999999994, 2.4999999999999996, 1e-300, -0.0]
    rng = random.Random(7)
    values = ties + near + [rng.uniform(-1e9, 1e9) for _ in range(2000)] + [
        rng.randrange(-10 ** 6, 10 ** 6) / 2 for _ in range(200)]
    for value in values:
        expected = int(Decimal(value).quantize(Decimal(1), rounding=ROUND_HALF_UP))
        assert round_half_away(value) == expected, value
    grid = quillon._units.Grid(1.0)
    array = np.array(values)
    assert grid.array(array).tolist() == [round_half_away(v) for v in values]


# (user-unit calls, the same element in database units) on a 1 nm grid in um.
USER_CASES = [
    (lambda t: t.box(0.0015, -0.0025, 2.5, 1e-3, layer=1),
     lambda t: t.box(2, -3, 2500, 1, layer=1)),
    (lambda t: t.box((0.0004, 0.0006), (7, -7)), lambda t: t.box(0, 1, 7000, -7000)),
    (lambda t: t.box_wh(1.2345, 0, 0.0005, 2), lambda t: t.box_wh(1235, 0, 1, 2000)),
    (lambda t: t.square((-0.0005, 1), 3), lambda t: t.square(-1, 1000, 3000)),
    (lambda t: t.rectangle((0, 0), (1.25, 0.5), layer=2),
     lambda t: t.boundary([(0, 0), (1250, 0), (1250, 500), (0, 500)], layer=2)),
    (lambda t: t.boxes(np.array([[0.1, 0.2, 0.3, 0.4]]), layer=3),
     lambda t: t.box(100, 200, 300, 400, layer=3)),
    (lambda t: t.boundary([(0, 0), (1.0005, 0), (0.5, -0.8665)], layer=4),
     lambda t: t.boundary([(0, 0), (1001, 0), (500, -867)], layer=4)),
    (lambda t: t.boundary(xs=np.array([0, 1.5, 1.5]), ys=[0, 0, 2.0004]),
     lambda t: t.boundary([(0, 0), (1500, 0), (1500, 2000)])),
    (lambda t: t.boundaries(np.array([[[0, 0], [1.5, 0], [0, 1.5]]]), layer=5),
     lambda t: t.boundary([(0, 0), (1500, 0), (0, 1500)], layer=5)),
    (lambda t: t.path([(0, 0), (10, 0.0025)], width=0.5, pathtype=2),
     lambda t: t.path([(0, 0), (10000, 3)], width=500, pathtype=2)),
    (lambda t: t.circle((1.5, -1.5), 2.0005, 16), lambda t: t.circle((1500, -1500), 2001, 16)),
    (lambda t: t.arc((0, 0), 3, 0, 90, 8, width=0.25),
     lambda t: t.arc((0, 0), 3000, 0, 90, 8, width=250)),
    (lambda t: t.sector((0.001, 0), 3, 0, 90, 8), lambda t: t.sector((1, 0), 3000, 0, 90, 8)),
    (lambda t: t.sref("A", (2.5, -0.0015), angle=90),
     lambda t: t.sref("A", (2500, -2), angle=90)),
    (lambda t: t.aref("A", [(0, 0), (30, 0), (0, 20.0005)], 3, 2),
     lambda t: t.aref("A", [(0, 0), (30000, 0), (0, 20001)], 3, 2)),
    (lambda t: t.aref("A", (1, 1), 3, 2, spacing=(10.5, 0.0025)),
     lambda t: t.aref("A", [(1000, 1000), (32500, 1000), (1000, 1005)], 3, 2)),
    (lambda t: t.text("T", (0.5, 0.25), width=0.1), lambda t: t.text("T", (500, 250), width=100)),
    (lambda t: t.node([(0.0001, 0), (1, 1)]), lambda t: t.node([(0, 0), (1000, 1000)])),
    (lambda t: t.box(3, 4, 5, 6), lambda t: t.box(3000, 4000, 5000, 6000)),  # ints: exact
]


def _file(path, coordinates, draw):
    with quillon.Library(path, unit=1e-6, precision=1e-9, timestamp=STAMP,
                         library_name="U", coordinates=coordinates) as lib:
        assert lib.coordinates == coordinates
        lib.structure("A").end()  # the cell the references name
        with lib.structure("TOP") as top:
            draw(top)
    return path.read_bytes()


@pytest.mark.parametrize("user, db", USER_CASES, ids=[str(i) for i in range(len(USER_CASES))])
def test_user_coordinates_are_rounded_to_the_database_grid(tmp_path, user, db):
    assert _file(tmp_path / "user.gds", "user", user) == _file(tmp_path / "db.gds", "db", db)


def test_user_coordinates_still_meet_the_32_bit_and_type_checks(tmp_path):
    with quillon.Library(tmp_path / "u.gds", coordinates="user") as lib:
        with lib.structure("TOP") as top:
            with pytest.raises(ValueError):
                top.box(0, 0, 2.2e6, 1)  # 2.2e9 nm: beyond 32 bits
            with pytest.raises(ValueError):
                top.box(0, 0, 2 ** 40, 1)
            with pytest.raises(ValueError):
                top.box(0, 0, float("nan"), 1)
            with pytest.raises(TypeError):
                top.box(0, 0, "1", 1)
            with pytest.raises(TypeError):  # layers are never scaled, never floats
                top.box(0, 0, 1, 1, layer=1.0)


def test_gdstk_units_take_user_coordinates_by_default(tmp_path):
    # gdstk's spelling means gdstk's coordinates: a 60 um square, read back
    # by gdspy in user units.
    with quillon.Library(tmp_path / "g.gds", unit=1e-6, precision=1e-9) as lib:
        assert lib.coordinates == "user"
        with lib.structure("TOP") as top:
            top.rectangle((0, 0), (60, 60.5), layer=1)
    cell = gdspy.GdsLibrary(infile=str(tmp_path / "g.gds")).cell_dict["TOP"]
    assert np.allclose(cell.get_bounding_box(), [[0, 0], [60, 60.5]])


def test_database_coordinates_refuse_floats_naming_the_switch(tmp_path):
    with quillon.Library(tmp_path / "d.gds", db_in_user_units=0.001) as lib:
        assert lib.coordinates == "db"
        with lib.structure("TOP") as top:
            for call in (lambda: top.box(0, 0, 1.0, 1), lambda: top.rectangle((0, 0), (1.5, 1)),
                         lambda: top.boundary(np.zeros((3, 2))), lambda: top.circle((0, 0), 2.5)):
                with pytest.raises(quillon.QuillonError, match="unit=.*precision=") as info:
                    call()
                assert isinstance(info.value, TypeError) and info.value.status == -2


def test_the_python_and_c_demo_chips_are_the_same_bytes(tmp_path):
    demo = Path(os.environ.get("QUILLON_DUMP", "")).parent / "quillon-demo"
    if not demo.is_file():
        demo = TESTS.parent.parent / "build" / "tools" / "quillon-demo"
    if not demo.is_file():
        pytest.skip("quillon-demo is not built")
    env = dict(os.environ, PYTHONPATH=str(TESTS.parent))
    subprocess.run([sys.executable, str(TESTS.parent / "examples" / "demo_chip.py"), "chip.gds"],
                   cwd=tmp_path, env=env, check=True, capture_output=True)
    python_file = (tmp_path / "chip.gds").read_bytes()
    (tmp_path / "chip.gds").unlink()
    subprocess.run([str(demo), "chip.gds"], cwd=tmp_path, check=True, capture_output=True)
    assert python_file == (tmp_path / "chip.gds").read_bytes()
