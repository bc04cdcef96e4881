"""Every element kind written through the binding: the same bytes as the same
calls made from C, and read back by gdspy and by quillon-dump."""

import os
import re
import subprocess
import warnings

import gdspy
import numpy as np
import pytest

import quillon
from conftest import STAMP
from gds_records import element_records, is_complete, read_records

# (id, Python calls on the open structure, the same calls in C, the element
# records expected). Every argument has its own value, so that an argument
# passed to the wrong C parameter changes the file.
CASES = [
    ("box", lambda t: t.box(-5, 7, 300, 400, layer=3, boxtype=4, elflags=1, plex=70000),
     ["Box -5 7 300 400 3 4 1 70000"],
     ["BOX", "ELFLAGS", "PLEX", "LAYER", "BOXTYPE", "XY", "ENDEL"]),
    ("box_wh", lambda t: t.box_wh(5, 5, -5, 10, layer=2, boxtype=1, elflags=2, plex=3),
     ["BoxWH 5 5 -5 10 2 1 2 3"],
     ["BOX", "ELFLAGS", "PLEX", "LAYER", "BOXTYPE", "XY", "ENDEL"]),
    ("square", lambda t: t.square(-10, 20, 15, layer=32767, boxtype=7, elflags=0, plex=-1),
     ["Square -10 20 15 32767 7 0 -1"],
     ["BOX", "ELFLAGS", "PLEX", "LAYER", "BOXTYPE", "XY", "ENDEL"]),
    ("boundary",
     lambda t: t.boundary([(0, 0), (1000, 0), (1000, 500), (0, 800)], layer=7, datatype=9,
                          elflags=2, plex=5),
     ["Boundary 4 0 0 1000 0 1000 500 0 800 7 9 2 5"],
     ["BOUNDARY", "ELFLAGS", "PLEX", "LAYER", "DATATYPE", "XY", "ENDEL"]),
    ("path",
     lambda t: t.path([(0, 0), (100, 0), (100, 250)], width=20, layer=11, datatype=12,
                      pathtype=2, elflags=1, plex=3),
     ["Path 3 0 0 100 0 100 250 20 11 12 2 1 3"],
     ["PATH", "ELFLAGS", "PLEX", "LAYER", "DATATYPE", "PATHTYPE", "WIDTH", "XY", "ENDEL"]),
    ("long_path",
     lambda t: t.path([(i, i * i % 97) for i in range(450)], width=4, layer=1),
     ["Path 450 " + " ".join(f"{i} {i * i % 97}" for i in range(450)) + " 4 1 0 0 0 0"],
     ["PATH", "ELFLAGS", "PLEX", "LAYER", "DATATYPE", "PATHTYPE", "WIDTH", "XY", "ENDEL"]
     * 3),
    ("circle",
     lambda t: t.circle((100, -50), 1000, 12, layer=4, datatype=5, elflags=1, plex=9),
     ["Circle 100 -50 1000 12 4 5 1 9"],
     ["BOUNDARY", "ELFLAGS", "PLEX", "LAYER", "DATATYPE", "XY", "ENDEL"]),
    ("arc",
     lambda t: t.arc((0, 0), 1000, 10.0, 135.5, 17, width=30, layer=6, datatype=7,
                     pathtype=1, elflags=2, plex=4),
     ["Arc 0 0 1000 10.0 135.5 17 30 6 7 1 2 4"],
     ["PATH", "ELFLAGS", "PLEX", "LAYER", "DATATYPE", "PATHTYPE", "WIDTH", "XY", "ENDEL"]),
    ("sector",
     lambda t: t.sector((5, 5), 700, -30.0, 200.25, 25, layer=8, datatype=3, elflags=0,
                        plex=1),
     ["Sector 5 5 700 -30.0 200.25 25 8 3 0 1"],
     ["BOUNDARY", "ELFLAGS", "PLEX", "LAYER", "DATATYPE", "XY", "ENDEL"]),
    ("sref",
     lambda t: t.sref("CELL", (100, -200), magnification=2.5, angle=90, reflect=True,
                      elflags=1, plex=6),
     ["Sref CELL 100 -200 0x8000 2.5 90.0 1 6"],
     ["SREF", "ELFLAGS", "PLEX", "SNAME", "STRANS", "MAG", "ANGLE", "XY", "ENDEL"]),
    ("aref",
     lambda t: t.aref("ARR", [(0, 0), (300, 0), (0, 200)], 3, 2, magnification=0.5,
                      angle=45, reflect=True, elflags=0, plex=2),
     ["Aref ARR 0 0 300 0 0 200 3 2 0x8000 0.5 45.0 0 2"],
     ["AREF", "ELFLAGS", "PLEX", "SNAME", "STRANS", "MAG", "ANGLE", "COLROW", "XY",
      "ENDEL"]),
    ("text",
     lambda t: t.text("Hello", (10, 20), layer=13, texttype=14, presentation=0x16,
                      pathtype=1, width=15, magnification=3.0, angle=270, reflect=True,
                      elflags=2, plex=8),
     ["Text 10 20 Hello 13 14 0x16 1 15 0x8000 3.0 270.0 2 8"],
     ["TEXT", "ELFLAGS", "PLEX", "LAYER", "TEXTTYPE", "PRESENTATION", "PATHTYPE", "WIDTH",
      "STRANS", "MAG", "ANGLE", "XY", "STRING", "ENDEL"]),
    ("node",
     lambda t: t.node([(0, 0), (100, 0), (100, 100)], layer=5, nodetype=1, elflags=1,
                      plex=7),
     ["Node 3 0 0 100 0 100 100 5 1 1 7"],
     ["NODE", "ELFLAGS", "PLEX", "LAYER", "NODETYPE", "XY", "ENDEL"]),
]

