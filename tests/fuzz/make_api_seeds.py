#!/usr/bin/python3
"""Writes the seed and regression inputs of api_fuzzer (tests/fuzz/api_seeds/,
tests/fuzz/api_regressions/) in the fuzzer's input encoding: one byte naming
a row of its calls table, then that row's arguments as Input reads them.
Run it from anywhere after changing either; QUILLON_FUZZ_TRACE=1 api_fuzzer
FILE shows what an input calls."""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

ROWS = [
    "GDS_BeginLib", "GDS_EndLib", "GDS_BeginStructure", "GDS_EndStructure", "GDS_Boundary",
    "GDS_Path", "GDS_Node", "GDS_Box", "GDS_Curve", "GDS_Sref", "GDS_Aref", "GDS_Text",
    "SetErrorHandle", "GDS_SetTimestamp", "GDS_SetStrict", "GDS_Property", "GDS_Polygon",
    "GDS_SetPolygonLimit", "quillon_open", "quillon_close", "quillon_last_error",
    "quillon_begin_structure", "quillon_end_structure", "quillon_boundary", "quillon_path",
    "quillon_node", "quillon_box", "quillon_curve", "quillon_sref", "quillon_aref",
    "quillon_text", "quillon_property", "quillon_polygon", "quillon_set_polygon_limit",
]
INT_EDGES = [0, 1, -1, 2, 3, 199, 200, 201, 255, 256, 512, 513, 8190, 8191, 8192, 32767, 32768,
             65535, 65536, 65541, -32768, -65536, 2147483647, -2147483648, 100000, 50, 51, -5]
COUNT_EDGES = [199, 200, 201, 399, 400, 8190, 8191, 8192, 65540, 32767, 32768, 40000, 70000,
               100000]
REAL_EDGES = [0.001, 1e-9]  # indices 6 and 7 of the fuzzer's table
TEXT_LENGTHS = [511, 512, 513, 600, 65529, 65530, 65531, 65532, 32000, 70000]
LIMITS = [7, 8, 199, 4094, 4095, 9, 200]


def op(name, writer=None):
    """The row byte; a handle row then picks its writer among the open ones."""
    data = bytes([ROWS.index(name)])
    return data if writer is None else data + bytes([writer])


def repeat(times):
    """The previous call again, times more."""
    return bytes([0xF0, times])


def integer(v):
    if -64 <= v <= 191:
        return bytes([0, v + 64])
    if v in INT_EDGES:
        return bytes([96, INT_EDGES.index(v)])
    return bytes([192]) + struct.pack(">I", v & 0xFFFFFFFF)


def count(v):
    if -5 <= v <= 58:
        return bytes([0, v + 5])
    if v in COUNT_EDGES:
        return bytes([160, COUNT_EDGES.index(v)])
    return bytes([224]) + struct.pack(">I", v + 5)


def real(v):
    if v in REAL_EDGES:
        return bytes([128, 6 + REAL_EDGES.index(v)])
    if math.isfinite(v) and v * 2 == int(v * 2) and -64 <= v <= 63.5:
        return bytes([0, int(v * 2) + 128])
    return bytes([200]) + struct.pack(">d", v)


def text(s):
    """None, a string of at most 8 characters exactly, or (an int) a generated
    string of one of the long lengths."""
    if s is None:
        return bytes([0])
    if isinstance(s, int):
        return bytes([160, TEXT_LENGTHS.index(s), 0]) + b"LONGTEXT"
    assert len(s) <= 8 and b"\0" not in s.encode()
    return bytes([8, len(s), 0]) + s.encode()


def args(ints=(), reals=()):
    ints = list(ints) + [0] * (12 - len(ints))
    reals = list(reals) + [0.0] * (4 - len(reals))
    return b"".join(integer(v) for v in ints) + b"".join(real(v) for v in reals)


def points(scale=7, nulls=0):
    return integer(scale) + bytes([nulls])


CIRCLE, STAR, COMB = 0, 1, 2


def outline(shape, size=1 << 20, reverse=False, closed=False):
    """A simple outline of the fuzzer's shapes; size one of 4, 1000, 2**20, 2**29."""
    kind = 64 + 4 * ((shape + 2) % 3) + (1 if reverse else 0) + (2 if closed else 0)
    return bytes([kind, [4, 1000, 1 << 20, 1 << 29].index(size)]) + integer(0) + integer(0) + b"\0"


