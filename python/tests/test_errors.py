"""Refused calls: each raises before anything of it reaches the file, so the
file is exactly the file written without the call."""

import math

import numpy as np
import pytest

import quillon
from quillon import QuillonError, _messages as msg
from conftest import STAMP
from gds_records import is_complete, read_records


def _write_around(write_py, bad):
    """Writes a box, tries bad(top), writes another box; returns the file and
    the exception bad raised."""
    raised = []

    def draw(top):
        top.box(0, 0, 1, 1, layer=1)
        try:
            bad(top)
        except Exception as error:  # noqa: BLE001 - the tests check its type
            raised.append(error)
        top.box(2, 2, 3, 3, layer=2)

    data = write_py(draw)
    assert raised, "the call was not refused"
    return data, raised[0]


@pytest.fixture
def refused(write_py):
    clean = write_py(lambda t: (t.box(0, 0, 1, 1, layer=1), t.box(2, 2, 3, 3, layer=2)))

    def check(bad, kind, message=None):
        data, error = _write_around(write_py, bad)
        assert isinstance(error, kind), repr(error)
        if message is not None:
            assert error.message == message
        assert data == clean
        return error

    return check


SQUARE = [(0, 0), (10, 0), (10, 10), (0, 10)]
RING = [(i, (i * 7) % 13) for i in range(200)]


@pytest.mark.parametrize("bad, message", [
    (lambda t: t.boundary(SQUARE[:2]), msg.BOUNDARY_TOO_FEW),
    (lambda t: t.boundary([]), msg.BOUNDARY_TOO_FEW),
    (lambda t: t.boundary(RING), msg.BOUNDARY_TOO_MANY),
    (lambda t: t.boundaries(np.arange(2000, dtype=np.int32).reshape(5, 200, 2)),
     msg.BOUNDARY_TOO_MANY),
    (lambda t: t.boundaries(np.zeros((5, 2, 2), np.int32)), msg.BOUNDARY_TOO_FEW),
    (lambda t: t.path(SQUARE[:1]), msg.PATH_TOO_FEW),
    (lambda t: t.node([]), msg.NODE_TOO_FEW),
    (lambda t: t.node(RING[:51]), msg.NODE_TOO_MANY),
    (lambda t: t.circle((0, 0), 100, 2), msg.BOUNDARY_TOO_FEW),
    (lambda t: t.circle((0, 0), 100, 200), msg.BOUNDARY_TOO_MANY),
    (lambda t: t.arc((0, 0), 100, 0, 90, 2), msg.BOUNDARY_TOO_FEW),
    (lambda t: t.arc((0, 0), 100, 0, 90, 200), msg.BOUNDARY_TOO_MANY),
    (lambda t: t.sector((0, 0), 100, 0, 90, 1), msg.BOUNDARY_TOO_FEW),
    # A count whose slot holds more than 16 bits: refused by the strict mode.
    (lambda t: t.sector((0, 0), 100, 0, 90, 65539), msg.VALUE_OUT_OF_RANGE),
], ids=["boundary2", "boundary0", "boundary200", "boundaries200", "boundaries2", "path1",
        "node0", "node51", "circle2", "circle200", "arc2", "arc200", "sector1",
        "sector65539"])
def test_point_counts_out_of_range_raise_the_library_message(refused, bad, message):
    refused(bad, QuillonError, message)


def test_counts_at_the_limits_are_written(write_py):
    data = write_py(lambda t: (t.boundary(RING[:199]), t.boundary(RING[:3]), t.node(RING[:50]),
                               t.node(RING[:1]), t.path(RING[:2]), t.circle((0, 0), 9, 3),
                               t.circle((0, 0), 9, 199)))
    names = [r.name for r in read_records(data)]
    assert names.count("BOUNDARY") == 4 and names.count("NODE") == 2
    assert names.count("PATH") == 1


FIELD, COLROW, TEXTTYPE = msg.VALUE_OUT_OF_RANGE, msg.COLROW_OUT_OF_RANGE, msg.TEXT_TYPE_LIMIT


