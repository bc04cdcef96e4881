# KLayout (batch mode) reads the generated file and the demo as written.
#
# How KLayout treats the record kinds that have no shape of their own:
# - BOX: read as a box shape on layer/BOXTYPE (BOXTYPE taking the datatype's
#   place), corners sorted. KLayout also turns every rectangular BOUNDARY
#   into a box, so the two cannot be told apart after reading.
# - NODE: dropped without a message.
# - ELFLAGS, PLEX: dropped without a message (no user properties either).
# - TEXT: the angle is rounded to a multiple of 90 degrees, with a warning;
#   the font bits of PRESENTATION are not kept (font -1).
import math
from collections import Counter

import pytest

import model

FILES = ["generated", "demo"]


def view_and_model(request, which):
    view = request.getfixturevalue(f"klayout_{which}")
    return view, request.getfixturevalue(which)["model"], view["dbu"]


def shapes(cell, kind):
    return [s for s in cell["shapes"] if s["kind"] == kind]


def expected_shapes(structure):
    polygons, boxes = Counter(), Counter()
    for b in structure["boundaries"]:
        key = (b["layer"], b["datatype"])
        if model.is_rectangle(b["points"]):
            boxes[key + tuple(model.bounding(b["points"]))] += 1
        else:
            polygons[key + (model.canonical_polygon(b["points"]),)] += 1
    for b in structure["boxes"]:
        x1, y1, x2, y2 = b["corners"]
        boxes[(b["layer"], b["boxtype"], min(x1, x2), min(y1, y2), max(x1, x2),
               max(y1, y2))] += 1
    return polygons, boxes


@pytest.mark.parametrize("which", FILES)
def test_polygons_and_boxes_have_their_points_layers_and_datatypes(request, which):
    view, structures, _ = view_and_model(request, which)
    for name, structure in structures.items():
        cell = view["cells"][name]
        polygons, boxes = expected_shapes(structure)
        seen_polygons = Counter((s["layer"], s["datatype"], model.canonical_polygon(s["points"]))
                                for s in shapes(cell, "polygon"))
        seen_boxes = Counter((s["layer"], s["datatype"], *s["box"]) for s in shapes(cell, "box"))
        assert seen_polygons == polygons, name
        assert seen_boxes == boxes, name


def test_box_elements_become_box_shapes_on_layer_and_boxtype(klayout_generated, generated):
    boxes = shapes(klayout_generated["cells"]["BOXES"], "box")
    assert len(boxes) == len(generated["model"]["BOXES"]["boxes"]) == 7
    assert {(b["layer"], b["datatype"]) for b in boxes} == {(6, 0), (6, 1), (6, 3), (6, 4), (7, 2)}
    # Reversed corners are sorted; a zero-width box is kept.
    assert [b["box"] for b in boxes if b["datatype"] == 1] == [[0, 0, 1000, 500]] * 2
    assert [b["box"] for b in boxes if b["datatype"] == 3] == [[0, 0, 0, 1000]]


@pytest.mark.parametrize("which", FILES)
def test_elflags_and_plex_are_dropped(request, which):
    view, structures, _ = view_and_model(request, which)
    if which == "generated":
        flagged = [e for s in structures.values() for kind in model.KINDS for e in s[kind]
                   if e["elflags"] or e["plex"]]
        assert len(flagged) >= 3
    for cell in view["cells"].values():
        assert all(s["properties"] == 0 for s in cell["shapes"])
        assert all(i["properties"] == 0 for i in cell["instances"])


def test_rectangular_boundary_becomes_a_box_shape(klayout_generated):
    cell = klayout_generated["cells"]["BOUNDARIES"]
    assert [s["box"] for s in shapes(cell, "box") if s["layer"] == 3] == [[0, 0, 50, 80]]


@pytest.mark.parametrize("which", FILES)
def test_nodes_are_dropped(request, which):
    view, structures, _ = view_and_model(request, which)
    for name, structure in structures.items():
        if not structure["nodes"]:
            continue
        node_layers = {(n["layer"], n["nodetype"]) for n in structure["nodes"]}
        others = {(b["layer"], b["datatype"]) for b in structure["boundaries"] + structure["paths"]}
        others |= {(b["layer"], b["boxtype"]) for b in structure["boxes"]}
        others |= {(t["layer"], t["texttype"]) for t in structure["texts"]}
        seen = {(s["layer"], s["datatype"]) for s in view["cells"][name]["shapes"]}
        assert not (node_layers - others) & seen, name
        assert len(view["cells"][name]["shapes"]) == sum(
            len(structure[k]) for k in ("boundaries", "boxes", "paths", "texts")), name
    assert "NODE" not in view["log"]


