# Strict mode against the readers: each case below sets one field of one
# element to a boundary value and writes it through the handle API, once in
# strict mode and once lenient (written as passed). When strict mode takes
# the value, KLayout, gdspy and libGDSII must read the file without an error
# or a warning and see the value as passed; when strict mode refuses it, at
# least one of them must fail on, warn about or misread the lenient file.
import ctypes
import json
import math
import os
import pathlib
import re
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "interop"))
import read_gdspy  # noqa: E402
import read_libgdsii  # noqa: E402
BIG, SMALL = 2**31 - 1, -2**31
I, D = ctypes.c_int, ctypes.c_double

# kind: the element's fields and their values before a case changes one.
BASE = {
    "box": dict(x1=0, y1=0, x2=100, y2=50, layer=1, datatype=0, elflags=0, plex=0),
    "boundary": dict(xs=[0, 100, 0], ys=[0, 0, 100], layer=1, datatype=0, elflags=0, plex=0),
    "path": dict(xs=[0, 100, 100], ys=[0, 0, 100], width=10, layer=1, datatype=0, pathtype=0,
                 elflags=0, plex=0),
    "node": dict(xs=[0, 1], ys=[0, 1], layer=1, datatype=0, elflags=0, plex=0),
    "sref": dict(name="A", x=10, y=20, strans=0, mag=1.0, angle=0.0, elflags=0, plex=0),
    "aref": dict(name="A", x=10, y=20, columns=2, rows=3, strans=0, mag=1.0, angle=0.0,
                 elflags=0, plex=0),
    "text": dict(x=5, y=6, string="hi", layer=1, datatype=0, presentation=0, pathtype=0,
                 width=0, strans=0, mag=1.0, angle=0.0, elflags=0, plex=0),
    "property": dict(attr=1, value="v"),
    "units": dict(units=[0.001, 1e-9]),
}
N16 = [0, 32767, 32768, 65535, -1]  # the numbers of a 16-bit field
CASES = (
    [(kind, field, v) for kind in ("box", "boundary", "path", "node", "text")
     for field in ("layer", "datatype") for v in N16 if kind != "text" or field == "layer"]
    + [("text", "datatype", v) for v in (0, 255, -1)]
    + [(kind, field, v) for kind in ("box", "path", "sref", "text")
       for field in ("elflags", "plex") for v in (65535, -1, BIG)]
    + [("box", "x1", SMALL), ("box", "x2", BIG), ("boundary", "xs", [SMALL, BIG, 0]),
       ("boundary", "xs", [0, 0, 0]), ("path", "xs", [BIG, SMALL, 0]),
       ("sref", "x", SMALL), ("aref", "x", BIG), ("text", "x", SMALL)]
    + [("path", "width", v) for v in (0, -10, BIG)] + [("text", "width", v) for v in (0, -5, BIG)]
    + [("path", "pathtype", v) for v in (1, 2, 3, 4, 65535)]
    + [(kind, "mag", v) for kind in ("sref", "aref", "text")
       for v in (0.0, -2.0, 1e-80, 1e-70, 7e75, 1e80, math.nan, math.inf)]
    + [(kind, "angle", v) for kind in ("sref", "aref", "text")
       for v in (-360.0, -90.0, 360.0, 400.0, 1e20, 1e-80, math.nan)]
    + [("text", "angle", 45.0)]
    + [(kind, "strans", v) for kind in ("sref", "aref", "text") for v in (0x8000, 1, 2, 4, 65535)]
    + [("aref", field, v) for field in ("columns", "rows") for v in (0, 1, 32767, 32768)]
    + [("text", "presentation", v) for v in (0x3A, 0x40, 3, 12, 65535)]
    + [("text", "string", v) for v in ("", " ", "x" * 512)]
    + [("sref", "name", v) for v in ("a b", "N" * 33, "N" * 1000)]
    + [("property", "attr", v) for v in (32767, 32768, 65535)]
    + [("property", "value", v) for v in ("", "w" * 1000)]
    + [("units", "units", v) for v in ([1e-300, 1e-9], [1e300, 1e-9], [0.001, 1e-80],
                                        [1e70, 1e-9])]
)
# What gdspy and libGDSII lack altogether: BOX and NODE elements (libGDSII's
# element model stops at them), and in gdspy the records of these fields,
# which it drops with a warning whenever they are written.
LACKING = {"box": "BOX", "node": "NODE", "elflags": "ELFLAGS", "plex": "PLEX",
           "attr": "PROP", "value": "PROP"}
# Known and kept: libGDSII keeps the first 32 characters of a name or text
# (the classic limit of names), where KLayout and gdspy keep them all;
# refusing longer names would refuse what most layouts hold.
KEPT = re.compile(r"libGDSII read (name|string)=")