def begin_lib(gz=False, user=0.001, meters=1e-9, where=None):
    if where is None:
        where = 224 if gz else 100
    return op("GDS_BeginLib") + bytes([where]) + real(user) + real(meters)


def structure(name="TOP", writer=None):
    row = "GDS_BeginStructure" if writer is None else "quillon_begin_structure"
    return op(row, writer) + bytes([64]) + text(name)


def end_structure(writer=None):
    return op("GDS_EndStructure" if writer is None else "quillon_end_structure", writer)


def box(writer=None, layer=1, kind=0):
    row = "GDS_Box" if writer is None else "quillon_box"
    return op(row, writer) + args([0, 0, 100, 50, layer, 0, 0, 0]) + bytes([kind])


def boundary(n, writer=None, layer=2):
    row = "GDS_Boundary" if writer is None else "quillon_boundary"
    return op(row, writer) + args([layer, 0, 0, 0]) + count(n) + points()


def path(n, path_type=0, width=10, writer=None):
    row = "GDS_Path" if writer is None else "quillon_path"
    return op(row, writer) + args([width, 3, 0, path_type, 0, 0]) + count(n) + points(scale=5)


def polygon(n, shape, size=1 << 20, writer=None, layer=4, **kw):
    row = "GDS_Polygon" if writer is None else "quillon_polygon"
    return op(row, writer) + args([layer, 0, 0, 0]) + count(n) + outline(shape, size, **kw)


def polygon_limit(limit, writer=None):
    row = "GDS_SetPolygonLimit" if writer is None else "quillon_set_polygon_limit"
    return op(row, writer) + bytes([LIMITS.index(limit)])


def prop(attribute, value, writer=None):
    row = "GDS_Property" if writer is None else "quillon_property"
    return op(row, writer) + integer(attribute) + text(value)


def handler(on=True, reentering=False):
    return op("SetErrorHandle") + bytes([(1 if on else 0) | (2 if reentering else 0)])


def strict(on=True):
    return op("GDS_SetStrict") + bytes([1 if on else 0])


def every_element(writer=None):
    """One element of each kind, all arguments valid."""
    h = "quillon_" if writer is not None else "GDS_"
    return b"".join([
        box(writer),
        boundary(5, writer),
        path(3, writer=writer),
        op(h + ("node" if writer is not None else "Node"), writer) + args([5, 0, 0, 0]) + count(4)
        + points(),
        op(h + ("curve" if writer is not None else "Curve"), writer) + args([0, 0, 1000, 6, 0, 0, 0])
        + count(32) + bytes([0]),
        op(h + ("sref" if writer is not None else "Sref"), writer) + args([10, 20, 0, 0, 0], [1.0, 90.0])
        + text("CELL"),
        op(h + ("aref" if writer is not None else "Aref"), writer) + args([2, 3, 0, 0, 0], [1.0, 0.0])
        + text("CELL") + points(scale=100),
        op(h + ("text" if writer is not None else "Text"), writer)
        + args([5, 5, 7, 0, 0, 0, 0, 0, 0, 0], [1.0, 0.0]) + text("label"),
    ])


# The slot byte of quillon_open, then the file byte: 0 a writer's .gds, 112
# its .gds.gz, 176 its .GDS.GZ, 192 /dev/full, 208 a missing directory, 224
# NULL, 248 a name too long.
PLAIN, GZ, UPPER_GZ, FULL_DISK, NO_DIR, NULL_NAME, LONG_NAME = 0, 112, 176, 192, 208, 224, 248


def open_writer(slot, where=PLAIN, units=None, options=True, compression=None, strict_mode=1,
                callback=True, reenter=False, library_name=False, stamp=None, size=None,
                status=True):
    data = op("quillon_open") + bytes([slot, where])
    data += bytes([0]) if units is None else bytes([224]) + real(units[0]) + real(units[1])
    if not options:
        return data + bytes([0, 0 if status else 255])
    data += bytes([255])
    # compression: None for the default (-1), else -2 to 10
    data += bytes([0]) if compression is None else bytes([184 + compression])
    data += bytes([0 if strict_mode == 0 else 100])
    data += bytes([(1 if callback else 0) | (2 if reenter else 0)])
    data += bytes([0]) if library_name is False else bytes([160]) + text(library_name)
    # stamp: None for the local clock, else an index of the fuzzer's table
    data += bytes([0]) if stamp is None else bytes([132 + stamp])
    data += bytes([0]) if size is None else bytes([224 + size])
    return data + bytes([0 if status else 255])


