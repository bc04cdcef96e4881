# SPDX-License-Identifier: MIT
"""A structure (cell) being written, and the elements that go into it."""

import ctypes
from array import array
import math
import operator
from array import array
from itertools import repeat, starmap

from . import _messages as msg
from . import _writer
from ._checks import (INT32_MAX, INT32_MIN, USER_UNITS_HINT, ascii_bytes, index, int32, point,
                      real8, strans, text_string)
from ._points import _np, checked_int32_array, to_points, without_closing_point
from ._units import round_half_away
from .errors import ArgumentTypeError, ArgumentValueError, QuillonError

# Rows handed to the library per batch step: large enough that the Python
# overhead per step vanishes, small enough that the temporary Python ints
# of one step stay a few hundred kilobytes whatever the batch size.
_BATCH_ROWS = 4096

_MAX_PATH_POINTS = 32767  # the count is read as a signed 16-bit number
# How far back from a run's farthest point a gentle cut is looked for.
_PATH_CUT_SEARCH = 100


def _path_runs(pts, width, pathtype):
    """The runs of a polyline of more than _MAX_PATH_POINTS points, as a
    list of (xs address, ys address, count, pathtype), and the arrays the
    addresses point into (the caller keeps them alive). Runs overlap by one
    segment, cut where both joints of the shared segment turn by at most 90
    degrees and the segments beyond are at least half the width long (the
    rule the library cuts its 200-point pieces by), so that a cut end lies
    inside the next run's outline."""
    n = pts.count
    xs = list((ctypes.c_int32 * n).from_address(pts.xs))
    ys = list((ctypes.c_int32 * n).from_address(pts.ys))
    if pathtype == 2:
        # A cut end of type 2 would stick out past the joint: extend the two
        # real ends by hand and write flush ends everywhere.
        xs, ys, pathtype = xs[:], ys[:], 0
        for end, inner in ((0, 1), (n - 1, n - 2)):
            while inner not in (-1, n) and (xs[inner], ys[inner]) == (xs[end], ys[end]):
                inner += 1 if inner > end else -1
            if inner in (-1, n):
                break  # every point the same: no direction to extend along
            dx, dy = xs[end] - xs[inner], ys[end] - ys[inner]
            scale = abs(width) / 2 / math.hypot(dx, dy)
            xs[end] += round_half_away(dx * scale)
            ys[end] += round_half_away(dy * scale)
        owner = array("i", xs), array("i", ys)
        base = owner[0].buffer_info()[0], owner[1].buffer_info()[0]
    else:
        owner = pts
        base = pts.xs, pts.ys
    half = abs(width) / 2

    def gentle(i):  # the joint at point i turns by at most 90 degrees
        return ((xs[i] - xs[i - 1]) * (xs[i + 1] - xs[i])
                + (ys[i] - ys[i - 1]) * (ys[i + 1] - ys[i])) >= 0

    def long(i, j):
        return math.hypot(xs[j] - xs[i], ys[j] - ys[i]) >= max(half, 1e-300)

    first = 0
    runs = []
    while True:
        last = min(first + _MAX_PATH_POINTS - 1, n - 1)
        if last < n - 1:
            for cut in range(last, last - _PATH_CUT_SEARCH, -1):
                s = cut - 1  # the shared segment (s, s + 1)
                if (long(s, s + 1) and gentle(s) and gentle(s + 1) and long(s - 1, s)
                        and long(s + 1, s + 2)):
                    last = cut
                    break
        runs.append((base[0] + 4 * first, base[1] + 4 * first, last - first + 1, pathtype))
        if last == n - 1:
            return runs, owner
        first = last - 1


def _boundary_count(count):
    # Batches check their common vertex count once, before the loop.
    if count < 3:
        raise QuillonError(msg.BOUNDARY_TOO_FEW, f"{count} points, at least 3")
    if count > 199:
        raise QuillonError(msg.BOUNDARY_TOO_MANY, f"{count} points, at most 199")


def _layer(layer, kind, kind_name):
    """(layer, type) from layer=N or a layer=(N, type) pair."""
    if layer.__class__ is tuple or isinstance(layer, (tuple, list)):
        try:
            number, value = layer
        except ValueError:
            raise TypeError(f"layer must be an int or a (layer, {kind_name}) pair, not "
                            f"{layer!r}") from None
        if kind != 0 and kind != value:
            raise TypeError(f"layer={layer!r} and {kind_name}={kind!r} disagree")
        return int32(number, "layer"), int32(value, kind_name)
    return int32(layer, "layer"), int32(kind, kind_name)


def _argument_error(error):
    return ArgumentTypeError(msg.NOT_AN_INTEGER, f"{error}: {USER_UNITS_HINT}")