IDS = [case[0] for case in CASES]


@pytest.mark.parametrize("name, draw, c_lines, records", CASES, ids=IDS)
def test_element_matches_the_same_calls_made_from_c(write_py, write_c, name, draw, c_lines,
                                                    records):
    python_file = write_py(draw)
    c_file, reports = write_c(c_lines)
    assert reports == []
    assert python_file == c_file
    assert is_complete(python_file)
    assert [r.name for r in element_records(python_file)] == records


def test_every_element_in_one_file_matches_c(write_py, write_c):
    def draw(top):
        for case in CASES:
            case[1](top)

    python_file = write_py(draw, units=(0.001, 1e-9))
    c_file, reports = write_c([line for case in CASES for line in case[2]],
                              units=(0.001, 1e-9))
    assert reports == []
    assert python_file == c_file


def test_box_bytes_follow_the_gdsii_format(write_py):
    data = write_py(lambda t: t.square(0, 0, 10, layer=1))
    element = data[data.index(bytes.fromhex("00042d00")):][:78]
    assert element.hex() == (
        "00042d00" "00062601" "0000" "00082f03" "00000000" "00060d02" "0001"
        "00062e02" "0000" "002c1003"
        "00000000" "00000000" "0000000a" "00000000" "0000000a" "0000000a"
        "00000000" "0000000a" "00000000" "00000000" "00041100")


def _read_with_gdspy(data, tmp_path):
    path = tmp_path / "read.gds"
    path.write_bytes(data)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # BOX, NODE, ELFLAGS, PLEX: unsupported by gdspy
        library = gdspy.GdsLibrary(infile=str(path), units="import")
    return library.cell_dict["TOP"]