# The library's strict mode refuses 16-bit fields outside 0 to 32767 (and
# path types other than 0, 1, 2, 4, and STRANS's absolute flags):
# QuillonError with its message.
@pytest.mark.parametrize("bad, message", [
    (lambda t: t.box(0, 0, 1, 1, layer=65536), FIELD),
    (lambda t: t.box(0, 0, 1, 1, layer=32768), FIELD),
    (lambda t: t.box(0, 0, 1, 1, layer=-1), FIELD),
    (lambda t: t.box(0, 0, 1, 1, layer=(1, 70000)), FIELD),
    (lambda t: t.box(0, 0, 1, 1, boxtype=70000), FIELD),
    (lambda t: t.box(0, 0, 1, 1, elflags=1 << 16), FIELD),
    (lambda t: t.boxes(np.zeros((3, 4), np.int32), layer=65536), FIELD),
    (lambda t: t.boundary(SQUARE, datatype=65541), FIELD),
    (lambda t: t.boundaries([SQUARE], layer=-40000), FIELD),
    (lambda t: t.path(SQUARE, pathtype=3), FIELD),
    (lambda t: t.path(SQUARE, layer=100000), FIELD),
    (lambda t: t.circle((0, 0), 10, 8, datatype=1 << 20), FIELD),
    (lambda t: t.arc((0, 0), 10, 0, 90, 8, pathtype=-32769), FIELD),
    (lambda t: t.sector((0, 0), 10, 0, 90, 8, elflags=65536), FIELD),
    (lambda t: t.text("A", texttype=65536), TEXTTYPE),
    (lambda t: t.text("A", presentation=65536), FIELD),
    (lambda t: t.text("A", layer=70000), FIELD),
    (lambda t: t.node(SQUARE, nodetype=65536), FIELD),
    (lambda t: t.aref("A", SQUARE[:3], 32768, 1), COLROW),
    (lambda t: t.aref("A", SQUARE[:3], 1, 0), COLROW),
    (lambda t: t.sref("A", elflags=70000), FIELD),
    (lambda t: t.sref("A", abs_magnification=True), FIELD),
    (lambda t: t.aref("A", SQUARE[:3], 1, 1, abs_angle=True), FIELD),
], ids=["layer", "layer-32768", "layer-neg", "layer-pair", "boxtype", "elflags", "boxes-layer", "datatype",
        "boundaries-layer", "pathtype", "path-layer", "circle-datatype", "arc-pathtype",
        "sector-elflags", "texttype", "presentation", "text-layer", "nodetype", "columns",
        "rows", "sref-elflags", "sref-abs-mag", "aref-abs-angle"])
def test_values_outside_their_gdsii_field_raise_the_library_message(refused, bad, message):
    error = refused(bad, QuillonError, message)
    assert error.status == -3 if message != TEXTTYPE else error.status < 0


def test_16_bit_limits_are_written_as_given(write_py):
    # 32767: the largest value every reader takes (gdspy and libGDSII read
    # 32768 as negative).
    data = write_py(lambda t: (t.box(0, 0, 1, 1, layer=32767, boxtype=0),
                               t.boundary(SQUARE, layer=0, datatype=32767)))
    layers = [r.data.hex() for r in read_records(data) if r.name in ("LAYER", "BOXTYPE",
                                                                       "DATATYPE")]
    assert layers == ["7fff", "0000", "0000", "7fff"]


@pytest.mark.parametrize("bad", [
    lambda t: t.box(2 ** 31, 0, 1, 1),
    lambda t: t.box(0, -(2 ** 31) - 1, 1, 1),
    lambda t: t.box(0, 0, 1, 1, plex=2 ** 31),
    lambda t: t.boxes(np.array([[0, 0, 2 ** 32, 1]], np.int64)),
    lambda t: t.boundary([(0, 0), (2 ** 32 + 5, 0), (0, 1)]),
    lambda t: t.boundary(np.array([(0, 0), (2 ** 31, 0), (0, 1)], np.int64)),
    lambda t: t.boundaries(np.full((2, 3, 2), 2 ** 40, np.int64)),
    lambda t: t.path(SQUARE, width=2 ** 31),
    lambda t: t.sref("A", (0, 2 ** 31)),
    lambda t: t.text("A", (0, 0), width=-(2 ** 31) - 1),
    lambda t: t.node(xs=[0, 2 ** 31], ys=[0, 0]),
], ids=["x1", "y1", "plex", "boxes", "boundary", "boundary-np", "boundaries", "width",
        "sref", "text-width", "node"])