class Structure:
    """An open GDSII structure (cell), made by :meth:`quillon.Library.structure`.

    Use it as a context manager (``with lib.structure("TOP") as top:``) or
    call :meth:`end` yourself. Each element method writes one element to the
    file at once and keeps nothing: the memory a script uses does not grow
    with the number of elements.

    Keyword arguments are named after the GDSII records they fill (``layer``,
    ``datatype``, ``width``, ``pathtype``, ``texttype``, ``presentation``,
    ``magnification``, ``angle``, ``boxtype``, ``nodetype``, ``elflags``,
    ``plex``); their defaults give the plain element. ``layer`` also takes a
    ``(layer, type)`` pair, the type being the datatype, texttype, boxtype
    or nodetype of the element. Coordinates, widths and radii are in user
    units (ints or floats) when the library's units were given as
    ``unit=``/``precision=`` or with ``coordinates="user"``, and ints in
    database units otherwise (see :class:`quillon.Library`). A point is
    always an (x, y) pair: ``box``, ``box_wh`` and ``square`` take their
    corner as a pair too (their older all-scalar forms still work).

    Checks. Python-side problems raise before the call, as
    :class:`quillon.QuillonError` with the status the library gives the same
    fault: values of the wrong type (a float in database units, whose
    message names the switch to user units) are also TypeErrors; ints that
    a 32-bit C int cannot carry (ctypes would silently keep their low 32
    bits), reals a GDSII 8-byte real cannot hold and strings that are not
    ASCII or hold a NUL are also ValueErrors. Strings: a str must be ASCII,
    bytes are written as they are (texts, names and property values
    alike). The library, in strict mode, checks
    everything else (counts, 16-bit fields: 0 to 65535, path types, COLROW,
    computed corners and curve points, finite angles, names and texts): a
    refused call raises :class:`quillon.QuillonError` with its exact message
    and status, and nothing of the element is written.

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
        self._h = library._handle
        self._writer = library._writer
        self._raw_box = native.raw_quillon_box
        self._open = True

    def _fail(self, status, detail=None):
        raise _writer.error(status, self._native, self._h, detail)

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
        status = self._native.quillon_end_structure(self._h)
        if status:
            self._fail(status)

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

    def box(self, x1, y1, x2=None, y2=None, *, layer=0, boxtype=0, elflags=0, plex=0,
            props=None):
        """Writes a BOX with corners (x1, y1) and (x2, y2), in the order given:
        ``box((x1, y1), (x2, y2))`` or ``box(x1, y1, x2, y2)``.

        The XY record holds (x1, y1), (x2, y1), (x2, y2), (x1, y2), (x1, y1).
        gdspy and some other readers skip BOX elements: :meth:`rectangle`
        writes the same outline as a BOUNDARY.
        """
        if not self._open:
            self._not_open()
        if x2 is None:
            (x1, y1), (x2, y2) = point(x1, "corner1"), point(y1, "corner2")
        if layer.__class__ is not int:
            layer, boxtype = _layer(layer, boxtype, "boxtype")
        # Inline range tests: this is the call scripts make millions of times.
        # Only the 32-bit range: the library checks the 16-bit fields.
        if not (INT32_MIN <= x1 <= INT32_MAX and INT32_MIN <= y1 <= INT32_MAX
                and INT32_MIN <= x2 <= INT32_MAX and INT32_MIN <= y2 <= INT32_MAX
                and INT32_MIN <= plex <= INT32_MAX and INT32_MIN <= layer <= INT32_MAX
                and INT32_MIN <= boxtype <= INT32_MAX and INT32_MIN <= elflags <= INT32_MAX):
            self._refuse_box(x1, y1, x2, y2, layer, boxtype, elflags, plex)
        if props:
            self._refuse_box(x1, y1, x2, y2, layer, boxtype, elflags, plex)
            self._write(props, self._native.quillon_box, x1, y1, x2, y2, layer, boxtype,
                        elflags, plex)
            return
        try:
            # Plain ints go through the undeclared function, the fastest
            # ctypes path; anything else (numpy integers, floats) meets the
            # declared one, which converts integers and refuses the rest.
            status = self._raw_box(self._writer, x1, y1, x2, y2, layer, boxtype, elflags, plex)
        except ctypes.ArgumentError:
            try:
                status = self._native.quillon_box(self._h, x1, y1, x2, y2, layer, boxtype,
                                                  elflags, plex)
            except ctypes.ArgumentError as error:
                raise _argument_error(error) from None
        if status:
            self._fail(status)

    @staticmethod
    def _refuse_box(x1, y1, x2, y2, layer, boxtype, elflags, plex):
        for name, value in (("x1", x1), ("y1", y1), ("x2", x2), ("y2", y2), ("plex", plex),
                            ("layer", layer), ("boxtype", boxtype), ("elflags", elflags)):
            int32(value, name)

    def box_wh(self, x, y, width, height=None, *, layer=0, boxtype=0, elflags=0, plex=0, props=None):
        """Writes a BOX from corner (x, y) to (x + width, y + height):
        ``box_wh((x, y), width, height)`` or ``box_wh(x, y, width, height)``."""
        if not self._open:
            self._not_open()
        if height is None:
            (x, y), width, height = point(x, "corner"), y, width
        layer, boxtype = _layer(layer, boxtype, "boxtype")
        self._write(props, self._native.quillon_box_wh,
            int32(x, "x"), int32(y, "y"), int32(width, "width"),
            int32(height, "height"), layer, boxtype, int32(elflags, "elflags"),
            int32(plex, "plex"))

    def square(self, x, y, side=None, *, layer=0, boxtype=0, elflags=0, plex=0, props=None):
        """Writes a BOX from corner (x, y) to (x + side, y + side):
        ``square((x, y), side)`` or ``square(x, y, side)``."""
        if not self._open:
            self._not_open()
        if side is None:
            (x, y), side = point(x, "corner"), y
        layer, boxtype = _layer(layer, boxtype, "boxtype")
        self._write(props, self._native.quillon_square,
            int32(x, "x"), int32(y, "y"), int32(side, "side"), layer, boxtype,
            int32(elflags, "elflags"), int32(plex, "plex"))

    def _check(self, status):
        if status:
            self._fail(status)

    def _write(self, props, write, *arguments):
        # One element call, its properties (an {attribute: value} mapping or
        # (attribute, value) pairs) queued just before it, after every check
        # of the arguments, so that none is left queued for a later element.
        if props:
            queue = _properties(props)
            for attribute, value in queue:
                self._check(self._native.quillon_property(self._h, attribute, value))
        self._check(write(self._h, *arguments))

    def rectangle(self, corner1, corner2, *, layer=0, datatype=0, elflags=0, plex=0, props=None):
        """Writes the rectangle with opposite corners corner1 and corner2 as a
        BOUNDARY of 4 vertices: (x1, y1), (x2, y1), (x2, y2), (x1, y2).

        Unlike :meth:`box`, every GDSII reader draws it (gdspy, for one,
        drops BOX elements).
        """
        (x1, y1), (x2, y2) = point(corner1, "corner1"), point(corner2, "corner2")
        Structure.boundary(self, [(x1, y1), (x2, y1), (x2, y2), (x1, y2)], layer=layer,
                           datatype=datatype, elflags=elflags, plex=plex, props=props)

    def boxes(self, corners, *, layer=0, boxtype=0, elflags=0, plex=0):
        """Writes one BOX per row of corners: (x1, y1, x2, y2) each.

        corners is an N x 4 integer numpy array or any sequence of 4-tuples.
        The file is the same as N calls of :meth:`box`; for numpy input the
        whole batch is checked at once and the library is called in a tight
        loop, several times faster than calling :meth:`box` per row. A batch
        is written in steps of a few thousand rows, so it needs no memory
        beyond the array itself. A refused row raises QuillonError; the rows
        before it are written.
        """
        if not self._open:
            self._not_open()
        layer, boxtype = _layer(layer, boxtype, "boxtype")
        elflags = int32(elflags, "elflags")
        plex = int32(plex, "plex")
        if _np is None or not isinstance(corners, _np.ndarray):
            for x1, y1, x2, y2 in corners:
                Structure.box(self, x1, y1, x2, y2, layer=layer, boxtype=boxtype,
                              elflags=elflags, plex=plex)
            return
        if corners.ndim != 2 or corners.shape[1] != 4:
            raise ValueError(f"corners must have shape (N, 4), not {corners.shape}")
        corners = checked_int32_array(corners, "corners")
        raw_box = self._raw_box
        constants = (repeat(self._writer), repeat(layer), repeat(boxtype), repeat(elflags),
                     repeat(plex))
        for start in range(0, corners.shape[0], _BATCH_ROWS):
            x1, y1, x2, y2 = corners[start:start + _BATCH_ROWS].T.tolist()
            self._check_batch(starmap(raw_box, zip(constants[0], x1, y1, x2, y2,
                                                   *constants[1:])))

    def _check_batch(self, statuses):
        # Stops at the first refused element: it and everything after it in
        # the batch are not written.
        for status in filter(None, statuses):
            self._fail(status)

    # -- polygons and polylines ------------------------------------------

    def boundary(self, points=None, *, xs=None, ys=None, layer=0, datatype=0, elflags=0,
                 plex=0, props=None):
        """Writes a BOUNDARY (filled polygon) of 3 to 199 vertices.

        Give each vertex once: the library appends the closing point. A
        closed ring, whose last point repeats the first (as shapely and
        gdspy give them), loses that repeated point first, as in
        :meth:`polygon`: 200 points of a closed ring make 199 vertices.
        """
        self._outline(self._native.quillon_boundary, points, xs, ys, layer, datatype, elflags,
                      plex, props)

    def _outline(self, write, points, xs, ys, layer, datatype, elflags, plex, props):
        # One BOUNDARY (or polygon) call: the checks of both, then write.
        if not self._open:
            self._not_open()
        layer, datatype = _layer(layer, datatype, "datatype")
        elflags = int32(elflags, "elflags")
        plex = int32(plex, "plex")
        pts = without_closing_point(to_points(points, xs, ys))
        self._write(props, write, pts.xs, pts.ys, pts.count, layer, datatype, elflags, plex)

    def polygon(self, points=None, *, xs=None, ys=None, holes=None, layer=0, datatype=0,
                elflags=0, plex=0, props=None):
        """Writes a polygon of any number of vertices (3 or more), with holes.

        Up to the library's polygon limit (199 unless
        :meth:`Library.set_polygon_limit` says otherwise) a polygon without
        holes is one BOUNDARY; a larger one is fractured into BOUNDARY pieces
        of at most the limit whose union is the polygon (cut points rounded
        to the grid: every vertex within half a unit of the outline, no gap,
        no overlap, no piece with a hole or a zero-width bridge). holes is a
        sequence of rings, each as points takes; the outline and the holes
        are filled even-odd (an island in a hole is one more ring), in
        either orientation, and may touch (a ring equal to another cancels
        it) but not cross: crossing rings raise QuillonError "Error:
        Polygon rings cross.", as the library's other interfaces refuse
        them. A polygon with holes is always written as pieces without
        holes, since a BOUNDARY holds one ring.
        """
        if not holes:
            self._outline(self._native.quillon_polygon, points, xs, ys, layer, datatype,
                          elflags, plex, props)
            return
        if not self._open:
            self._not_open()
        layer, datatype = _layer(layer, datatype, "datatype")
        elflags = int32(elflags, "elflags")
        plex = int32(plex, "plex")
        rings = [without_closing_point(to_points(points, xs, ys))]
        rings += [without_closing_point(to_points(ring)) for ring in holes]
        all_xs, all_ys, counts = array("i"), array("i"), array("i")
        for ring in rings:
            all_xs.extend((ctypes.c_int * ring.count).from_address(ring.xs))
            all_ys.extend((ctypes.c_int * ring.count).from_address(ring.ys))
            counts.append(ring.count)
        self._write(props, self._native.quillon_polygon_rings, all_xs.buffer_info()[0],
                    all_ys.buffer_info()[0], counts.buffer_info()[0], len(counts), layer,
                    datatype, elflags, plex)

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
        same as P calls of :meth:`boundary` (closed rings too: when every
        polygon's last vertex repeats its first, that column is left out).
        """
        if not self._open:
            self._not_open()
        layer, datatype = _layer(layer, datatype, "datatype")
        elflags = int32(elflags, "elflags")
        plex = int32(plex, "plex")
        if polygons is None:
            self._boundary_rows(xs, ys, layer, datatype, elflags, plex)
            return
        if xs is not None or ys is not None:
            raise TypeError("pass either polygons or xs and ys, not both")
        if _np is None or not isinstance(polygons, _np.ndarray):
            for polygon in polygons:
                Structure.boundary(self, polygon, layer=layer, datatype=datatype,
                                   elflags=elflags, plex=plex)
            return
        if polygons.ndim != 3 or polygons.shape[2] != 2:
            raise ValueError(f"polygons must have shape (P, V, 2), not {polygons.shape}")
        if polygons.shape[0] == 0:
            return
        if polygons.shape[1] >= 4 and (polygons[:, -1] == polygons[:, 0]).all():
            polygons = polygons[:, :-1]  # closed rings: each vertex once
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
        if xs.shape[1] >= 4 and ((xs[:, -1] == xs[:, 0]) & (ys[:, -1] == ys[:, 0])).all():
            xs, ys = xs[:, :-1], ys[:, :-1]  # closed rings: each vertex once
        _boundary_count(xs.shape[1])
        xs = _np.ascontiguousarray(checked_int32_array(xs, "xs"))
        ys = _np.ascontiguousarray(checked_int32_array(ys, "ys"))
        offset = ys.__array_interface__["data"][0] - xs.__array_interface__["data"][0]
        self._write_boundaries(xs, 4 * xs.shape[1], offset, (xs.shape[0], 2, xs.shape[1]),
                               layer, datatype, elflags, plex)

    def _write_boundaries(self, xs, stride, y_offset, shape, layer, datatype, elflags, plex):
        """Calls quillon_boundary for shape[0] polygons of shape[2] vertices
        whose xs start at the address of array xs and every stride bytes, and
        whose ys start y_offset bytes after their xs (the caller keeps both
        alive)."""
        count = shape[2]
        write = self._native.quillon_boundary
        base = xs.__array_interface__["data"][0]
        end = base + stride * shape[0]
        self._check_batch(starmap(write, zip(
            repeat(self._h), range(base, end, stride),
            range(base + y_offset, end + y_offset, stride), repeat(count), repeat(layer),
            repeat(datatype), repeat(elflags), repeat(plex))))

    def path(self, points=None, *, xs=None, ys=None, width=0, layer=0, datatype=0,
             pathtype=0, elflags=0, plex=0, props=None, bgnextn=None, endextn=None,
             bend_radius=0, tolerance=None):
        """Writes a PATH (polyline) of at least 2 points, any number, with
        width and pathtype: 0 flush ends, 1 round ends, 2 ends extended by
        half the width, 4 custom extensions (this method takes no extension
        lengths: the element has no BGNEXTN/ENDEXTN, which readers take as
        0, flush).

        A polyline of up to 200 points is one PATH element. A longer one
        loses its repeated consecutive points and is written as PATH
        elements of at most 200 points that overlap by one segment: each
        piece starts at the second-to-last point of the one before, so that
        every joint keeps its mitred join inside one piece, and the pieces
        cut where both joints of the shared segment turn by at most 90
        degrees. The cuts add nothing to the outline: types 2 and 4 are
        written as type 4 with BGNEXTN/ENDEXTN (the polyline's own extension
        at its two ends, 0 at the cuts), type 0 stays flush and type 1 round.
        props go on every piece.

        The library takes up to 32767 points per call; a longer polyline is
        handed to it in runs of at most that many points overlapping by one
        segment, cut by the same rule. A type 2 polyline is then written as
        type 0 with its two end points moved out by half the width along
        their segments (rounded to the grid).

        bgnextn and endextn are the extensions of path type 4 at the
        polyline's two ends (either one given makes the path type 4; the
        other is then 0). bend_radius replaces every corner by the circular
        arc of that radius tangent to both segments, its points within
        tolerance (database units, default 1) of the circle; a segment too
        short for the arcs of its two corners raises QuillonError ("Error:
        Path segments too short for the bend radius."). With any of these
        the library takes the whole polyline in one call (quillon_path_ex)
        and splits it as above.
        """
        if not self._open:
            self._not_open()
        layer, datatype = _layer(layer, datatype, "datatype")
        pts = to_points(points, xs, ys)
        if bgnextn is not None or endextn is not None or bend_radius:
            self._path_ex(pts, width, layer, datatype, pathtype, bgnextn, endextn,
                          bend_radius, tolerance, elflags, plex, props)
            return
        arguments = (int32(width, "width"), layer, datatype, int32(pathtype, "pathtype"),
                     int32(elflags, "elflags"), int32(plex, "plex"))
        if pts.count <= _MAX_PATH_POINTS:
            self._write(props, self._native.quillon_path, pts.xs, pts.ys, pts.count,
                        *arguments)
            return
        runs, _owner = _path_runs(pts, arguments[0], arguments[3])
        for xs_address, ys_address, count, pathtype in runs:
            self._write(props, self._native.quillon_path, xs_address, ys_address, count,
                        arguments[0], layer, datatype, pathtype, *arguments[4:])

    def _path_ex(self, pts, width, layer, datatype, pathtype, bgnextn, endextn, bend_radius,
                 tolerance, elflags, plex, props):
        extended = bgnextn is not None or endextn is not None
        if extended:
            if pathtype not in (0, 4):
                raise ValueError(f"bgnextn and endextn are the extensions of path type 4, "
                                 f"not of path type {pathtype}")
            pathtype = 4
        bend_radius = int32(bend_radius, "bend_radius")
        self._write(props, self._native.quillon_path_ex,
            pts.xs, pts.ys, pts.count, int32(width, "width"), int32(pathtype, "pathtype"),
            int32(bgnextn or 0, "bgnextn"), int32(endextn or 0, "endextn"), bend_radius,
            _tolerance(tolerance), layer, datatype, int32(elflags, "elflags"),
            int32(plex, "plex"))

    # -- curves --------------------------------------------------------------

    def ellipse(self, center, radius, *, inner_radius=0, start_angle=0.0, end_angle=360.0,
                tolerance=None, layer=0, datatype=0, elflags=0, plex=0, props=None):
        """Writes an ellipse, an elliptic ring or a sector of either as
        BOUNDARY elements, with as many points as tolerance asks for.

        radius is one number (a circle) or an (rx, ry) pair; inner_radius
        likewise, 0 for a filled shape. The shape runs from start_angle to
        end_angle (degrees, counter-clockwise, the angle of the parametric
        form (x + rx cos t, y + ry sin t); for a circle the polar angle),
        both ends exactly; a sweep of 360 or more is the whole shape, a ring
        being written as a polygon with a hole. tolerance (database units,
        default 1) bounds the distance between each chord and the curve.
        Points are rounded to the nearest grid point; an outline of more
        than the polygon limit's vertices is fractured into pieces.
        """
        if not self._open:
            self._not_open()
        cx, cy = point(center, "center")
        rx, ry = _radii(radius, "radius")
        irx, iry = _radii(inner_radius, "inner_radius")
        layer, datatype = _layer(layer, datatype, "datatype")
        self._write(props, self._native.quillon_ellipse,
            cx, cy, rx, ry, irx, iry, float(start_angle), float(end_angle),
            _tolerance(tolerance), layer, datatype, int32(elflags, "elflags"),
            int32(plex, "plex"))

    def ring(self, center, radius, inner_radius, *, start_angle=0.0, end_angle=360.0,
             tolerance=None, layer=0, datatype=0, elflags=0, plex=0, props=None):
        """Writes a ring (or an elliptic one, with (rx, ry) pairs) between
        inner_radius and radius, or a sector of it from start_angle to
        end_angle: :meth:`ellipse` with an inner radius."""
        self.ellipse(center, radius, inner_radius=inner_radius, start_angle=start_angle,
                     end_angle=end_angle, tolerance=tolerance, layer=layer,
                     datatype=datatype, elflags=elflags, plex=plex, props=props)

    def text_polygons(self, string, origin=(0, 0), *, height, anchor=0, angle=0.0, layer=0,
                      datatype=0, props=None):
        """Writes text as BOUNDARY polygons, which print on a mask (a TEXT
        label does not), in the library's own 5 x 9 pixel font.

        height is the capital height in database units (at least 7: a pixel
        is height / 7). Printable ASCII is drawn; '\\n' starts a new line;
        any other character is drawn as a box outline. anchor says which
        point of the text lies at origin, as TEXT's presentation does: an
        int (vertical 0 top, 4 middle, 8 bottom, plus horizontal 0 left, 1
        centre, 2 right) or one of the names "top left", "top", "top
        right", "left", "center", "right", "bottom left", "bottom", "bottom
        right" (bottom is the baseline of the last line). The text is then
        turned by angle (degrees, counter-clockwise) about origin.
        """
        if not self._open:
            self._not_open()
        if string is None:
            data = None
        elif isinstance(string, bytes):
            data = string
        else:
            data = str(string).encode("latin-1", errors="replace")
        x, y = point(origin, "origin")
        layer, datatype = _layer(layer, datatype, "datatype")
        if isinstance(anchor, str):
            try:
                anchor = _ANCHORS[anchor.lower()]
            except KeyError:
                raise ValueError(f"anchor {anchor!r} is none of {', '.join(_ANCHORS)}") from None
        self._write(props, self._native.quillon_text_polygons,
            data, x, y, int32(height, "height"), int32(anchor, "anchor"), float(angle), layer,
            datatype)

    def circle(self, center, radius, count=None, *, tolerance=None, layer=0, datatype=0,
               elflags=0, plex=0, props=None):
        """Writes a circle as a BOUNDARY of count points (3 to 199, 64 by
        default), counter-clockwise from (center x + radius, center y);
        computed coordinates are truncated toward zero.

        With tolerance instead of count (database units), the circle has as
        many points as keep every chord within tolerance of it, any number,
        rounded to the nearest grid point: :meth:`ellipse`."""
        if tolerance is not None:
            if count is not None:
                raise TypeError("circle takes count or tolerance, not both")
            Structure.ellipse(self, center, radius, tolerance=tolerance, layer=layer,
                              datatype=datatype, elflags=elflags, plex=plex, props=props)
            return
        if count is None:
            count = 64
        if not self._open:
            self._not_open()
        cx, cy = point(center, "center")
        layer, datatype = _layer(layer, datatype, "datatype")
        self._write(props, self._native.quillon_circle,
            cx, cy, int32(radius, "radius"), int32(count, "count"), layer, datatype,
            int32(elflags, "elflags"), int32(plex, "plex"))

    def arc(self, center, radius, start_angle, end_angle, count=None, *, tolerance=None,
            width=0, layer=0, datatype=0, pathtype=0, elflags=0, plex=0, props=None,
            bgnextn=None, endextn=None):
        """Writes an arc as a PATH of count points (3 to 199, 64 by default)
        on the circle, from start_angle in count steps of (end_angle -
        start_angle) / count (degrees, counter-clockwise): the last point
        lies one step short of end_angle.

        With tolerance instead of count, the arc runs from start_angle to
        end_angle exactly, with as many points (rounded to the nearest grid
        point) as keep each chord within tolerance of the circle, and may
        take bgnextn and endextn (path type 4) as :meth:`path` does."""
        if tolerance is not None or bgnextn is not None or endextn is not None:
            if count is not None:
                raise TypeError("arc takes count or tolerance, not both")
            if not self._open:
                self._not_open()
            if bgnextn is not None or endextn is not None:
                if pathtype not in (0, 4):
                    raise ValueError(f"bgnextn and endextn are the extensions of path type "
                                     f"4, not of path type {pathtype}")
                pathtype = 4
            cx, cy = point(center, "center")
            layer, datatype = _layer(layer, datatype, "datatype")
            self._write(props, self._native.quillon_arc_path,
                cx, cy, int32(radius, "radius"), float(start_angle), float(end_angle),
                _tolerance(tolerance), int32(width, "width"), int32(pathtype, "pathtype"),
                int32(bgnextn or 0, "bgnextn"), int32(endextn or 0, "endextn"), layer,
                datatype, int32(elflags, "elflags"), int32(plex, "plex"))
            return
        if count is None:
            count = 64
        if not self._open:
            self._not_open()
        cx, cy = point(center, "center")
        layer, datatype = _layer(layer, datatype, "datatype")
        self._write(props, self._native.quillon_arc,
            cx, cy, int32(radius, "radius"), float(start_angle), float(end_angle),
            int32(count, "count"), int32(width, "width"), layer, datatype,
            int32(pathtype, "pathtype"), int32(elflags, "elflags"), int32(plex, "plex"))

    def sector(self, center, radius, start_angle, end_angle, count=64, *, layer=0,
               datatype=0, elflags=0, plex=0, props=None):
        """Writes a pie slice as a BOUNDARY of count points (3 to 199): the
        centre, then count - 1 points from start_angle in steps of
        (end_angle - start_angle) / count, so the slice covers
        (count - 2) / count of the sweep."""
        if not self._open:
            self._not_open()
        cx, cy = point(center, "center")
        layer, datatype = _layer(layer, datatype, "datatype")
        self._write(props, self._native.quillon_sector,
            cx, cy, int32(radius, "radius"), float(start_angle), float(end_angle),
            int32(count, "count"), layer, datatype, int32(elflags, "elflags"),
            int32(plex, "plex"))

    # -- references ----------------------------------------------------------

    def sref(self, sname, origin=(0, 0), *, magnification=1.0, angle=0.0, reflect=False,
             abs_magnification=False, abs_angle=False, elflags=0, plex=0, props=None):
        """Writes an SREF: one instance of structure sname at origin.

        sname is the name (str or bytes) or the :class:`Structure` of
        this library to place. reflect mirrors about the x axis before the
        rotation by angle (degrees, counter-clockwise); abs_magnification
        and abs_angle would set the STRANS absolute bits, which KLayout and
        gdspy ignore, so they are refused. The name need not exist yet: a
        structure may be written after the references to it; one never
        defined makes close() issue :class:`UndefinedStructureWarning`.
        """
        if not self._open:
            self._not_open()
        x, y = point(origin, "origin")
        self._write(props, self._native.quillon_sref,
            _name(sname, self._library), x, y, strans(reflect, abs_magnification, abs_angle),
            real8(magnification, "magnification"), real8(angle, "angle"),
            int32(elflags, "elflags"), int32(plex, "plex"))

    def aref(self, sname, xy, columns, rows, spacing=None, *, magnification=1.0, angle=0.0,
             reflect=False, abs_magnification=False, abs_angle=False, elflags=0, plex=0, props=None):
        """Writes an AREF: columns x rows instances of structure sname.

        Either the three points of the GDSII record: xy is the origin, the
        origin displaced by columns column pitches, and the origin displaced
        by rows row pitches; or, with ``spacing=(dx, dy)``, xy is the origin
        and the instances lie dx apart along the columns and dy apart along
        the rows, in the array's own frame: the lattice turns with the
        instances (mirrored by reflect, then rotated by angle, the points
        rounded half away from zero), as gdspy and gdstk place it. With angle
        0 and no reflection that is ``[(x, y), (x + columns * dx, y), (x, y +
        rows * dy)]``. The transformation keywords are those of :meth:`sref`.
        """
        if not self._open:
            self._not_open()
        if spacing is not None:
            xy = [(_whole(px), _whole(py)) for px, py in _lattice(
                point(xy, "origin"), columns, rows, point(spacing, "spacing"), reflect,
                float(angle))]
        pts = to_points(xy)
        if pts.count != 3:
            raise ValueError(f"an AREF takes exactly 3 points, not {pts.count}")
        self._write(props, self._native.quillon_aref,
            _name(sname, self._library), pts.xs, pts.ys, int32(columns, "columns"),
            int32(rows, "rows"), strans(reflect, abs_magnification, abs_angle),
            real8(magnification, "magnification"), real8(angle, "angle"),
            int32(elflags, "elflags"), int32(plex, "plex"))

    # -- annotation ----------------------------------------------------------

    def text(self, string, origin=(0, 0), *, layer=0, texttype=0, presentation=0,
             pathtype=0, width=0, magnification=1.0, angle=0.0, reflect=False,
             abs_magnification=False, abs_angle=False, elflags=0, plex=0, props=None):
        """Writes a TEXT label (at most 512 ASCII characters) at origin.

        texttype lies in 0 to 255. presentation holds the font (bits 0x30),
        vertical justification (0x0C: 0 top, 4 middle, 8 bottom) and
        horizontal justification (0x03: 0 left, 1 centre, 2 right). The
        transformation keywords are those of :meth:`sref`.
        """
        if not self._open:
            self._not_open()
        data = None if string is None else text_string(string)
        layer, texttype = _layer(layer, texttype, "texttype")
        x, y = point(origin, "origin")
        self._write(props, self._native.quillon_text,
            x, y, data, layer, texttype, int32(presentation, "presentation"),
            int32(pathtype, "pathtype"), int32(width, "width"),
            strans(reflect, abs_magnification, abs_angle), real8(magnification, "magnification"),
            real8(angle, "angle"), int32(elflags, "elflags"), int32(plex, "plex"))

    def node(self, points=None, *, xs=None, ys=None, layer=0, nodetype=0, elflags=0, plex=0, props=None):
        """Writes a NODE (electrical net node) of 1 to 50 points, not closed."""
        if not self._open:
            self._not_open()
        layer, nodetype = _layer(layer, nodetype, "nodetype")
        elflags = int32(elflags, "elflags")
        plex = int32(plex, "plex")
        pts = to_points(points, xs, ys)
        self._write(props, self._native.quillon_node, pts.xs, pts.ys, pts.count, layer,
                                              nodetype, elflags, plex)


