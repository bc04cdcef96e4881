"""The shape helpers: rectangle as a BOUNDARY gdspy reads, (layer, type)
pairs, corners as pairs, LIBNAME, and AREF from columns, rows and spacing."""

import warnings

import gdspy
import pytest

import quillon
from conftest import STAMP
from gds_records import read_records


def _read_with_gdspy(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return gdspy.GdsLibrary(infile=str(path), units="import")


def test_rectangle_is_a_four_vertex_boundary_that_gdspy_reads(tmp_path):
    path = tmp_path / "rect.gds"
    with quillon.Library(path, 1.0, 1e-9, timestamp=STAMP) as lib:
        with lib.structure("TOP") as top:
            top.rectangle((10, 20), (-30, 40), layer=(5, 6))
            top.box((0, 0), (7, 7), layer=1)  # skipped by gdspy
    (polygon,) = _read_with_gdspy(path).cell_dict["TOP"].polygons
    assert (polygon.layers, polygon.datatypes) == ([5], [6])
    assert polygon.polygons[0].astype(int).tolist() == [[10, 20], [-30, 20], [-30, 40],
                                                        [10, 40]]
    names = [r.name for r in read_records(path.read_bytes())]
    assert names.count("BOUNDARY") == 1 and names.count("BOX") == 1


# Each pair of calls writes the same element: the pair forms against the
# scalar and keyword forms.
SAME = [
    (lambda t: t.box((1, 2), (3, 4), layer=(5, 6)), lambda t: t.box(1, 2, 3, 4, layer=5,
                                                                     boxtype=6)),
    (lambda t: t.box_wh((1, 2), 3, 4, layer=(5, 6)), lambda t: t.box_wh(1, 2, 3, 4, layer=5,
                                                                         boxtype=6)),
    (lambda t: t.square((1, 2), 3, layer=(5, 6)), lambda t: t.square(1, 2, 3, layer=5,
                                                                      boxtype=6)),
    (lambda t: t.boxes([(1, 2, 3, 4)], layer=(5, 6)), lambda t: t.box(1, 2, 3, 4, layer=5,
                                                                       boxtype=6)),
    (lambda t: t.rectangle((0, 0), (2, 1), layer=(7, 8)),
     lambda t: t.boundary([(0, 0), (2, 0), (2, 1), (0, 1)], layer=7, datatype=8)),
    (lambda t: t.boundaries([[(0, 0), (2, 0), (2, 1)]], layer=[7, 8]),
     lambda t: t.boundary([(0, 0), (2, 0), (2, 1)], layer=7, datatype=8)),
    (lambda t: t.path([(0, 0), (5, 0)], layer=(1, 2), datatype=2),
     lambda t: t.path([(0, 0), (5, 0)], layer=1, datatype=2)),
    (lambda t: t.circle((0, 0), 9, 8, layer=(3, 4)), lambda t: t.circle((0, 0), 9, 8, layer=3,
                                                                         datatype=4)),
    (lambda t: t.arc((0, 0), 9, 0, 90, 8, layer=(3, 4)),
     lambda t: t.arc((0, 0), 9, 0, 90, 8, layer=3, datatype=4)),
    (lambda t: t.sector((0, 0), 9, 0, 90, 8, layer=(3, 4)),
     lambda t: t.sector((0, 0), 9, 0, 90, 8, layer=3, datatype=4)),
    (lambda t: t.text("T", (1, 1), layer=(63, 7)), lambda t: t.text("T", (1, 1), layer=63,
                                                                     texttype=7)),
    (lambda t: t.node([(0, 0)], layer=(2, 3)), lambda t: t.node([(0, 0)], layer=2, nodetype=3)),
    (lambda t: t.aref("A", (10, 20), 3, 2, spacing=(100, 50)),
     lambda t: t.aref("A", [(10, 20), (310, 20), (10, 120)], 3, 2)),
    (lambda t: t.aref("A", (10, 20), 3, 2, (100, 50), angle=90, reflect=True),
     lambda t: t.aref("A", [(10, 20), (10, 320), (110, 20)], 3, 2, angle=90, reflect=True)),
    (lambda t: t.circle((5, 6), 900, tolerance=2, layer=(3, 4)),
     lambda t: t.ellipse((5, 6), (900, 900), tolerance=2.0, layer=3, datatype=4)),
    (lambda t: t.ring((0, 0), 900, 800, start_angle=10, end_angle=80),
     lambda t: t.ellipse((0, 0), 900, inner_radius=(800, 800), start_angle=10, end_angle=80,
                         tolerance=1)),
    (lambda t: t.path([(0, 0), (50, 0), (50, 50)], width=4, bgnextn=3),
     lambda t: t.path([(0, 0), (50, 0), (50, 50)], width=4, pathtype=4, bgnextn=3, endextn=0)),
    (lambda t: t.text_polygons("Q\n1", (4, 4), height=70, anchor="bottom right"),
     lambda t: t.text_polygons("Q\n1", (4, 4), height=70, anchor=10)),
]


@pytest.mark.parametrize("pair_form, plain_form", SAME, ids=[str(i) for i in range(len(SAME))])
def test_pair_forms_write_what_the_plain_forms_write(write_py, pair_form, plain_form):
    assert write_py(pair_form) == write_py(plain_form)


@pytest.mark.parametrize("bad", [
    lambda t: t.box(0, 0, 1, 1, layer=(1, 2), boxtype=3),
    lambda t: t.boundary([(0, 0), (1, 0), (0, 1)], layer=(1, 2, 3)),
    lambda t: t.text("T", layer=(1, 2), texttype=5),
    lambda t: t.box((0, 0, 0), (1, 1)),
    lambda t: t.circle((0, 0), 10, 8, tolerance=1),
])
def test_inconsistent_layer_pairs_and_points_raise_type_error(write_py, bad):
    with pytest.raises(TypeError):
        write_py(bad)


@pytest.mark.parametrize("columns, rows, spacing, origin, angle, reflect", [
    (3, 2, (100, 50), (10, 20), 0.0, False),
    (4, 1, (90, 0), (485, 70), 90.0, False),
    (2, 5, (70, 30), (-40, 15), 30.0, False),
    (5, 3, (14, 14), (316, 250), 0.0, True),
    (2, 3, (33, 21), (7, 9), 135.0, True),
])
def test_aref_spacing_places_the_lattice_as_gdspy_does(tmp_path, columns, rows, spacing,
                                                       origin, angle, reflect):
    ours = tmp_path / "ours.gds"
    with quillon.Library(ours, 1.0, 1e-9) as lib:
        lib.structure("A").end()  # the empty target, as in gdspy's file
        with lib.structure("TOP") as top:
            top.aref("A", origin, columns, rows, spacing=spacing, angle=angle, reflect=reflect)
    theirs = tmp_path / "gdspy.gds"
    library = gdspy.GdsLibrary(unit=1e-9, precision=1e-9)
    target = gdspy.Cell("A", exclude_from_current=True)
    cell = gdspy.Cell("TOP", exclude_from_current=True)
    cell.add(gdspy.CellArray(target, columns, rows, spacing, origin, rotation=angle,
                             x_reflection=reflect))
    library.add([target, cell])
    library.write_gds(str(theirs))

    def aref_xy(path):
        records = read_records(path.read_bytes())
        start = [r.name for r in records].index("AREF")
        return next(r.ints() for r in records[start:] if r.name == "XY")

    assert aref_xy(ours) == aref_xy(theirs)


def test_library_name_fills_libname(tmp_path):
    path = tmp_path / "named.gds"
    with quillon.Library(path, library_name="MYLIB"):
        pass
    (libname,) = [r for r in read_records(path.read_bytes()) if r.name == "LIBNAME"]
    assert libname.text() == "MYLIB"
    with quillon.Library(path, library_name=b"B"):
        pass
    assert [r.data for r in read_records(path.read_bytes()) if r.name == "LIBNAME"] == [b"B\0"]
    with pytest.raises(quillon.QuillonError) as info:
        quillon.Library(tmp_path / "long.gds", library_name="L" * 70000)
    assert info.value.message == quillon._messages.LIBRARY_NAME_TOO_LONG
    assert not (tmp_path / "long.gds").exists()


def test_user_units_scale_the_shapes_and_their_tolerance(tmp_path):
    def write(coordinates, draw):
        path = tmp_path / "units.gds"
        with quillon.Library(str(path), unit=1e-6, precision=1e-9, coordinates=coordinates,
                             timestamp=STAMP, library_name="U") as lib:
            with lib.structure("TOP") as top:
                draw(top)
        return path.read_bytes()

    assert write("user", lambda t: (
        t.ring((1.5, 2), 0.5, 0.25, tolerance=0.001),
        t.path([(0, 0), (10, 0), (10, 10)], width=0.5, bend_radius=2, tolerance=0.002,
               bgnextn=0.1),
        t.text_polygons("um", (1, 1), height=0.7))) == write("db", lambda t: (
            t.ring((1500, 2000), 500, 250, tolerance=1),
            t.path([(0, 0), (10000, 0), (10000, 10000)], width=500, bend_radius=2000,
                   tolerance=2, bgnextn=100),
            t.text_polygons("um", (1000, 1000), height=700)))