def close(slot):
    return op("quillon_close") + bytes([16 + slot])


def check_encoding():
    # A compression byte b of 128 or more is the level b % 13 - 2; a stamp
    # byte b from 128 to 223 is entry b % 12 of the table.
    for level in range(-2, 11):
        assert 128 <= 184 + level < 256 and (184 + level) % 13 - 2 == level
    for stamp in range(12):
        assert 128 <= 132 + stamp < 224 and (132 + stamp) % 12 == stamp


SEEDS = {
    # The flat functions, every element kind, nothing reported: a strict file.
    "clean-every-kind": begin_lib() + structure("CELL") + box() + end_structure()
    + structure() + every_element() + end_structure() + op("GDS_EndLib"),
    # A boundary of 8190 vertices (too many) with the handler: written whole.
    "big-boundaries-with-handler": handler() + begin_lib() + structure() + boundary(8190)
    + boundary(8190) + end_structure() + op("GDS_EndLib"),
    # A file on a full disk: reported at the end.
    "full-disk": handler() + begin_lib(where=8) + structure() + box() + repeat(255)
    + end_structure() + op("GDS_EndLib"),
    # Texts of 70000 characters, repeated, with the handler.
    "long-texts-repeated": handler() + begin_lib() + structure() + op("GDS_Text")
    + args([0, 0, 1, 0, 0, 0, 0, 0, 0, 0], [1.0, 0.0]) + text(70000) + repeat(20)
    + end_structure() + op("GDS_EndLib"),
    # Calls out of order with the handler: elements and ends before any library,
    # a second library while one runs, a structure inside a structure.
    "out-of-order": handler() + box() + op("GDS_EndLib") + end_structure() + begin_lib()
    + begin_lib() + box() + structure("A") + structure("B") + structure("A") + box()
    + end_structure() + end_structure() + op("GDS_EndLib") + op("GDS_EndLib"),
    # Boxes across the buffer's end many times.
    "repeated-boxes": begin_lib() + structure() + box() + repeat(255) + repeat(255) + repeat(255)
    + end_structure() + op("GDS_EndLib"),
    # Strict mode: bad calls refused whole, first without a handler (thrown),
    # then with a handler that calls the library (refused); GDS_EndLib closes
    # the structure left open. The file is checked strictly.
    "strict-mode": strict() + begin_lib() + box() + structure() + box(layer=70000)
    + boundary(300) + handler(reentering=True) + box(layer=-1) + prop(0, "x")
    + op("GDS_Sref") + args([0, 0, 0, 0, 0], [float("nan"), 0.0]) + text("C") + box()
    + op("GDS_EndLib"),
    # Properties on the flat functions: on a box, on every piece of a split
    # path and a fractured polygon, values NULL and too long, attribute 0,
    # and left over at the structure's and the library's end; strict, so that
# the file is checked strictly after the refusals.
    "properties": strict() + handler() + begin_lib() + structure() + prop(1, "net") + prop(65535, "")
    + box() + prop(7, "piece") + path(400, path_type=2) + prop(9, "polygon")
    + polygon(1000, STAR) + prop(0, "zero") + prop(65536, "big") + prop(3, None)
    + prop(4, 65531) + prop(5, 65530) + box() + prop(6, "left") + end_structure()
    + structure("B") + prop(8, "end") + op("GDS_EndLib"),
    # Polygons of up to 100,000 vertices at limits 199, 4094 and 8, simple ones
    # and one that crosses itself; strict, so that the refused limit 7 leaves
# the file checked strictly.
    "big-polygons": strict() + begin_lib() + structure() + polygon(100000, CIRCLE)
    + polygon_limit(4094) + polygon(40000, STAR, reverse=True) + polygon(4094, CIRCLE, closed=True)
    + polygon_limit(8) + polygon(1002, COMB, size=1000) + polygon_limit(7)
    + op("GDS_Polygon") + args([1, 0, 0, 0]) + count(300) + bytes([0]) + points()
    + end_structure() + op("GDS_EndLib"),
    # Two handle writers at once, a plain and a gzip file, strict with a
    # callback, every element kind, properties and polygons on each.
    "handle-two-writers": open_writer(0, PLAIN) + open_writer(1, GZ, callback=False)
    + structure("TOP", 0) + structure("TOP", 1) + every_element(0) + prop(1, "a", 0)
    + prop(2, "b", 1) + polygon(500, COMB, size=1000, writer=1)
    + polygon_limit(4094, 0) + polygon(20000, CIRCLE, writer=0) + every_element(1)
    + end_structure(0) + end_structure(1) + close(0) + close(1),
    # quillon_open's options at their edges: a fixed time stamp, LIBNAME set,
    # an older caller's options struct (its strict and compression fields, or
    # its callback, left out by size), no options, the status pointer NULL;
    # writers it must refuse (missing directory, NULL name, bad units, a
    # compression level out of range, a LIBNAME too long, a time out of
    # range); a writer on a full disk; quillon_close(NULL).
    "handle-open-options": open_writer(0, PLAIN, stamp=1, library_name="LIB")
    + open_writer(1, UPPER_GZ, stamp=2, size=5, strict_mode=0, compression=0, status=False)
    + open_writer(2, PLAIN, options=False)
    + structure("A", 0) + structure("A", 1) + structure("A", 2) + box(0) + box(1) + box(2)
    + close(0) + close(1) + close(2)
    + open_writer(0, NO_DIR) + open_writer(0, NO_DIR, size=3) + open_writer(0, NULL_NAME) + open_writer(0, units=(float("nan"), 1e-9))
    + open_writer(0, units=(0.001, 0.0)) + open_writer(0, units=(-1.0, 1e-9))
    + open_writer(0, compression=10) + open_writer(0, library_name=65531) + open_writer(0, stamp=5)
    + open_writer(0, LONG_NAME) + open_writer(1, FULL_DISK) + structure("F", 0) + box(0)
    + repeat(255) + close(1) + op("quillon_close") + bytes([0]) + op("quillon_last_error"),
    # gzip both ways: the flat functions by the name, a handle forced to level
    # 9 on a plain name, level 0 on a .gz name, level 1 by the name.
    "gzip": begin_lib(gz=True) + structure() + every_element() + end_structure()
    + open_writer(0, PLAIN, compression=9) + open_writer(1, GZ, compression=0)
    + open_writer(2, GZ) + structure("G", 0) + structure("G", 1) + structure("G", 2)
    + box(0) + repeat(200) + box(1) + box(2) + repeat(255) + polygon(10000, STAR, writer=2)
    + op("GDS_EndLib"),
    # Non-strict handle writers: bad calls carry on as with the flat handler;
    # a callback that calls its writer back (refused); close with the
    # structure still open.
    "handle-not-strict": open_writer(0, PLAIN, strict_mode=0, reenter=True)
    + open_writer(1, GZ, strict_mode=0, callback=False) + box(0) + box(1) + structure("S", 0)
    + structure("S", 0) + structure("S", 1) + boundary(300, 0) + box(1, layer=70000)
    + prop(0, "x", 0) + prop(1, "kept", 1) + path(500, path_type=4, writer=1),
}