def test_gdspy_reads_back_polygons_and_paths(write_py, tmp_path):
    def draw(top):
        top.boundary([(0, 0), (1000, 0), (1000, 500), (0, 800)], layer=7, datatype=9)
        top.circle((100, -50), 1000, 12, layer=4, datatype=5)
        top.sector((0, 0), 700, 0.0, 90.0, 4, layer=8, datatype=3)
        top.path([(0, 0), (100, 0), (100, 250)], width=20, layer=11, datatype=12, pathtype=2)
        top.arc((0, 0), 1000, 0.0, 90.0, 3, width=10, layer=6, datatype=7, pathtype=1)

    cell = _read_with_gdspy(write_py(draw), tmp_path)
    polygons = [(p.layers[0], p.datatypes[0], p.polygons[0].round().astype(int).tolist())
                for p in cell.polygons]
    assert polygons[0] == (7, 9, [[0, 0], [1000, 0], [1000, 500], [0, 800]])
    assert polygons[1][:2] == (4, 5) and len(polygons[1][2]) == 12
    assert polygons[1][2][:4] == [[1100, -50], [966, 449], [600, 816], [100, 950]]
    # Sector of 4: the centre and 3 points, 0, 22.5 and 45 degrees.
    assert polygons[2] == (8, 3, [[0, 0], [700, 0], [646, 267], [494, 494]])
    paths = [(p.layers[0], p.datatypes[0], p.widths[0][0], p.ends[0],
              p.points.round().astype(int).tolist()) for p in cell.paths]
    assert paths[0] == (11, 12, 20, "extended", [[0, 0], [100, 0], [100, 250]])
    assert paths[1] == (6, 7, 10, "round", [[1000, 0], [866, 499], [500, 866]])


def test_gdspy_reads_back_references_and_texts(write_py, tmp_path):
    def draw(top):
        top.sref("CELL", (100, -200), magnification=2.5, angle=90, reflect=True)
        top.aref("ARR", [(0, 0), (300, 0), (0, 200)], 3, 2, angle=0)
        top.text("Hello", (10, 20), layer=13, texttype=14, presentation=0x06, angle=270,
                 magnification=3.0)

    cell = _read_with_gdspy(write_py(draw), tmp_path)
    sref, aref = cell.references
    assert (sref.ref_cell, tuple(sref.origin), sref.rotation, sref.magnification,
            sref.x_reflection) == ("CELL", (100, -200), 90, 2.5, True)
    assert (aref.ref_cell, aref.columns, aref.rows, tuple(aref.spacing),
            tuple(aref.origin)) == ("ARR", 3, 2, (100, 100), (0, 0))
    (label,) = cell.labels
    assert (label.text, tuple(label.position), label.layer, label.texttype, label.anchor,
            label.rotation, label.magnification) == ("Hello", (10, 20), 13, 14, 6, 270, 3.0)


def test_boxes_and_nodes_keep_the_file_readable_by_gdspy(write_py, tmp_path):
    # gdspy skips BOX and NODE elements; the elements around them must survive.
    def draw(top):
        top.box(0, 0, 10, 10, layer=1)
        top.node([(0, 0), (5, 5)], layer=2)
        top.boundary([(0, 0), (10, 0), (5, 5)], layer=3)

    cell = _read_with_gdspy(write_py(draw), tmp_path)
    assert [p.layers[0] for p in cell.polygons] == [3]


# (call, the record types gdspy does not support). A default Library writes
# no ELFLAGS, PLEX or identity STRANS/MAG/ANGLE, so gdspy warns only about
# the element kinds it lacks (BOX, NODE) and properties.
GDSPY_KINDS = [
    (lambda t: t.boundary([(0, 0), (10, 0), (5, 5)], layer=1), set()),
    (lambda t: t.rectangle((0, 0), (10, 10)), set()),
    (lambda t: t.polygon([(i, i * i % 7) for i in range(300)] + [(300, 50), (0, 50)]), set()),
    (lambda t: t.path([(0, 0), (10, 0)], width=2, pathtype=2), set()),
    (lambda t: t.circle((0, 0), 10), set()),
    (lambda t: t.arc((0, 0), 10, 0, 90, width=2), set()),
    (lambda t: t.sector((0, 0), 10, 0, 90), set()),
    (lambda t: t.sref("LEAF", (5, 5)), set()),
    (lambda t: t.sref("LEAF", (5, 5), magnification=2, angle=90, reflect=True), set()),
    (lambda t: t.aref("LEAF", (0, 0), 2, 3, spacing=(10, 20)), set()),
    (lambda t: t.aref("LEAF", (0, 0), 2, 3, spacing=(10, 20), angle=180), set()),
    (lambda t: t.text("pin", (1, 2)), set()),
    (lambda t: t.text("pin", (1, 2), angle=90, magnification=2.0), set()),
    (lambda t: t.box(0, 0, 10, 10), {"BOX", "BOXTYPE"}),
    (lambda t: t.node([(0, 0), (10, 10)]), {"NODE", "NODETYPE"}),
    (lambda t: t.boundary([(0, 0), (10, 0), (5, 5)], props={1: "net"}),
     {"PROPATTR", "PROPVALUE"}),
]


