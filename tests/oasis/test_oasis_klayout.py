"""The same calls written as GDSII and as OASIS, through the flat API and the
handle API, read back by KLayout: the same cells, every layer XOR 0
flattened, the same texts, properties and placements. The OASIS file's END
carries its CRC32, checked here as well."""
import ctypes
import json
import os
import subprocess
import sys
import zlib

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
_int = ctypes.c_int
FORMAT_AUTO, FORMAT_GDSII, FORMAT_OASIS = 0, 1, 2


class Options(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint), ("libraryName", ctypes.c_char_p),
                ("timestamp", _int * 6), ("onError", ctypes.c_void_p),
                ("userData", ctypes.c_void_p), ("strict", _int), ("compression", _int),
                ("compact", _int), ("format", _int)]


def load():
    # The flat functions and the error handler of the geometry tests, with
    # the options struct this test fills.
    sys.path.insert(0, os.path.join(HERE, "..", "geometry"))
    import quillon_ctypes
    lib = quillon_ctypes.load()
    lib.quillon_open.argtypes = [ctypes.c_char_p, ctypes.c_double, ctypes.c_double,
                                 ctypes.POINTER(Options), ctypes.POINTER(_int)]
    return lib


LIB = load()


def pts(points):
    n = len(points)
    return (_int * n)(*[p[0] for p in points]), (_int * n)(*[p[1] for p in points]), n


class Flat:
    """The flat functions, one library at a time."""

    def __init__(self, path, fmt, compression=-1):
        LIB.GDS_SetFormat(fmt)
        LIB.GDS_BeginLib(path.encode(), 0.001, 1e-9)

    def __getattr__(self, name):
        fn = getattr(LIB, "GDS_" + name)
        return lambda *a: fn(*a)

    def close(self):
        LIB.GDS_EndLib()
        LIB.GDS_SetFormat(FORMAT_GDSII)


class Handle:
    """A writer of the handle API; names as the flat functions'."""
    NAMES = {"BeginStructure": "begin_structure", "EndStructure": "end_structure",
             "Box": "box", "BoxWH": "box_wh", "Square": "square", "Boundary": "boundary",
             "Polygon": "polygon", "Path": "path", "Circle": "circle", "Sector": "sector",
             "Arc": "arc", "Sref": "sref", "Aref": "aref", "Text": "text", "Node": "node",
             "Property": "property"}

    def __init__(self, path, fmt, compression=-1):
        options = Options()
        LIB.quillon_default_options(ctypes.byref(options))
        options.format = fmt
        options.compression = compression
        options.strict = 0
        options.timestamp[:] = [2026, 1, 2, 3, 4, 5]
        status = _int()
        self.writer = ctypes.c_void_p(LIB.quillon_open(path.encode(), 0.001, 1e-9,
                                                       ctypes.byref(options),
                                                       ctypes.byref(status)))
        assert self.writer, status.value

    def __getattr__(self, name):
        fn = getattr(LIB, "quillon_" + self.NAMES[name])
        return lambda *a: fn(self.writer, *a)

    def close(self):
        LIB.quillon_close(self.writer)


