# gdspy (Debian python3-gdspy) reads the generated file and the demo as
# written.
#
# How gdspy treats the record kinds it does not model: BOX, BOXTYPE, NODE,
# NODETYPE, ELFLAGS and PLEX are each reported once as "not supported" (a
# Python warning) and the BOX and NODE elements are dropped. A TEXT with a
# negative WIDTH makes gdspy 1.4 fail with a TypeError.
import math

import pytest

from conftest import read_gdspy, run, HERE
import model

FILES = ["generated", "demo"]
ENDS = {0: "flush", 1: "round", 2: "extended"}


def view_and_model(request, which):
    return request.getfixturevalue(f"gdspy_{which}"), request.getfixturevalue(which)["model"]


@pytest.mark.parametrize("which", FILES)
def test_polygons_have_their_points_layer_and_datatype_in_order(request, which):
    view, structures = view_and_model(request, which)
    for name, structure in structures.items():
        expected = [{"layer": b["layer"], "datatype": b["datatype"], "points": b["points"]}
                    for b in structure["boundaries"]]
        assert view["cells"][name]["polygons"] == expected, name


@pytest.mark.parametrize("which", FILES)
def test_boxes_and_nodes_are_dropped_with_a_warning(request, which):
    view, structures = view_and_model(request, which)
    for record in ("BOX", "BOXTYPE", "NODE", "NODETYPE", "ELFLAGS", "PLEX"):
        assert any(f"Record type {record} " in w for w in view["unsupported"]), record
    assert sum(len(s["boxes"]) for s in structures.values()) > 0
    for name, structure in structures.items():
        cell = view["cells"][name]
        assert len(cell["polygons"]) == len(structure["boundaries"]), name


@pytest.mark.parametrize("which", FILES)
def test_paths_have_their_points_width_and_ends_in_order(request, which):
    view, structures = view_and_model(request, which)
    for name, structure in structures.items():
        expected = [{"layer": p["layer"], "datatype": p["datatype"], "width": abs(p["width"]),
                     "ends": [p["bgnextn"], p["endextn"]] if "bgnextn" in p
                     else ENDS.get(p["pathtype"], "extended"), "points": p["points"]}
                    for p in structure["paths"]]
        assert view["cells"][name]["paths"] == expected, name


@pytest.mark.parametrize("which", FILES)
def test_texts_have_their_string_position_layer_type_magnification_and_angle(request, which):
    view, structures = view_and_model(request, which)
    for name, structure in structures.items():
        # gdspy reads an empty STRING as None.
        expected = [{"layer": t["layer"], "texttype": t["texttype"], "string": t["string"] or None,
                     "x": t["x"], "y": t["y"], "anchor": t["presentation"] & 0x0F,
                     "rotation": t["angle"], "magnification": t["mag"],
                     "x_reflection": bool(t["strans"] & 0x8000)}
                    for t in structure["texts"]]
        assert view["cells"][name]["labels"] == expected, name


def lattice_points(reference, spacing):
    """The AREF's second and third points as gdspy's spacing implies them:
    the spacing is in the referenced cell's frame, before reflection and
    rotation."""
    sx, sy = spacing
    angle = math.radians(reference["rotation"])
    c, s = math.cos(angle), math.sin(angle)
    column = (sx, 0.0)
    row = (0.0, -sy if reference["x_reflection"] else sy)
    turn = lambda v: (v[0] * c - v[1] * s, v[0] * s + v[1] * c)  # noqa: E731
    column, row = turn(column), turn(row)
    return ([reference["x"] + reference["columns"] * column[0],
             reference["y"] + reference["columns"] * column[1]],
            [reference["x"] + reference["rows"] * row[0], reference["y"] + reference["rows"] * row[1]])


def turns_with_instances(aref):
    """Whether the AREF's column step runs along the instances' own x axis and
    its row step along their y axis, as gdspy's CellArray assumes."""
    (x0, y0), (x1, y1), (x2, y2) = aref["points"]
    angle = math.radians(aref["angle"])
    c, s = math.cos(angle), math.sin(angle)
    column_off_axis = -(x1 - x0) * s + (y1 - y0) * c  # y of the column step, unturned
    row_off_axis = (x2 - x0) * c + (y2 - y0) * s       # x of the row step, unturned
    return abs(column_off_axis) <= 1.0 * aref["columns"] and abs(row_off_axis) <= 1.0 * aref["rows"]


def test_generated_file_has_a_lattice_gdspy_cannot_keep(generated):
    arefs = generated["model"]["REFS"]["arefs"]
    assert [turns_with_instances(a) for a in arefs].count(False) == 1


@pytest.mark.parametrize("which", FILES)
def test_references_have_their_name_origin_transformation_and_array(request, which):
    view, structures = view_and_model(request, which)
    for name, structure in structures.items():
        references = view["cells"][name]["references"]
        singles = [r for r in references if not r["array"]]
        arrays = [r for r in references if r["array"]]
        assert [(r["name"], r["x"], r["y"], r["rotation"], r["magnification"], r["x_reflection"])
                for r in singles] == [
            (r["name"], r["x"], r["y"], r["angle"], r["mag"], bool(r["strans"] & 0x8000))
            for r in structure["srefs"]], name
        assert len(arrays) == len(structure["arefs"]), name
        for seen, passed in zip(arrays, structure["arefs"]):
            (x0, y0), p1, p2 = passed["points"]
            assert (seen["name"], seen["x"], seen["y"], seen["rotation"], seen["magnification"],
                    seen["x_reflection"], seen["columns"], seen["rows"]) == (
                passed["name"], x0, y0, passed["angle"], passed["mag"],
                bool(passed["strans"] & 0x8000), passed["columns"], passed["rows"]), name
            column_end, row_end = lattice_points(seen, seen["spacing"])
            if turns_with_instances(passed):
                assert column_end == pytest.approx(p1, abs=1.0), name
                assert row_end == pytest.approx(p2, abs=1.0), name
            else:
                # gdspy keeps a lattice only along the instances' own axes.
                assert column_end != pytest.approx(p1, abs=1.0) or \
                    row_end != pytest.approx(p2, abs=1.0), name


@pytest.mark.parametrize("top", ["DS40", "DA6"])
def test_deep_hierarchies_flatten_to_the_placed_leaves(gdspy_generated, generated, top):
    flat = gdspy_generated["flat"][top]
    expected = model.flatten(generated["model"], top)
    assert flat["count"] == len(expected)
    everything = [p for polygon in expected for p in polygon]
    assert flat["bbox"] == [round(v) for v in model.bounding(everything)]
    if len(expected) == 1:
        assert model.canonical_polygon(flat["polygons"][0]) == model.canonical_polygon(
            [[round(x), round(y)] for x, y in expected[0]])


def test_negative_text_width_makes_gdspy_fail(generated):
    result = run(["/usr/bin/python3", str(HERE / "read_gdspy.py"),
                  str(generated["negative_text_width"])])
    assert result.returncode != 0
    assert "TypeError" in result.stderr and "width_transform" in result.stderr