@pytest.mark.parametrize("call, unsupported", GDSPY_KINDS, ids=[
    "boundary", "rectangle", "polygon", "path", "circle", "arc", "sector", "sref", "sref-turned",
    "aref", "aref-turned", "text", "text-turned", "box", "node", "properties"])
def test_a_default_library_reads_in_gdspy_without_a_warning(tmp_path, call, unsupported):
    path = tmp_path / "default.gds"
    with quillon.Library(path, timestamp=STAMP) as lib:
        with lib.structure("LEAF") as leaf:
            leaf.boundary([(0, 0), (1, 0), (0, 1)])
        with lib.structure("TOP") as top:
            call(top)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        library = gdspy.GdsLibrary(infile=str(path))
    named = {re.match(r"\[GDSPY\] Record type (\w+) \(\w+\) is not supported", str(w.message))
             for w in caught}
    assert None not in named, [str(w.message) for w in caught]
    assert {m.group(1) for m in named} == unsupported
    top = library.cell_dict["TOP"]
    read = len(top.polygons) + len(top.paths) + len(top.references) + len(top.labels)
    assert read == 0 if unsupported & {"BOX", "NODE"} else read > 0


KLAYOUT_SHAPES = """
import pya
layout = pya.Layout()
layout.read(path)
for index in layout.layer_indexes():
    info = layout.get_info(index)
    for shape in layout.top_cell().shapes(index).each():
        print(info.layer, info.datatype, shape.to_s())
"""