def test_values_outside_32_bits_raise_value_error(refused, bad):
    # ctypes would keep their low 32 bits: the binding refuses them first.
    refused(bad, ValueError)


@pytest.mark.parametrize("bad", [
    lambda t: t.box_wh(2 ** 31 - 5, 0, 10, 10),
    lambda t: t.square(0, -(2 ** 31), -1),
    lambda t: t.circle((2 ** 31 - 1, 0), 1, 8),
    lambda t: t.arc((0, -(2 ** 31) + 5), -10, 0, 90, 8),
], ids=["box_wh", "square", "circle-wrap", "arc-wrap"])
def test_computed_points_outside_32_bits_raise_the_library_message(refused, bad):
    refused(bad, QuillonError, msg.COORDINATE_OUT_OF_RANGE)


@pytest.mark.parametrize("bad", [
    lambda t: t.box(0.5, 0, 1, 1),
    lambda t: t.box(0, 0, 1, 1, layer=1.0),
    lambda t: t.boundary([(0, 0), (1.5, 0), (0, 1)]),
    lambda t: t.boundary(np.array(SQUARE, dtype=float)),
    lambda t: t.boundary([(0, 0, 0), (1, 0, 0), (0, 1, 0)]),
    lambda t: t.boundary(None),
    lambda t: t.circle((0, 0), 10.0, 8),
    lambda t: t.sref("A", (0.5, 0)),
    lambda t: t.text(12),
], ids=["box-float", "layer-float", "boundary-float", "boundary-float-array", "triples",
        "none", "radius-float", "sref-float", "text-int"])
def test_values_of_the_wrong_type_raise_type_error(refused, bad):
    refused(bad, TypeError)


def test_mismatched_and_malformed_point_arrays_raise_value_error(refused):
    refused(lambda t: t.boundary(xs=[0, 1, 2], ys=[0, 1]), ValueError)
    refused(lambda t: t.boundary(np.zeros((4, 3), np.int32)), ValueError)
    refused(lambda t: t.aref("A", SQUARE[:2], 2, 2), ValueError)
    refused(lambda t: t.boxes(np.zeros((4, 3), np.int32)), ValueError)
    refused(lambda t: t.boundaries(xs=np.zeros((4, 3), np.int32), ys=np.zeros((4, 4), np.int32)),
            ValueError)
    refused(lambda t: t.boundaries(xs=np.zeros((4, 2), np.int32), ys=np.zeros((4, 2), np.int32)),
            QuillonError)


@pytest.mark.parametrize("bad, message", [
    (lambda t: t.text(None), msg.TEXT_NULL),
    (lambda t: t.text("x" * 513), msg.TEXT_TOO_LONG),
    (lambda t: t.text("A", texttype=256), msg.TEXT_TYPE_LIMIT),
    (lambda t: t.text("A", texttype=-1), msg.TEXT_TYPE_LIMIT),
    (lambda t: t.sref(None), msg.STRUCTURE_NAME_NULL),
    (lambda t: t.aref(None, SQUARE[:3], 1, 1), msg.STRUCTURE_NAME_NULL),
    (lambda t: t.sref("N" * 65531), msg.STRUCTURE_NAME_TOO_LONG),
    # Readers refuse these files or misread them: strict mode refuses them.
    (lambda t: t.text(""), msg.TEXT_EMPTY),
    (lambda t: t.text("A", angle=30), msg.TEXT_ANGLE_NOT_QUARTER_TURN),
    (lambda t: t.sref("A", angle=361), msg.ANGLE_OUT_OF_RANGE),
    (lambda t: t.sref("A", magnification=0.0), msg.MAGNIFICATION_NOT_POSITIVE),
    (lambda t: t.aref("A", SQUARE[:3], 1, 1, magnification=-1.0),
     msg.MAGNIFICATION_NOT_POSITIVE),
], ids=["null", "513", "texttype256", "texttype-1", "sref-null", "aref-null", "sname-long",
        "empty", "text-angle30", "angle361", "mag0", "aref-mag-neg"])