REGRESSIONS = {
    # GDS_EndLib with a structure open leaves it open (the handler returns):
    # the next library ends a structure of its own without having begun one.
    "structure-left-open-by-endlib": handler() + begin_lib() + structure() + op("GDS_EndLib")
    + begin_lib() + end_structure() + box() + op("GDS_EndLib"),
    # Many boundaries of 8190 vertices: within the time limit.
    "timeout-many-large-boundaries": handler() + begin_lib() + structure() + boundary(8190)
    + repeat(255) + end_structure() + op("GDS_EndLib"),
    # A path of 400 points and type 2 is split into pieces of type 4 with
    # BGNEXTN and ENDEXTN, which the file check has to know.
    "split-path-with-extensions": begin_lib() + structure() + path(400, path_type=2)
    + end_structure() + op("GDS_EndLib"),
    # Fracturing cut a ring whose median vertex lay on its extent's edge (more
    # than half its vertices on the previous cut's line) one unit at a time:
    # a simple star of 3000 vertices at the default limit, and 11 vertices
    # that cross themselves at limit 8, each ran for billions of cuts.
    "polygon-star-cut-one-unit-at-a-time": begin_lib() + structure()
    + polygon(3000, STAR) + end_structure() + op("GDS_EndLib"),
    "polygon-crossing-itself-cut-one-unit-at-a-time": begin_lib() + structure()
    + polygon_limit(8) + op("GDS_Polygon") + args([1, 0, 0, 0]) + count(11) + bytes([0])
    + points() + end_structure() + op("GDS_EndLib"),
}


def main():
    check_encoding()
    for folder, inputs in (("api_seeds", SEEDS), ("api_regressions", REGRESSIONS)):
        for name, data in inputs.items():
            with open(os.path.join(HERE, folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