class Options(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint), ("libraryName", ctypes.c_char_p),
                ("timestamp", I * 6), ("onError", ctypes.c_void_p),
                ("userData", ctypes.c_void_p), ("strict", I), ("compression", I),
                ("compact", I)]


def points(values):
    return (I * len(values))(*values)


def write(lib, path, kind, field, value, strict):
    """Writes the case's element into TOP, next to a cell for references;
    answers the element call's status."""
    a = dict(BASE[kind], **{field: value})
    options = Options()
    lib.quillon_default_options(ctypes.byref(options))
    options.strict = strict
    units = a.get("units", [0.001, 1e-9])
    w = lib.quillon_open(str(path).encode(), D(units[0]), D(units[1]), ctypes.byref(options),
                         None)
    name = a.get("name", "A").encode()
    lib.quillon_begin_structure(w, name)
    lib.quillon_boundary(w, points([0, 1, 0]), points([0, 0, 1]), 3, 1, 0, 0, 0)
    lib.quillon_end_structure(w)
    lib.quillon_begin_structure(w, b"TOP")
    head = [a.get(k, 0) for k in ("layer", "datatype", "elflags", "plex")]
    if kind == "box":
        status = lib.quillon_box(w, a["x1"], a["y1"], a["x2"], a["y2"], *head)
    elif kind in ("boundary", "node"):
        call = lib.quillon_boundary if kind == "boundary" else lib.quillon_node
        status = call(w, points(a["xs"]), points(a["ys"]), len(a["xs"]), *head)
    elif kind == "path":
        status = lib.quillon_path(w, points(a["xs"]), points(a["ys"]), len(a["xs"]), a["width"],
                                  a["layer"], a["datatype"], a["pathtype"], a["elflags"], a["plex"])
    elif kind in ("sref", "aref"):
        trans = (a["strans"], D(a["mag"]), D(a["angle"]), a["elflags"], a["plex"])
        if kind == "sref":
            status = lib.quillon_sref(w, name, a["x"], a["y"], *trans)
        else:
            x, y, c, r = a["x"], a["y"], a["columns"], a["rows"]
            xs = points([x, (x + 100 * c) & 0xFFFFFFFF, x])
            status = lib.quillon_aref(w, name, xs, points([y, y, y + 200 * r]), c, r, *trans)
    elif kind == "text":
        status = lib.quillon_text(w, a["x"], a["y"], a["string"].encode(), a["layer"],
                                  a["datatype"], a["presentation"], a["pathtype"], a["width"],
                                  a["strans"], D(a["mag"]), D(a["angle"]), a["elflags"],
                                  a["plex"])
    else:
        status = 0
        if kind == "property":
            status = lib.quillon_property(w, a["attr"], a["value"].encode())
        lib.quillon_boundary(w, points([0, 100, 0]), points([0, 0, 100]), 3, 1, 0, 0, 0)
    lib.quillon_end_structure(w)
    lib.quillon_close(w)
    return status if w else -2


def expected(kind, field, value):
    """What a reader should see of the case's field."""
    a = dict(BASE[kind], **{field: value})
    seen = {k: a[k] for k in ("mag", "string", "name", "units", "columns", "rows", "elflags")
            if k in a}
    # The 16-bit numbers as written: the low 16 bits, unsigned.
    seen.update({k: a[k] & 0xFFFF for k in ("layer", "datatype", "attr") if k in a})
    if kind in ("sref", "aref", "text"):
        seen.update(angle=a["angle"], x=a["x"])
    if "width" in a:
        seen["width"] = a["width"]
    return seen


def gdspy_view(path):
    """gdspy's view of TOP's element (read_gdspy.py of the interop tests)."""
    try:
        whole = read_gdspy.read(str(path))
    except Exception as error:  # gdspy refuses the file
        return {"error": repr(error)}, []
    top = whole["cells"]["TOP"]
    view = {"units": [whole["precision"]]}
    for e in top["polygons"] + top["paths"]:
        view.update(layer=e["layer"], datatype=e["datatype"], width=e.get("width"))
    for e in top["labels"]:
        view.update(layer=e["layer"], datatype=e["texttype"], string=e["string"],
                    angle=e["rotation"], x=e["x"], mag=e["magnification"])
    for e in top["references"]:
        view.update(name=e["name"], angle=e["rotation"], x=e["x"], mag=e["magnification"],
                    columns=e.get("columns"), rows=e.get("rows"))
    return {k: v for k, v in view.items() if v is not None or k == "string"}, whole["warnings"]