def test_klayout_reads_back_boxes(write_py, tmp_path):
    # gdspy has no BOX element; KLayout reads it as a box on (layer, boxtype).
    path = tmp_path / "boxes.gds"
    path.write_bytes(write_py(lambda t: (
        t.box(-5, 7, 300, 400, layer=3, boxtype=4), t.box_wh(10, 10, 20, -5, layer=2),
        t.square(0, 0, 15, layer=1), t.node([(0, 0), (5, 5)], layer=6))))
    script = tmp_path / "shapes.py"
    script.write_text(KLAYOUT_SHAPES)
    result = subprocess.run(["klayout", "-b", "-r", str(script), "-rd", f"path={path}"],
                            capture_output=True, text=True,
                            env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    assert result.returncode == 0, result.stderr
    assert sorted(result.stdout.split("\n")[:-1]) == [
        "1 0 box (0,0;15,15)", "2 0 box (10,5;30,10)", "3 4 box (-5,7;300,400)"]


RECORD_WORD = re.compile(r"\b[A-Z][A-Z]+\b")


def _dump_record_names(dump, path):
    result = subprocess.run([str(dump), str(path)], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    names = set(_record_names_of_format())
    found = []
    for line in result.stdout.splitlines():
        words = [w for w in RECORD_WORD.findall(line) if w in names]
        if words:
            found.append(words[0])
    return found, result.stdout


def _record_names_of_format():
    from gds_records import RECORD_NAMES
    return RECORD_NAMES.values()


def test_quillon_dump_reads_every_element_kind(write_py, quillon_dump, tmp_path):
    def draw(top):
        for case in CASES:
            case[1](top)

    data = write_py(draw)
    path = tmp_path / "all.gds"
    path.write_bytes(data)
    found, text = _dump_record_names(quillon_dump, path)
    assert found == [r.name for r in read_records(data)]
    assert "(1000, 500)" in text and '"Hello"' in text and '"CELL"' in text and '"ARR"' in text


def test_numpy_points_write_the_same_file_as_sequences(write_py):
    square = [(0, 0), (100, 0), (100, 100), (0, 100)]
    array = np.array(square, dtype=np.int32)

    def draw_with(points_of):
        def draw(top):
            top.boundary(points_of(square), layer=1)
            top.path(points_of(square), width=5, layer=2)
            top.node(points_of(square[:2]), layer=3)
            top.aref("A", points_of(square[:3]), 2, 2)
        return draw

    reference = write_py(draw_with(lambda p: p))
    assert reference == write_py(draw_with(lambda p: np.array(p, dtype=np.int32)))
    assert reference == write_py(draw_with(lambda p: np.array(p, dtype=np.int64)))
    assert reference == write_py(draw_with(lambda p: np.asfortranarray(np.array(p,
                                                                                np.int32))))
    assert reference == write_py(draw_with(lambda p: iter(p)))
    assert reference == write_py(draw_with(lambda p: [list(q) for q in p]))
    assert array.tolist() == [list(p) for p in square]  # the input was not touched

    def draw_columns(top):
        xs = np.array([p[0] for p in square], dtype=np.int32)
        ys = [p[1] for p in square]
        top.boundary(xs=xs, ys=ys, layer=1)
        top.path(xs=xs, ys=np.array(ys), width=5, layer=2)
        top.node(xs=xs[:2], ys=ys[:2], layer=3)
        top.aref("A", square[:3], 2, 2)

    assert reference == write_py(draw_columns)


def test_numpy_integer_scalars_are_taken_like_ints(write_py):
    reference = write_py(lambda t: (t.box(1, 2, 3, 4, layer=5), t.sref("A", (6, 7)),
                                    t.circle((8, 9), 10, 11, layer=12)))
    i64, i32 = np.int64, np.int32
    assert reference == write_py(lambda t: (
        t.box(i64(1), i32(2), np.int16(3), np.uint8(4), layer=i64(5)),
        t.sref("A", (i64(6), i32(7))), t.circle((i32(8), i64(9)), i64(10), i32(11),
                                                layer=np.uint16(12))))


def test_a_path_of_any_length_draws_one_path_in_klayout(tmp_path):
    # More points than one call of the library takes (32767): the pieces,
    # merged by KLayout, XOR one pya.Path through them all.
    import json
    import shutil
    import quillon
    if shutil.which("klayout") is None:
        pytest.skip("KLayout is not installed")
    from conftest import ROOT
    n, width = 33000, 40
    # Turns of 45 degrees, where an extended or round end at a cut would
    # stick out past the joint.
    zigzag = [(0, 0)]
    for i in range(1, n):
        x, y = zigzag[-1]
        zigzag.append((x + 100, y) if i % 2 else (x + 71, y + 71))
    gds, cases = tmp_path / "long.gds", []
    with quillon.Library(gds) as lib:
        for pathtype in (1, 2):  # round and extended ends: the cuts that could show
            with lib.structure(f"t{pathtype}") as cell:
                cell.path(zigzag, width=width, layer=1, pathtype=pathtype)
            extension = width // 2 if pathtype in (1, 2) else 0
            cases.append({"cell": f"t{pathtype}", "kind": "path", "points": zigzag,
                          "width": width, "bgn_ext": extension, "end_ext": extension,
                          "round": pathtype == 1, "tolerance": 2 if pathtype == 1 else 1})
    (tmp_path / "cases.json").write_text(json.dumps(cases))
    out = tmp_path / "xor.json"
    subprocess.run(["klayout", "-b", "-r", str(ROOT / "tests" / "geometry" / "klayout_xor.py"),
                    "-rd", f"input={gds}", "-rd", f"cases={tmp_path / 'cases.json'}",
                    "-rd", f"output={out}"], check=True, capture_output=True,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    for cell, result in json.loads(out.read_text()).items():
        assert result["elements"] > n // 200 and result["largest"] <= 200, (cell, result)
        assert result["wider_than_one_unit"] == 0, (cell, result)