def test_bad_texts_and_names_raise_the_library_message(refused, bad, message):
    refused(bad, QuillonError, message)


@pytest.mark.parametrize("bad", [
    lambda t: t.text("caf\u00e9"),
    lambda t: t.text("a\0b"),
    lambda t: t.sref("A\0"),
    lambda t: t.text("A", magnification=1e80),
], ids=["non-ascii", "nul", "sname-nul", "mag-huge"])
def test_values_the_file_cannot_hold_raise_value_error(refused, bad):
    refused(bad, ValueError)


@pytest.mark.parametrize("bad", [
    lambda t: t.sref("A", magnification=math.inf),
    lambda t: t.sref("A", angle=math.nan),
    lambda t: t.arc((0, 0), 10, math.nan, 90, 8),
    lambda t: t.sector((0, 0), 10, 0, -math.inf, 8),
], ids=["mag-inf", "angle-nan", "arc-nan", "sector-inf"])
def test_non_finite_reals_raise_the_library_message(refused, bad):
    refused(bad, QuillonError, msg.NOT_FINITE)


def test_texts_at_the_limits_are_written(write_py):
    data = write_py(lambda t: (t.text("x" * 512, texttype=255), t.text(b"\xe9t\xe9"),
                               t.text("A", texttype=0, angle=-270)))
    strings = [r.data for r in read_records(data) if r.name == "STRING"]
    assert strings == [b"x" * 512, b"\xe9t\xe9\0", b"A\0"]


def test_elements_outside_a_structure_are_refused(tmp_path):
    path = tmp_path / "outside.gds"
    calls = [
        lambda t: t.box(0, 0, 1, 1), lambda t: t.box_wh(0, 0, 1, 1),
        lambda t: t.square(0, 0, 1), lambda t: t.boxes(np.zeros((2, 4), np.int32)),
        lambda t: t.boundary(SQUARE), lambda t: t.boundaries([SQUARE]),
        lambda t: t.path(SQUARE), lambda t: t.circle((0, 0), 5, 8),
        lambda t: t.arc((0, 0), 5, 0, 90, 8), lambda t: t.sector((0, 0), 5, 0, 90, 8),
        lambda t: t.sref("A"), lambda t: t.aref("A", SQUARE[:3], 1, 1),
        lambda t: t.text("A"), lambda t: t.node(SQUARE),
    ]
    with quillon.Library(path, compact=False) as lib:  # every record, as listed below
        top = lib.structure("TOP")
        top.box(0, 0, 5, 5)
        top.end()
        for call in calls:
            with pytest.raises(QuillonError) as info:
                call(top)
            assert info.value.message == msg.STRUCTURE_NOT_OPENED
        other = lib.structure("OTHER")
        for call in calls:  # the ended structure stays ended while another is open
            with pytest.raises(QuillonError):
                call(top)
        other.end()
    names = [r.name for r in read_records(path.read_bytes())]
    assert names == ["HEADER", "BGNLIB", "LIBNAME", "UNITS", "BGNSTR", "STRNAME", "BOX",
                     "ELFLAGS", "PLEX", "LAYER", "BOXTYPE", "XY", "ENDEL", "ENDSTR",
                     "BGNSTR", "STRNAME", "ENDSTR", "ENDLIB"]