def _properties(props):
    """[(attribute, bytes)] of props, every one checked before any is queued.
    Values follow the one rule for strings of the binding (see _checks)."""
    items = props.items() if hasattr(props, "items") else props
    checked = []
    for attribute, value in items:
        attribute = index(attribute, "property attribute")
        if not 1 <= attribute <= 65535:
            raise ArgumentValueError(msg.PROPERTY_ATTRIBUTE_RANGE, f"attribute {attribute}")
        value = ascii_bytes(value, f"property {attribute} value")
        if len(value) > 65530:
            raise ArgumentValueError(msg.PROPERTY_VALUE_TOO_LONG,
                                     f"{len(value)} bytes, at most 65530")
        checked.append((attribute, value))
    return checked


def _name(sname, library):
    """A referenced structure name as bytes: a str, bytes or a Structure of
    this library (None passes as NULL: the library refuses it with its own
    message)."""
    if isinstance(sname, Structure):
        if sname._library is not library:
            raise ArgumentValueError(msg.WRONG_TYPE, f"structure {sname.name!r} belongs to "
                                                     f"another quillon.Library")
        return sname.name.encode("latin-1")  # the bytes it was opened with
    if sname is None:
        return None
    if not isinstance(sname, (str, bytes, bytearray)):
        raise ArgumentTypeError(msg.WRONG_TYPE, f"sname must be str, bytes or a "
                                                f"quillon.Structure, not {type(sname).__name__}")
    return ascii_bytes(sname, "sname")


