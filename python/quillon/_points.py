# SPDX-License-Identifier: MIT
"""Point lists in the form the library takes: two parallel int32 arrays.

The library reads point i as (xs[i], ys[i]) from two separate C arrays of
32-bit ints. What a script may pass, and what that costs:

* ``xs=..., ys=...``: two one-dimensional arrays. A C-contiguous numpy
  array of dtype int32 (or an ``array.array('i')``) is handed to the library
  as it is, without a copy; anything else is converted once.
* ``points``, an N x 2 numpy array of integers. Its x column and its y column
  must each be contiguous to be passed as ``int*``. In a Fortran-ordered
  int32 array they are (``np.asfortranarray(a)``), and it is passed without a
  copy. A C-ordered array interleaves x and y in memory, so the binding makes
  one contiguous 2 x N int32 copy of its transpose (8 bytes per point) whose
  two rows are the xs and ys arrays.
* ``points``, any sequence or iterable of (x, y) pairs of ints: converted to
  two ``array.array('i')``.

Every form gives exactly the same file. Values outside the signed 32-bit
range raise QuillonError (also a ValueError), non-integer coordinates
QuillonError (also a TypeError) naming the switch to user units.
"""

import ctypes
from array import array

from . import _messages as msg
from ._checks import INT32_MAX, INT32_MIN, not_an_integer, out_of_range
from .errors import ArgumentTypeError

try:
    import numpy as _np
except ImportError:  # numpy is optional
    _np = None


class Points:
    """Two int32 arrays ready for the library: ``xs`` and ``ys`` are their
    addresses, ``count`` the number of points. The object keeps the arrays
    alive while the call that uses the addresses runs."""

    __slots__ = ("xs", "ys", "count", "_owners")

    def __init__(self, xs_address, ys_address, count, owners):
        self.xs = xs_address
        self.ys = ys_address
        self.count = count
        self._owners = owners


def _is_ndarray(value):
    return _np is not None and isinstance(value, _np.ndarray)


def _address(buffer):
    if isinstance(buffer, array):
        return buffer.buffer_info()[0]
    return buffer.__array_interface__["data"][0]


def checked_int32_array(values, name):
    """values (a numpy array of any integer dtype) as an int32 numpy array,
    refusing values outside the 32-bit range and non-integer dtypes."""
    if values.dtype == _np.int32:
        return values
    if values.dtype.kind not in "iub":
        raise not_an_integer(name, values)
    if values.size and (values.min() < INT32_MIN or values.max() > INT32_MAX):
        raise out_of_range(f"{name} holds values outside the signed 32-bit range")
    return values.astype(_np.int32)


def _int32_sequence(values, name):
    try:
        return array("i", values)
    except OverflowError:
        raise out_of_range(f"{name} holds values outside the signed 32-bit range") from None
    except TypeError:
        bad = next((v for v in values if not hasattr(v, "__index__")), None)
        raise not_an_integer(name, bad) from None


def _one_axis(values, name):
    """One coordinate array as (buffer, length), copying only when needed."""
    if _is_ndarray(values):
        if values.ndim != 1:
            raise ValueError(f"{name} must be one-dimensional, not of shape {values.shape}")
        values = checked_int32_array(values, name)
        if not values.flags.c_contiguous:
            values = _np.ascontiguousarray(values)
        return values, values.shape[0]
    if isinstance(values, array) and values.itemsize == 4 and values.typecode in "il":
        return values, len(values)
    buffer = _int32_sequence(values, name)
    return buffer, len(buffer)


def _from_columns(xs, ys):
    x_buffer, x_count = _one_axis(xs, "xs")
    y_buffer, y_count = _one_axis(ys, "ys")
    if x_count != y_count:
        raise ValueError(f"xs has {x_count} values but ys has {y_count}")
    return Points(_address(x_buffer), _address(y_buffer), x_count, (x_buffer, y_buffer))


def _from_ndarray(points):
    if points.ndim != 2 or points.shape[1] != 2:
        raise ValueError(f"a point array must have shape (N, 2), not {points.shape}")
    points = checked_int32_array(points, "points")
    count = points.shape[0]
    if points.flags.f_contiguous or count <= 1:
        columns = points.T  # both rows contiguous already: no copy
        if not columns.flags.c_contiguous:
            columns = _np.ascontiguousarray(columns)
    else:
        columns = _np.ascontiguousarray(points.T)
    base = _address(columns)
    return Points(base, base + 4 * count, count, (columns,))


def _from_pairs(points):
    if not isinstance(points, (list, tuple)):
        points = list(points)
    try:
        pairs = [x for x, _ in points], [y for _, y in points]
    except (ValueError, TypeError):
        raise ArgumentTypeError(msg.WRONG_TYPE, "points must be (x, y) pairs of "
                                                "integers") from None
    xs = _int32_sequence(pairs[0], "points")
    ys = _int32_sequence(pairs[1], "points")
    return Points(_address(xs), _address(ys), len(xs), (xs, ys))


def to_points(points=None, xs=None, ys=None):
    """The points of an element from either ``points`` or ``xs`` and ``ys``
    (see the module documentation)."""
    if points is not None:
        if xs is not None or ys is not None:
            raise TypeError("pass either points or xs and ys, not both")
        if _is_ndarray(points):
            return _from_ndarray(points)
        return _from_pairs(points)
    if xs is None or ys is None:
        raise TypeError("points (or both xs and ys) must be given")
    return _from_columns(xs, ys)


def without_closing_point(pts):
    """pts without its last point when that repeats the first, as in a closed
    ring (shapely's, gdspy's): the library appends the closing point itself."""
    last = pts.count - 1
    if last < 3:
        return pts
    owners = pts._owners
    if len(owners) == 2 and isinstance(owners[0], array) and isinstance(owners[1], array):
        xs, ys = owners  # point lists: the quick way
        if xs[0] != xs[last] or ys[0] != ys[last]:
            return pts
    else:
        x = ctypes.c_int32.from_address
        if (x(pts.xs).value, x(pts.ys).value) != (x(pts.xs + 4 * last).value,
                                                x(pts.ys + 4 * last).value):
            return pts
    return Points(pts.xs, pts.ys, last, owners)
