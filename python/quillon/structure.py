# SPDX-License-Identifier: MIT
"""A structure (cell) being written, and the elements that go into it."""

import ctypes
import operator
from collections import deque
from itertools import repeat, starmap

from . import _messages as msg
from . import _native
from ._checks import (INT16_MIN, INT32_MAX, INT32_MIN, UINT16_MAX, int32, point, real8,
                      finite, strans, structure_name, text_string, word16)
from ._points import _np, checked_int32_array, to_points
from .errors import QuillonError

_reports = _native.reports

# Rows handed to the library per batch step: large enough that the Python
# overhead per step vanishes, small enough that the temporary Python ints
# of one step stay a few hundred kilobytes whatever the batch size.
_BATCH_ROWS = 4096

_MAX_PATH_POINTS = 32767  # the count is read as a signed 16-bit number


def _count_check(count, low, high, too_few, too_many):
    if count < low:
        raise QuillonError(too_few, f"{count} points, at least {low}")
    if count > high:
        raise QuillonError(too_many, f"{count} points, at most {high}")


def _boundary_count(count):
    _count_check(count, 3, 199, msg.BOUNDARY_TOO_FEW, msg.BOUNDARY_TOO_MANY)


def _curve_limits(center, radius):
    """The centre as ints, refusing a circle whose points could leave the
    32-bit range (the library would wrap them around silently)."""
    cx, cy = point(center, "center")
    r = int32(radius, "radius")
    reach = abs(r)
    if not (INT32_MIN <= cx - reach and cx + reach <= INT32_MAX
            and INT32_MIN <= cy - reach and cy + reach <= INT32_MAX):
        raise ValueError("the circle around the centre with this radius leaves the "
                         "signed 32-bit coordinate range")
    return cx, cy, r


def _argument_error(error):
    return TypeError(f"coordinates and numbers must be integers: {error}")