_ANCHORS = {"top left": 0, "top": 1, "top right": 2, "left": 4, "center": 5, "right": 6,
            "bottom left": 8, "bottom": 9, "bottom right": 10}


def _tolerance(tolerance):
    """The chord tolerance in database units: 1 unless given."""
    return 1.0 if tolerance is None else float(tolerance)


def _radii(radius, name):
    """(rx, ry) from one radius or an (rx, ry) pair."""
    if isinstance(radius, (tuple, list)):
        return point(radius, name)
    value = int32(radius, name)
    return value, value


def _whole(value):
    return value if isinstance(value, int) else round_half_away(value)


def _lattice(origin, columns, rows, spacing, reflect, angle):
    """The three AREF points of a columns x rows array of pitch spacing in
    the array's own frame, mirrored about x when reflect, rotated by angle
    (unrounded: floats unless the turn is a multiple of 90 degrees)."""
    (x, y), (dx, dy) = origin, spacing
    cols_x, cols_y = operator.index(columns) * dx, 0
    rows_x, rows_y = 0, operator.index(rows) * dy
    if reflect:
        rows_y = -rows_y
    if angle % 360.0 == 0.0:
        return [(x, y), (x + cols_x, y + cols_y), (x + rows_x, y + rows_y)]
    turn = math.radians(angle)
    c, s = math.cos(turn), math.sin(turn)
    quarter = angle % 90.0 == 0.0
    if quarter:  # exact for the right angles
        c, s = round(c), round(s)

    def rotate(vx, vy):
        return (x + (vx * c - vy * s), y + (vx * s + vy * c))

    return [(x, y), rotate(cols_x, cols_y), rotate(rows_x, rows_y)]