def expected_path(p):
    width = abs(p["width"])
    extension = 0 if p["pathtype"] == 0 else p["width"] // 2
    ends = (p["bgnextn"], p["endextn"]) if "bgnextn" in p else (extension, extension)
    return (p["layer"], p["datatype"], width, *ends, p["pathtype"] == 1,
            tuple(map(tuple, p["points"])))


@pytest.mark.parametrize("which", FILES)
def test_paths_have_their_points_width_and_path_type(request, which):
    view, structures, _ = view_and_model(request, which)
    for name, structure in structures.items():
        seen = Counter((s["layer"], s["datatype"], s["width"], s["bgn_ext"], s["end_ext"],
                        s["round"], tuple(map(tuple, s["points"])))
                       for s in shapes(view["cells"][name], "path"))
        assert seen == Counter(expected_path(p) for p in structure["paths"]), name


def expected_text(t, dbu):
    return (t["layer"], t["texttype"], t["string"], t["x"], t["y"], round(t["mag"] / dbu),
            bool(t["strans"] & 0x8000), t["presentation"] & 3, (t["presentation"] >> 2) & 3,
            int(math.floor(t["angle"] / 90 + 0.5)) % 4 * 90)


@pytest.mark.parametrize("which", FILES)
def test_texts_have_their_string_position_layer_type_size_and_angle(request, which):
    view, structures, dbu = view_and_model(request, which)
    for name, structure in structures.items():
        cell_texts = shapes(view["cells"][name], "text")
        seen = Counter((s["layer"], s["datatype"], s["string"], s["x"], s["y"], s["size"],
                        s["mirror"], s["halign"], s["valign"], s["rotation"]) for s in cell_texts)
        assert seen == Counter(expected_text(t, dbu) for t in structure["texts"]), name
        assert all(s["font"] == -1 for s in cell_texts)  # font bits not kept


def test_text_angle_off_the_right_angles_is_rounded_with_a_warning(klayout_generated, generated):
    texts = generated["model"]["TEXTS"]["texts"]
    assert [t["angle"] for t in texts if t["angle"] % 90] == [45.0]
    assert "Invalid text rotation angle (45 is not a multiple of 90)" in klayout_generated["log"]
    longest = [s for s in shapes(klayout_generated["cells"]["TEXTS"], "text")
               if len(s["string"]) == 512]
    assert len(longest) == 1


def sref_key(r):
    return (r["name"], r["x"], r["y"], round(r["angle"] % 360, 9), round(r["mag"], 9),
            bool(r["strans"] & 0x8000))


def aref_key(r):
    (x0, y0), (x1, y1), (x2, y2) = r["points"]
    cols, rows = r["columns"], r["rows"]
    row_step = ((x2 - x0) // rows, (y2 - y0) // rows)
    # KLayout's first array vector is the row step, its second the column
    # step; rows at a zero step fall onto each other and count as one.
    return sref_key(dict(r, x=x0, y=y0)) + (
        row_step, 1 if row_step == (0, 0) else rows, ((x1 - x0) // cols, (y1 - y0) // cols), cols)


@pytest.mark.parametrize("which", FILES)
def test_references_have_their_name_origin_transformation_and_array(request, which):
    view, structures, _ = view_and_model(request, which)
    for name, structure in structures.items():
        instances = view["cells"][name]["instances"]
        singles = Counter((i["name"], i["x"], i["y"], round(i["angle"] % 360, 9),
                           round(i["mag"], 9), i["mirror"]) for i in instances if not i["array"])
        arrays = Counter((i["name"], i["x"], i["y"], round(i["angle"] % 360, 9),
                          round(i["mag"], 9), i["mirror"], tuple(i["a"]), i["na"], tuple(i["b"]),
                          i["nb"]) for i in instances if i["array"])
        assert singles == Counter(sref_key(r) for r in structure["srefs"]), name
        assert arrays == Counter(aref_key(r) for r in structure["arefs"]), name


def test_array_with_a_zero_row_step_keeps_one_row(klayout_generated):
    arrays = [i for i in klayout_generated["cells"]["REFS"]["instances"]
              if i["array"] and i["y"] == 2000]
    assert [(i["a"], i["na"], i["b"], i["nb"]) for i in arrays] == [([0, 0], 1, [200, 0], 3)]


@pytest.mark.parametrize("top", ["DS40", "DA6"])
def test_deep_hierarchies_flatten_to_the_placed_leaves(klayout_generated, generated, top):
    flat = klayout_generated["cells"][top]["flat"]
    expected = model.flatten(generated["model"], top)
    assert flat["count"] == len(expected)
    everything = [p for polygon in expected for p in polygon]
    assert flat["bbox"] == [round(v) for v in model.bounding(everything)]
    if len(expected) == 1:
        assert model.canonical_polygon(flat["polygons"][0]) == model.canonical_polygon(
            [[round(x), round(y)] for x, y in expected[0]])