def test_structure_framing_errors(tmp_path):
    path = tmp_path / "framing.gds"
    with quillon.Library(path) as lib:
        with lib.structure("A"):
            with pytest.raises(QuillonError) as info:
                lib.structure("B")
            assert info.value.message == msg.STRUCTURE_ALREADY_OPENED
        with pytest.raises(QuillonError) as info:
            lib.structure("A")
        assert info.value.message == msg.DUPLICATE_STRUCTURE
        with pytest.raises(QuillonError) as info:
            lib.structure(None)
        assert info.value.message == msg.STRUCTURE_NAME_NULL
        with pytest.raises(ValueError):
            lib.structure("na\u00efve")
        lib.structure("a").end()  # names are case-sensitive
        lib.structure(b"A2").end()
        assert lib.structure_names == {b"A", b"a", b"A2"}
    with pytest.raises(QuillonError) as info:
        lib.structure("C")
    assert info.value.message == msg.PROCESS_STOPPED
    records = read_records(path.read_bytes())
    assert [r.text() for r in records if r.name == "STRNAME"] == ["A", "a", "A2"]
    assert is_complete(path.read_bytes())
    # A name is unique per library, not per process.
    with quillon.Library(tmp_path / "again.gds") as again:
        again.structure("A").end()


def test_the_error_handler_turns_library_reports_into_quillon_error(tmp_path):
    # Calls straight into the library, bypassing the binding's own checks:
    # the report must arrive through the handler, not as a C++ exception.
    from quillon import _native
    native = _native.native()
    native.GDS_EndStructure()
    assert _native.reports == [msg.STRUCTURE_NOT_OPENED]
    with pytest.raises(QuillonError) as info:
        _native.check_reports()
    assert info.value.message == msg.STRUCTURE_NOT_OPENED
    assert _native.reports == []
    native.GDS_EndLib()
    native.GDS_EndLib()
    with pytest.raises(QuillonError) as info:
        _native.check_reports()
    assert info.value.messages == (msg.PROCESS_STOPPED, msg.PROCESS_STOPPED)
    # The library is still usable afterwards.
    with quillon.Library(tmp_path / "after.gds"):
        pass
    assert is_complete((tmp_path / "after.gds").read_bytes())


# The binding's own refusals are QuillonErrors with the library's status for
# the same kind of fault; strings follow one rule (ASCII str or bytes, no NUL)
# for texts, names and property values alike.
@pytest.mark.parametrize("bad, status", [
    (lambda t: t.box(0, 0, 1, 2 ** 31), -3),
    (lambda t: t.sref("A", magnification=1e80), -3),
    (lambda t: t.box(0, 0, 1, 1, props={0: "x"}), -3),
    (lambda t: t.boundaries(np.zeros((5, 2, 2), np.int32)), -2),
    (lambda t: t.text("caf\u00e9"), -2),
    (lambda t: t.sref("A\0"), -2),
    (lambda t: t.box(0, 0, 1, 1, props={1: "net\x00VDD"}), -2),
    (lambda t: t.box(0, 0, 1, 1, props={1: "\u00b5"}), -2),
    (lambda t: t.sref(3), -2),
], ids=["int32", "real8", "attribute", "batch-count", "text-ascii", "name-nul", "value-nul",
        "value-ascii", "sname-type"])
def test_the_bindings_own_refusals_carry_a_status(refused, bad, status):
    assert refused(bad, QuillonError).status == status


def test_references_take_structures_and_closed_rings_lose_their_repeat(tmp_path):
    def write(name, by_object):
        with quillon.Library(tmp_path / name, timestamp=STAMP, library_name="L") as lib:
            with lib.structure("LEAF") as leaf:
                leaf.boundary(SQUARE + SQUARE[:1] if by_object else SQUARE)  # a closed ring
            with lib.structure("TOP") as top:
                target = leaf if by_object else "LEAF"
                top.sref(target)
                top.aref(target, SQUARE[:3], 1, 1)
                with pytest.raises(TypeError, match="quillon.Structure"):
                    top.sref(1.5)
        return (tmp_path / name).read_bytes()

    assert write("object.gds", True) == write("name.gds", False)
    with quillon.Library(tmp_path / "a.gds") as lib, quillon.Library(tmp_path / "b.gds") as other:
        elsewhere = other.structure("LEAF")
        with lib.structure("TOP") as top:
            with pytest.raises(QuillonError, match="another quillon.Library"):
                top.sref(elsewhere)