class UserStructure(Structure):
    """A structure of a ``coordinates="user"`` library: every coordinate,
    width and radius is in user units (int or float) and is rounded half
    away from zero to the database grid before the :class:`Structure`
    method of the same name writes it."""

    def __init__(self, library, name, native):
        super().__init__(library, name, native)
        self._grid = library._grid

    def box(self, x1, y1, x2=None, y2=None, **keywords):
        g = self._grid
        if x2 is None:
            (x1, y1), (x2, y2) = g.point(x1, "corner1"), g.point(y1, "corner2")
        else:
            x1, y1, x2, y2 = g.length(x1), g.length(y1), g.length(x2), g.length(y2)
        super().box(x1, y1, x2, y2, **keywords)

    def box_wh(self, x, y, width, height=None, **keywords):
        g = self._grid
        if height is None:
            (x, y), width, height = g.point(x, "corner"), y, width
        else:
            x, y = g.length(x), g.length(y)
        super().box_wh(x, y, g.length(width, "width"), g.length(height, "height"), **keywords)

    def square(self, x, y, side=None, **keywords):
        g = self._grid
        if side is None:
            (x, y), side = g.point(x, "corner"), y
        else:
            x, y = g.length(x), g.length(y)
        super().square(x, y, g.length(side, "side"), **keywords)

    def rectangle(self, corner1, corner2, **keywords):
        g = self._grid
        super().rectangle(g.point(corner1, "corner1"), g.point(corner2, "corner2"), **keywords)

    def boxes(self, corners, **keywords):
        g = self._grid
        if _np is not None and isinstance(corners, _np.ndarray):
            corners = g.array(corners, "corners")
        else:
            corners = [[g.length(v, "corners") for v in row] for row in corners]
        super().boxes(corners, **keywords)

    def boundary(self, points=None, *, xs=None, ys=None, **keywords):
        g = self._grid
        super().boundary(g.points(points), xs=g.axis(xs, "xs"), ys=g.axis(ys, "ys"),
                         **keywords)

    def polygon(self, points=None, *, xs=None, ys=None, holes=None, **keywords):
        g = self._grid
        holes = None if holes is None else [g.points(ring) for ring in holes]
        super().polygon(g.points(points), xs=g.axis(xs, "xs"), ys=g.axis(ys, "ys"),
                        holes=holes, **keywords)

    def boundaries(self, polygons=None, *, xs=None, ys=None, **keywords):
        g = self._grid
        if polygons is not None:
            if _np is not None and isinstance(polygons, _np.ndarray):
                polygons = g.array(polygons, "polygons")
            else:
                polygons = [g.points(p) for p in polygons]
        super().boundaries(polygons, xs=g.axis(xs, "xs"), ys=g.axis(ys, "ys"), **keywords)

    def path(self, points=None, *, xs=None, ys=None, width=0, **keywords):
        g = self._grid
        self._lengths(keywords, "bgnextn", "endextn", "bend_radius")
        super().path(g.points(points), xs=g.axis(xs, "xs"), ys=g.axis(ys, "ys"),
                     width=g.length(width, "width"), **keywords)

    def _lengths(self, keywords, *names):
        # Lengths among the keywords in user units; the tolerance, a bound
        # rather than a coordinate, is scaled without rounding.
        for name in names:
            if keywords.get(name) is not None:
                keywords[name] = self._grid.length(keywords[name], name)
        if keywords.get("tolerance") is not None:
            keywords["tolerance"] = float(keywords["tolerance"]) * self._grid.scale

    def _radius(self, radius, name):
        g = self._grid
        if isinstance(radius, (tuple, list)):
            return g.point(radius, name)
        return g.length(radius, name)

    def circle(self, center, radius, count=None, **keywords):
        g = self._grid
        self._lengths(keywords)
        super().circle(g.point(center, "center"), g.length(radius, "radius"), count, **keywords)

    def ellipse(self, center, radius, *, inner_radius=0, **keywords):
        self._lengths(keywords)
        super().ellipse(self._grid.point(center, "center"), self._radius(radius, "radius"),
                        inner_radius=self._radius(inner_radius, "inner_radius"), **keywords)

    def ring(self, center, radius, inner_radius, **keywords):
        self.ellipse(center, radius, inner_radius=inner_radius, **keywords)

    def text_polygons(self, string, origin=(0, 0), *, height, **keywords):
        g = self._grid
        super().text_polygons(string, g.point(origin, "origin"),
                              height=g.length(height, "height"), **keywords)

    def arc(self, center, radius, start_angle, end_angle, count=None, *, width=0, **keywords):
        g = self._grid
        self._lengths(keywords, "bgnextn", "endextn")
        super().arc(g.point(center, "center"), g.length(radius, "radius"), start_angle,
                    end_angle, count, width=g.length(width, "width"), **keywords)

    def sector(self, center, radius, start_angle, end_angle, count=64, **keywords):
        g = self._grid
        super().sector(g.point(center, "center"), g.length(radius, "radius"), start_angle,
                       end_angle, count, **keywords)

    def sref(self, sname, origin=(0, 0), **keywords):
        super().sref(sname, self._grid.point(origin, "origin"), **keywords)

    def aref(self, sname, xy, columns, rows, spacing=None, **keywords):
        g = self._grid
        if spacing is not None:
            # The lattice is computed in user units and rounded once per point.
            xy = _lattice(point_float(xy, "origin"), columns, rows,
                          point_float(spacing, "spacing"), keywords.get("reflect", False),
                          float(keywords.get("angle", 0.0)))
        super().aref(sname, g.points(xy), columns, rows, **keywords)

    def text(self, string, origin=(0, 0), *, width=0, **keywords):
        g = self._grid
        super().text(string, g.point(origin, "origin"), width=g.length(width, "width"),
                     **keywords)

    def node(self, points=None, *, xs=None, ys=None, **keywords):
        g = self._grid
        super().node(g.points(points), xs=g.axis(xs, "xs"), ys=g.axis(ys, "ys"), **keywords)


def point_float(value, name):
    try:
        x, y = value
        return float(x), float(y)
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be an (x, y) pair of numbers, not {value!r}") from None