LIBGDSII = {"LAYER": "layer", "DATATYPE": "datatype", "TEXTTYPE": "datatype", "WIDTH": "width",
            "BOXTYPE": "datatype", "NODETYPE": "datatype", "MAG": "mag", "ANGLE": "angle",
            "STRING": "string", "SNAME": "name", "PROPATTR": "attr", "ELFLAGS": "elflags"}


def libgdsii_view(path):
    """The records of TOP's element as libGDSII decodes them."""
    whole = read_libgdsii.read(str(path))
    view = {"units": whole["units"]}
    for name, value in whole["structures"].get("TOP", [{}])[-1].items():
        if name in LIBGDSII:
            value = int(value) if name == "PROPATTR" else value
            view[LIBGDSII[name]] = value[0] if isinstance(value, list) else value
        elif name == "COLROW":
            view.update(columns=value[0], rows=value[1])
    if whole["returncode"] != 0:
        view["error"] = whole["messages"][-1]
    return view


def same(key, want, got):
    if key == "units":
        return all(math.isclose(w / 1e-6 if i else w, g / 1e-6 if i else g, rel_tol=1e-5)
                   for i, (w, g) in enumerate(zip(want[-len(got):], got)))
    if isinstance(want, float):
        if key == "angle":  # a reader may turn the angle into 0 to 360
            return math.isclose(math.remainder(want - float(got), 360.0), 0.0, abs_tol=1e-6)
        return math.isclose(want, float(got), rel_tol=1e-5)
    return want == got


def faults(kind, field, value, path, klayout_view, klayout_warnings):
    """Every way in which a reader failed on the file or misread the value."""
    want = expected(kind, field, value)
    found = []
    gdspy_, gdspy_warnings = gdspy_view(path)
    lacked = [LACKING[k] for k in (kind, field) if k in LACKING]
    for reader, view, warned in (
            ("KLayout", klayout_view, klayout_warnings),
            ("gdspy", gdspy_, [w for w in gdspy_warnings if not any(r in w for r in lacked)]),
            ("libGDSII", libgdsii_view(path), [])):
        if "error" in view and not (reader == "libGDSII" and kind in LACKING):
            found.append(f"{reader} refused: {view['error']}")
        found += [f"{reader} warned: {w}" for w in warned]
        found += [f"{reader} read {key}={view[key]!r}" for key in want
                  if key in view and key != "error" and not same(key, want[key], view[key])]
    return [f for f in found if not KEPT.match(f)]


@pytest.fixture(scope="module")
def sweep(tmp_path_factory):
    lib = ctypes.CDLL(os.environ["QUILLON_LIBRARY"])
    lib.quillon_open.restype = ctypes.c_void_p
    lib.quillon_open.argtypes = [ctypes.c_char_p, D, D, ctypes.c_void_p, ctypes.c_void_p]
    for name in ("box", "boundary", "path", "node", "sref", "aref", "text", "property",
                 "begin_structure", "end_structure", "close"):
        getattr(lib, "quillon_" + name).argtypes = None
    folder = tmp_path_factory.mktemp("sweep")
    results = []
    for i, (kind, field, value) in enumerate(CASES):
        strict = folder / f"strict{i}.gds"
        status = write(lib, strict, kind, field, value, 1)
        # A refused value is written as passed, for the readers to judge.
        path = strict if status == 0 else folder / f"lenient{i}.gds"
        if status != 0:
            write(lib, path, kind, field, value, 0)
        results.append((kind, field, value, status, path))
    files = folder / "files.json"
    files.write_text(json.dumps([str(r[4]) for r in results]))
    views = folder / "views.json"
    # KLayout writes its warnings to stdout, the script its marks to stderr:
    # one pipe keeps them in order.
    run = subprocess.run(["klayout", "-b", "-r", str(HERE / "read_klayout.py"), "-rd",
                          f"files={files}", "-rd", f"output={views}"], stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, errors="replace")
    assert run.returncode == 0, run.stdout
    warned, current = {}, None
    for line in run.stdout.splitlines():
        if line.startswith("@@"):
            current = line[2:]
        elif line.strip():
            warned.setdefault(current, []).append(line.strip())
    klayout = json.loads(views.read_text())
    return [(k, f, v, s, faults(k, f, v, p, klayout[str(p)], warned.get(str(p), [])))
            for k, f, v, s, p in results]


def test_strict_mode_takes_what_every_reader_reads_and_refuses_the_rest(sweep):
    wrong = []
    for kind, field, value, status, found in sweep:
        shown = value if not isinstance(value, str) or len(value) < 40 else f"{len(value)} chars"
        if status == 0 and found:
            wrong.append(f"strict took {kind}.{field}={shown!r}, but {found}")
        if status != 0 and not found:
            wrong.append(f"strict refused {kind}.{field}={shown!r} ({status}), "
                         "which every reader reads")
    assert not wrong, "\n".join(wrong)