class Structure:
    """An open GDSII structure (cell), made by :meth:`quillon.Library.structure`.

    Use it as a context manager (``with lib.structure("TOP") as top:``) or
    call :meth:`end` yourself. Each element method writes one element to the
    file at once and keeps nothing: the memory a script uses does not grow
    with the number of elements.

    Keyword arguments are named after the GDSII records they fill (``layer``,
    ``datatype``, ``width``, ``pathtype``, ``texttype``, ``presentation``,
    ``magnification``, ``angle``, ``boxtype``, ``nodetype``, ``elflags``,
    ``plex``); their defaults give the plain element. Coordinates, widths and
    radii are integers in database units. 16-bit fields take -32768 to 65535
    and 32-bit ones the signed 32-bit range; anything else raises
    ValueError instead of being truncated. Errors the library would report
    raise :class:`quillon.QuillonError` with its message, before anything of
    the element is written.

    Points. The library reads a point list as two parallel C arrays of
    32-bit ints, xs then ys. Any of these forms gives the same file:

    * ``xs=..., ys=...``: two one-dimensional arrays. C-contiguous int32
      numpy arrays (or ``array.array('i')``) are passed as they are, with no
      copy: the fastest form.
    * an N x 2 integer numpy array. Strided columns cannot be passed as
      ``int*``: a Fortran-ordered int32 array (``np.asfortranarray``) has
      contiguous columns and is passed without a copy; a C-ordered one
      interleaves x and y, so the binding makes one contiguous 2 x N int32
      copy of its transpose, whose two rows are xs and ys.
    * any sequence or iterable of (x, y) pairs of ints, converted to two
      ``array.array('i')``.

    Batches. ctypes costs a few hundred nanoseconds per call, several times
    what the library spends writing a box, so :meth:`boxes` and
    :meth:`boundaries` take many elements as numpy arrays, check them once
    and call the library in a C-level loop (``itertools.starmap``) with no
    Python code per element.
    """

    def __init__(self, library, name, native):
        self._library = library
        self.name = name
        self._native = native
        self._box = native.GDS_Box
        self._raw_box = native.raw_box
        self._open = True

    # -- framing ---------------------------------------------------------

    @property
    def closed(self):
        """True once the structure has ended."""
        return not self._open

    def end(self):
        """Writes ENDSTR and closes the structure. Calling it again does nothing."""
        if not self._open:
            return
        self._open = False
        self._library._structure = None
        self._native.GDS_EndStructure()
        _native.check_reports()

    def __enter__(self):
        return self

    def __exit__(self, exc_type, exc, traceback):
        try:
            self.end()
        except QuillonError:
            if exc_type is None:
                raise
        return False

    def __repr__(self):
        state = "closed" if not self._open else "open"
        return f"<quillon.Structure {self.name!r} {state}>"

    def _not_open(self):
        raise QuillonError(msg.STRUCTURE_NOT_OPENED, f"structure {self.name!r} has ended")

    # -- boxes -------------------------------------------------------------

    def box(self, x1, y1, x2, y2, *, layer=0, boxtype=0, elflags=0, plex=0):
        """Writes a BOX with corners (x1, y1) and (x2, y2), in the order given.

        The XY record holds (x1, y1), (x2, y1), (x2, y2), (x1, y2), (x1, y1).
        """
        if not self._open:
            self._not_open()
        # Inline range tests: this is the call scripts make millions of times.
        if not (INT32_MIN <= x1 <= INT32_MAX and INT32_MIN <= y1 <= INT32_MAX
                and INT32_MIN <= x2 <= INT32_MAX and INT32_MIN <= y2 <= INT32_MAX
                and INT32_MIN <= plex <= INT32_MAX and INT16_MIN <= layer <= UINT16_MAX
                and INT16_MIN <= boxtype <= UINT16_MAX and INT16_MIN <= elflags <= UINT16_MAX):
            self._refuse_box(x1, y1, x2, y2, layer, boxtype, elflags, plex)
        try:
            # Plain ints go through the undeclared function, the fastest
            # ctypes path; anything else (numpy integers, floats) meets the
            # declared one, which converts integers and refuses the rest.
            self._raw_box(x1, y1, x2, y2, layer, boxtype, elflags, plex)
        except ctypes.ArgumentError:
            try:
                self._box(x1, y1, x2, y2, layer, boxtype, elflags, plex)
            except ctypes.ArgumentError as error:
                raise _argument_error(error) from None
        if _reports:
            _native.raise_reports()

    @staticmethod
    def _refuse_box(x1, y1, x2, y2, layer, boxtype, elflags, plex):
        for name, value in (("x1", x1), ("y1", y1), ("x2", x2), ("y2", y2), ("plex", plex)):
            int32(value, name)
        for name, value in (("layer", layer), ("boxtype", boxtype), ("elflags", elflags)):
            word16(value, name)

    def box_wh(self, x, y, width, height, *, layer=0, boxtype=0, elflags=0, plex=0):
        """Writes a BOX from corner (x, y) to (x + width, y + height)."""
        self.box(x, y, int32(x + width, "x + width"), int32(y + height, "y + height"),
                 layer=layer, boxtype=boxtype, elflags=elflags, plex=plex)

    def square(self, x, y, side, *, layer=0, boxtype=0, elflags=0, plex=0):
        """Writes a BOX from corner (x, y) to (x + side, y + side)."""
        self.box(x, y, int32(x + side, "x + side"), int32(y + side, "y + side"),
                 layer=layer, boxtype=boxtype, elflags=elflags, plex=plex)

    def boxes(self, corners, *, layer=0, boxtype=0, elflags=0, plex=0):
        """Writes one BOX per row of corners: (x1, y1, x2, y2) each.

        corners is an N x 4 integer numpy array or any sequence of 4-tuples.
        The file is the same as N calls of :meth:`box`; for numpy input the
        whole batch is checked at once and the library is called in a tight
        loop, several times faster than calling :meth:`box` per row. A batch
        is written in steps of a few thousand rows, so it needs no memory
        beyond the array itself.
        """
        if not self._open:
            self._not_open()
        layer = word16(layer, "layer")
        boxtype = word16(boxtype, "boxtype")
        elflags = word16(elflags, "elflags")
        plex = int32(plex, "plex")
        if _np is None or not isinstance(corners, _np.ndarray):
            for x1, y1, x2, y2 in corners:
                self.box(x1, y1, x2, y2, layer=layer, boxtype=boxtype, elflags=elflags,
                         plex=plex)
            return
        if corners.ndim != 2 or corners.shape[1] != 4:
            raise ValueError(f"corners must have shape (N, 4), not {corners.shape}")
        corners = checked_int32_array(corners, "corners")
        raw_box = self._native.raw_box
        constants = (repeat(layer), repeat(boxtype), repeat(elflags), repeat(plex))
        for start in range(0, corners.shape[0], _BATCH_ROWS):
            x1, y1, x2, y2 = corners[start:start + _BATCH_ROWS].T.tolist()
            deque(starmap(raw_box, zip(x1, y1, x2, y2, *constants)), 0)
            if _reports:
                _native.raise_reports()

    # -- polygons and polylines ------------------------------------------

    def boundary(self, points=None, *, xs=None, ys=None, layer=0, datatype=0, elflags=0,
                 plex=0):
        """Writes a BOUNDARY (filled polygon) of 3 to 199 vertices.

        Give each vertex once: the library appends the closing point.
        """
        if not self._open:
            self._not_open()
        layer = word16(layer, "layer")
        datatype = word16(datatype, "datatype")
        elflags = word16(elflags, "elflags")
        plex = int32(plex, "plex")
        pts = to_points(points, xs, ys)
        _boundary_count(pts.count)
        self._native.GDS_Boundary(pts.xs, pts.ys, pts.count, layer, datatype, elflags, plex)
        if _reports:
            _native.raise_reports()

    def boundaries(self, polygons=None, *, xs=None, ys=None, layer=0, datatype=0,
                   elflags=0, plex=0):
        """Writes one BOUNDARY per polygon, all with the same layer and datatype.

        polygons is a P x V x 2 integer numpy array (P polygons of V vertices
        each), or any sequence of point lists, each as :meth:`boundary` takes.
        Alternatively xs and ys are two P x V integer numpy arrays (the x and
        the y coordinates of polygon i in row i): C-contiguous int32 arrays
        are passed without any copy, the fastest form. A P x V x 2 array is
        transposed block by block into one contiguous copy. Numpy input is
        checked once and the library called in a tight loop; the file is the
        same as P calls of :meth:`boundary`.
        """
        if not self._open:
            self._not_open()
        layer = word16(layer, "layer")
        datatype = word16(datatype, "datatype")
        elflags = word16(elflags, "elflags")
        plex = int32(plex, "plex")
        if polygons is None:
            self._boundary_rows(xs, ys, layer, datatype, elflags, plex)
            return
        if xs is not None or ys is not None:
            raise TypeError("pass either polygons or xs and ys, not both")
        if _np is None or not isinstance(polygons, _np.ndarray):
            for polygon in polygons:
                self.boundary(polygon, layer=layer, datatype=datatype, elflags=elflags,
                              plex=plex)
            return
        if polygons.ndim != 3 or polygons.shape[2] != 2:
            raise ValueError(f"polygons must have shape (P, V, 2), not {polygons.shape}")
        if polygons.shape[0] == 0:
            return
        _boundary_count(polygons.shape[1])
        polygons = checked_int32_array(polygons, "polygons")
        rows = max(1, _BATCH_ROWS * 4 // polygons.shape[1])
        for start in range(0, polygons.shape[0], rows):
            # One contiguous copy per step: polygon i's xs, then its ys.
            step = _np.ascontiguousarray(polygons[start:start + rows].transpose(0, 2, 1))
            self._write_boundaries(step, 8 * step.shape[2], 4 * step.shape[2], step.shape,
                                   layer, datatype, elflags, plex)

    def _boundary_rows(self, xs, ys, layer, datatype, elflags, plex):
        if _np is None or not (isinstance(xs, _np.ndarray) and isinstance(ys, _np.ndarray)):
            raise TypeError("xs and ys must be two P x V numpy arrays")
        if xs.ndim != 2 or xs.shape != ys.shape:
            raise ValueError(f"xs and ys must be two P x V arrays of one shape, not "
                             f"{xs.shape} and {ys.shape}")
        if xs.shape[0] == 0:
            return
        _boundary_count(xs.shape[1])
        xs = _np.ascontiguousarray(checked_int32_array(xs, "xs"))
        ys = _np.ascontiguousarray(checked_int32_array(ys, "ys"))
        offset = ys.__array_interface__["data"][0] - xs.__array_interface__["data"][0]
        self._write_boundaries(xs, 4 * xs.shape[1], offset, (xs.shape[0], 2, xs.shape[1]),
                               layer, datatype, elflags, plex)

    def _write_boundaries(self, xs, stride, y_offset, shape, layer, datatype, elflags, plex):
        """Calls GDS_Boundary for shape[0] polygons of shape[2] vertices whose
        xs start at the address of array xs and every stride bytes, and whose
        ys start y_offset bytes after their xs (the caller keeps both alive)."""
        count = shape[2]
        write = self._native.GDS_Boundary
        base = xs.__array_interface__["data"][0]
        end = base + stride * shape[0]
        deque(starmap(write, zip(range(base, end, stride),
                                 range(base + y_offset, end + y_offset, stride), repeat(count),
                                 repeat(layer), repeat(datatype), repeat(elflags),
                                 repeat(plex))), 0)
        if _reports:
            _native.raise_reports()

    def path(self, points=None, *, xs=None, ys=None, width=0, layer=0, datatype=0,
             pathtype=0, elflags=0, plex=0):
        """Writes a PATH (polyline) of at least 2 points with width and pathtype
        (0 flush, 1 round, 2 half-width extension).

        The library writes a polyline of more than 200 points as consecutive
        PATH elements of at most 200 points, each starting where the previous
        one ended. One call takes at most 32767 points.
        """
        if not self._open:
            self._not_open()
        width = int32(width, "width")
        layer = word16(layer, "layer")
        datatype = word16(datatype, "datatype")
        pathtype = word16(pathtype, "pathtype")
        elflags = word16(elflags, "elflags")
        plex = int32(plex, "plex")
        pts = to_points(points, xs, ys)
        if pts.count < 2:
            raise QuillonError(msg.PATH_TOO_FEW, f"{pts.count} points, at least 2")
        if pts.count > _MAX_PATH_POINTS:
            raise ValueError(f"a path of {pts.count} points: one call takes at most "
                             f"{_MAX_PATH_POINTS}")
        self._native.GDS_Path(pts.xs, pts.ys, pts.count, width, layer, datatype, pathtype,
                              elflags, plex)
        if _reports:
            _native.raise_reports()

    # -- curves --------------------------------------------------------------

    def circle(self, center, radius, count=64, *, layer=0, datatype=0, elflags=0, plex=0):
        """Writes a circle as a BOUNDARY of count points (3 to 199),
        counter-clockwise from (center x + radius, center y); computed
        coordinates are truncated toward zero."""
        if not self._open:
            self._not_open()
        cx, cy, r = _curve_limits(center, radius)
        count = operator.index(count)
        _boundary_count(count)
        self._native.GDS_Circle(cx, cy, r, count, word16(layer, "layer"),
                                word16(datatype, "datatype"), word16(elflags, "elflags"),
                                int32(plex, "plex"))
        if _reports:
            _native.raise_reports()

    def arc(self, center, radius, start_angle, end_angle, count=64, *, width=0, layer=0,
            datatype=0, pathtype=0, elflags=0, plex=0):
        """Writes an arc as a PATH of count points (3 to 199) on the circle,
        from start_angle in count steps of (end_angle - start_angle) / count
        (degrees, counter-clockwise): the last point lies one step short of
        end_angle."""
        if not self._open:
            self._not_open()
        cx, cy, r = _curve_limits(center, radius)
        count = operator.index(count)
        _boundary_count(count)
        self._native.GDS_Arc(cx, cy, r, finite(start_angle, "start_angle"),
                             finite(end_angle, "end_angle"), count, int32(width, "width"),
                             word16(layer, "layer"), word16(datatype, "datatype"),
                             word16(pathtype, "pathtype"), word16(elflags, "elflags"),
                             int32(plex, "plex"))
        if _reports:
            _native.raise_reports()

    def sector(self, center, radius, start_angle, end_angle, count=64, *, layer=0,
               datatype=0, elflags=0, plex=0):
        """Writes a pie slice as a BOUNDARY of count points (3 to 199): the
        centre, then count - 1 points from start_angle in steps of
        (end_angle - start_angle) / count, so the slice covers
        (count - 2) / count of the sweep."""
        if not self._open:
            self._not_open()
        cx, cy, r = _curve_limits(center, radius)
        count = operator.index(count)
        _boundary_count(count)
        self._native.GDS_Sector(cx, cy, r, finite(start_angle, "start_angle"),
                                finite(end_angle, "end_angle"), count, word16(layer, "layer"),
                                word16(datatype, "datatype"), word16(elflags, "elflags"),
                                int32(plex, "plex"))
        if _reports:
            _native.raise_reports()

    # -- references ----------------------------------------------------------

    def sref(self, sname, origin=(0, 0), *, magnification=1.0, angle=0.0, reflect=False,
             abs_magnification=False, abs_angle=False, elflags=0, plex=0):
        """Writes an SREF: one instance of structure sname at origin.

        reflect mirrors about the x axis before the rotation by angle
        (degrees, counter-clockwise); abs_magnification and abs_angle set the
        STRANS absolute bits. The name need not exist (yet) in the library.
        """
        if not self._open:
            self._not_open()
        name = structure_name(sname, "sname")
        x, y = point(origin, "origin")
        self._native.GDS_Sref(name, x, y, strans(reflect, abs_magnification, abs_angle),
                              real8(magnification, "magnification"), real8(angle, "angle"),
                              word16(elflags, "elflags"), int32(plex, "plex"))
        if _reports:
            _native.raise_reports()

    def aref(self, sname, xy, columns, rows, *, magnification=1.0, angle=0.0, reflect=False,
             abs_magnification=False, abs_angle=False, elflags=0, plex=0):
        """Writes an AREF: columns x rows instances of structure sname.

        xy holds the three points of the GDSII record: the origin, the origin
        displaced by columns column pitches, and the origin displaced by rows
        row pitches. For pitches (dx, dy) from origin (x, y):
        ``[(x, y), (x + columns * dx, y), (x, y + rows * dy)]``.
        The transformation keywords are those of :meth:`sref`.
        """
        if not self._open:
            self._not_open()
        name = structure_name(sname, "sname")
        pts = to_points(xy)
        if pts.count != 3:
            raise ValueError(f"an AREF takes exactly 3 points, not {pts.count}")
        self._native.GDS_Aref(name, pts.xs, pts.ys, word16(columns, "columns"),
                              word16(rows, "rows"),
                              strans(reflect, abs_magnification, abs_angle),
                              real8(magnification, "magnification"), real8(angle, "angle"),
                              word16(elflags, "elflags"), int32(plex, "plex"))
        if _reports:
            _native.raise_reports()

    # -- annotation ----------------------------------------------------------

    def text(self, string, origin=(0, 0), *, layer=0, texttype=0, presentation=0,
             pathtype=0, width=0, magnification=1.0, angle=0.0, reflect=False,
             abs_magnification=False, abs_angle=False, elflags=0, plex=0):
        """Writes a TEXT label (at most 512 ASCII characters) at origin.

        texttype lies in 0 to 255. presentation holds the font (bits 0x30),
        vertical justification (0x0C: 0 top, 4 middle, 8 bottom) and
        horizontal justification (0x03: 0 left, 1 centre, 2 right). The
        transformation keywords are those of :meth:`sref`.
        """
        if not self._open:
            self._not_open()
        data = text_string(string)
        texttype = word16(texttype, "texttype")
        if not 0 <= texttype <= 255:
            raise QuillonError(msg.TEXT_TYPE_LIMIT, f"texttype {texttype}, 0 to 255")
        x, y = point(origin, "origin")
        self._native.GDS_Text(x, y, data, word16(layer, "layer"), texttype,
                              word16(presentation, "presentation"),
                              word16(pathtype, "pathtype"), int32(width, "width"),
                              strans(reflect, abs_magnification, abs_angle),
                              real8(magnification, "magnification"), real8(angle, "angle"),
                              word16(elflags, "elflags"), int32(plex, "plex"))
        if _reports:
            _native.raise_reports()

    def node(self, points=None, *, xs=None, ys=None, layer=0, nodetype=0, elflags=0, plex=0):
        """Writes a NODE (electrical net node) of 1 to 50 points, not closed."""
        if not self._open:
            self._not_open()
        layer = word16(layer, "layer")
        nodetype = word16(nodetype, "nodetype")
        elflags = word16(elflags, "elflags")
        plex = int32(plex, "plex")
        pts = to_points(points, xs, ys)
        _count_check(pts.count, 1, 50, msg.NODE_TOO_FEW, msg.NODE_TOO_MANY)
        self._native.GDS_Node(pts.xs, pts.ys, pts.count, layer, nodetype, elflags, plex)
        if _reports:
            _native.raise_reports()