def draw(w):
    """Every element kind and option; the same calls for every writer."""
    d = ctypes.c_double
    w.BeginStructure(b"LEAF")
    w.Box(0, 0, 100, 50, 1, 0, 0, 0)
    w.Property(7, b"leaf box")
    w.Square(200, 0, 40, 1, 3, 0, 0)
    w.EndStructure()

    # More classes of equal boxes than the window keeps, and more boxes.
    w.BeginStructure(b"MANY")
    for i in range(6000):
        w.BoxWH(i * 7 % 1000, i // 1000 * 50 + i % 3, 10 + i % 1100, 20, 7, 0, 0, 0)
    for i in range(5000):
        w.BoxWH(i % 100 * 30, 5000 + i // 100 * 30 + (i * 7919) % 5, 10, 10, 8, 0, 0, 0)
    # Many distinct strings, each by its reference number.
    for i in range(16500):
        w.Text(i, -i, b"T%d" % i, 9, 0, 0, 0, 0, 0, d(1.0), d(0.0), 0, 0)
    w.EndStructure()

    w.BeginStructure(b"TOP")
    # A grid of equal boxes (a repetition), boxes with corners in any order.
    for row in range(5):
        for col in range(7):
            w.BoxWH(1000 + 300 * col, 2000 + 250 * row, 120, 80, 2, 0, 0, 0)
    for i in range(9):
        w.Box(5000 + 37 * i * i, 300, 4990 + 37 * i * i, 290 - 5 * i, 2, 1, 0, 0)
    # Polygons: Manhattan, octangular, any angle, one large one.
    for poly in ([(0, 0), (400, 0), (400, 100), (200, 100), (200, 300), (0, 300)],
                 [(0, 0), (100, 0), (200, 100), (200, 200), (0, 200)],
                 [(10, 10), (370, 40), (120, 290)]):
        xs, ys, n = pts([(x - 3000, y - 3000) for x, y in poly])
        w.Boundary(xs, ys, n, 3, 0, 0, 0)
    big = [(round(20000 + 9000 * __import__("math").cos(k / 1000 * 6.283185307)),
            round(20000 + 7000 * __import__("math").sin(k / 1000 * 6.283185307)))
           for k in range(1000)]
    xs, ys, n = pts(big)
    w.Property(3, b"big")
    w.Polygon(xs, ys, n, 3, 1, 0, 0)
    w.Circle(-8000, 0, 900, 64, 3, 2, 0, 0)
    w.Sector(-8000, 3000, 900, d(10.0), d(200.0), 40, 3, 2, 0, 0)
    # Paths: flush, half-width, a long one, round ends, arcs.
    for path_type in (0, 2, 4):
        xs, ys, n = pts([(0, 40000 + 500 * path_type), (3000, 40000 + 500 * path_type),
                         (3000, 42000 + 500 * path_type), (5000, 44000)])
        w.Path(xs, ys, n, 40, 4, path_type, path_type, 0, 0)
    xs, ys, n = pts([(60000 + 37 * i, 30000 + (i % 7) * 53) for i in range(450)])
    w.Property(5, b"long path")
    w.Path(xs, ys, n, 20, 4, 1, 2, 0, 0)
    w.Arc(-20000, -20000, 3000, d(0.0), d(135.0), 60, 30, 4, 5, 0, 0, 0)
    # References: plain, mirrored, rotated, magnified, arrays.
    w.Sref(b"LEAF", 100, 100, 0, d(1.0), d(0.0), 0, 0)
    w.Sref(b"LEAF", 500, 100, 0x8000, d(1.0), d(90.0), 0, 0)
    w.Property(9, b"turned")
    w.Sref(b"LEAF", 900, 100, 0, d(2.0), d(30.0), 0, 0)
    w.Sref(b"LEAF", 1300, 100, 0x8000, d(0.5), d(-270.0), 0, 0)
    for k in range(6):
        w.Sref(b"LEAF", -5000 + 400 * k, -9000, 0, d(1.0), d(0.0), 0, 0)
    for lattice in ([(0, 90000), (3000, 90000), (0, 92000)],
                    [(0, 95000), (3000, 96200), (-1000, 98000)],
                    [(0, 99000), (-2000, 99000), (0, 99000)]):
        xs, ys, n = pts(lattice)
        w.Aref(b"LEAF", xs, ys, 6 if lattice[1][0] == 3000 else 4, 4 if lattice[2][1] > lattice[0][1] else 1,
               0, d(1.0), d(0.0), 0, 0)
    # Texts: shared strings, layers and types, a property.
    for i, text in enumerate([b"VDD", b"GND", b"VDD", b"a longer label 1"]):
        w.Text(100 * i, -500, text, 6, i % 3, 0, 0, 0, 0, d(1.0), d(0.0), 0, 0)
    w.Property(1, b"pin")
    w.Text(0, -900, b"CLK", 6, 1, 0, 0, 0, 0, d(1.0), d(0.0), 0, 0)
    w.EndStructure()


def write(tmp_path, api, name, fmt, compression=-1):
    path = str(tmp_path / name)
    w = api(path, fmt, compression)
    draw(w)
    w.close()
    return path


def compare(tmp_path, gds, oas, tolerance=0):
    output = str(tmp_path / "compare.json")
    subprocess.run(["klayout", "-b", "-r", os.path.join(HERE, "klayout_compare.py"),
                    "-rd", "gds=" + gds, "-rd", "oas=" + oas, "-rd", "output=" + output,
                    "-rd", "tolerance=%d" % tolerance],
                   check=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    with open(output) as file:
        return json.load(file)


def check_validation(path, compressed):
    data = open(path, "rb").read()
    # The magic, START with version "1.0", 1000 steps per micron (a whole
    # number: 00 E8 07), the table offsets in END; then a CBLOCK (34) or
    # the first CELL (13).
    start = b"%SEMI-OASIS\r\n\x01\x03\x31\x2e\x30\x00\xe8\x07\x01"
    assert data.startswith(start)
    assert data[len(start)] == (34 if compressed else 13)
    end = data[-256:]
    assert end[0] == 2 and end[-5] == 1  # END, validation scheme CRC32
    assert int.from_bytes(data[-4:], "little") == zlib.crc32(data[:-4])


@pytest.mark.parametrize("api, compression", [(Flat, -1), (Handle, -1), (Handle, 0),
                                              (Handle, 9)])
def test_oasis_reads_as_the_gdsii_of_the_same_calls(tmp_path, api, compression):
    LIB.GDS_SetTimestamp(2026, 1, 2, 3, 4, 5)
    gds = write(tmp_path, api, "same.gds", FORMAT_AUTO)
    # The flat API by its setting, the handle by the name's suffix.
    oas = write(tmp_path, api, "same.OAS", FORMAT_OASIS if api is Flat else FORMAT_AUTO,
                compression)
    check_validation(oas, compression != 0)
    result = compare(tmp_path, gds, oas, tolerance=3)
    assert result["dbu"][0] == pytest.approx(result["dbu"][1])
    assert result["cells"][0] == result["cells"][1] == ["LEAF", "MANY", "TOP"]
    differences = result["differences"]
    # Round ends: KLayout's own polygons for the GDSII path's caps, true
    # circles in OASIS; nothing wider than the tolerance differs.
    for cell, diff in differences.items():
        for key, (area, wide, _) in list((k, v) for k, v in diff.items() if k.startswith("xor")):
            assert key == "xor 4/1" and wide == 0, (cell, key, area, wide)
            del diff[key]
    assert all(not d for d in differences.values()), differences


def test_flat_api_writes_gdsii_whatever_the_name_and_refuses_what_oasis_cannot_hold(tmp_path):
    path = str(tmp_path / "plain.oas")
    w = Flat(path, FORMAT_GDSII)
    w.BeginStructure(b"A")
    w.EndStructure()
    w.close()
    assert open(path, "rb").read(4) == b"\x00\x06\x00\x02"  # HEADER
    del LIB.messages[:]
    w = Flat(path, FORMAT_OASIS)
    w.BeginStructure(b"A")
    xs, ys, n = pts([(0, 0), (10, 0)])
    w.Node(xs, ys, n, 1, 0, 0, 0)
    w.Path(xs, ys, n, 5, 1, 0, 0, 0, 0)
    w.EndStructure()
    w.close()
    assert LIB.messages == ["Error: NODE has no OASIS form.",
                            "Error: Odd path width has no OASIS form."]
    assert LIB.GDS_SetFormat(3) == -3 and LIB.messages[-1] == "Error: Format must lie in 0 to 2."


def test_python_library_chooses_oasis_by_suffix_or_by_format(tmp_path):
    import datetime
    sys.path.insert(0, os.path.join(HERE, "..", "..", "python"))
    import quillon

    def build(path, **keywords):
        with quillon.Library(path, unit=1e-6, precision=1e-9,
                             timestamp=datetime.datetime(2026, 1, 2), **keywords) as lib:
            with lib.structure("PAD") as pad:
                pad.rectangle((0, 0), (60, 60), layer=7, props={3: "pad"})
            with lib.structure("TOP") as top:
                top.boundary([(0, 0), (5, 0), (2.5, 4)], layer=(1, 0))
                top.path([(0, -1), (90, -1)], width=0.5, layer=5, pathtype=2)
                top.circle((20, 20), 8, 96, layer=20)
                top.aref(pad, (0, 10), columns=4, rows=3, spacing=(90, 70))
                top.text("TOP", (0, -3), layer=63)
        return path

    gds = build(str(tmp_path / "py.oas"), format="gdsii")
    oas = build(str(tmp_path / "py2.oas"))
    assert open(gds, "rb").read(2) == b"\x00\x06"
    check_validation(oas, True)
    check_validation(build(str(tmp_path / "py.gds"), format="oasis", compression=False), False)
    result = compare(tmp_path, gds, oas)
    assert result["cells"][0] == result["cells"][1] == ["PAD", "TOP"]
    assert result["differences"] == {}
    with pytest.raises(ValueError):
        quillon.Library(str(tmp_path / "x.oas"), format="gds")
