"""User-unit coordinates rounded to the database grid (coordinates="user").

A value in user units becomes ``value * (1 / db_in_user_units)`` database
units, rounded half away from zero (2.5 -> 3, -2.5 -> -3, 0.4999... -> 0).
An int times an integral factor (1000 for 0.001) is computed exactly, in
integers. The results are ints (or int64 numpy arrays) that the usual
32-bit range checks then take as database units.
"""

import math
import numbers
import operator

from . import _messages as msg
from ._checks import out_of_range
from ._points import _np
from .errors import ArgumentTypeError, ArgumentValueError


class UnitsInMeters:
    """unit and precision, gdstk's spelling of the units, for a class with
    db_in_user_units and db_in_meters."""

    @property
    def unit(self):
        """The user unit in metres (db_in_meters / db_in_user_units)."""
        return self.db_in_meters / self.db_in_user_units

    @property
    def precision(self):
        """The database unit in metres."""
        return self.db_in_meters


def round_half_away(value):
    """The float value rounded to the nearest int, halves away from zero."""
    whole = math.trunc(value)  # ValueError / OverflowError for NaN, inf
    if abs(value - whole) >= 0.5:  # exact: value - trunc(value) is a float
        whole += 1 if value > 0 else -1
    return whole


def _is_ndarray(value):
    return _np is not None and isinstance(value, _np.ndarray)


class Grid:
    """The conversion from user units to database units of one library."""

    def __init__(self, db_in_user_units):
        self.scale = 1.0 / db_in_user_units
        self.int_scale = int(self.scale) if self.scale.is_integer() else None

    def length(self, value, name="coordinate"):
        """One coordinate or length in user units as database units (an int)."""
        if not isinstance(value, float):
            try:
                number = operator.index(value)
            except TypeError:
                number = None
            if number is not None:
                if self.int_scale is not None:
                    return number * self.int_scale
                value = number
            elif not isinstance(value, numbers.Real):
                raise ArgumentTypeError(msg.WRONG_TYPE, f"{name} must be a number, not {value!r}")
        scaled = float(value) * self.scale
        if not math.isfinite(scaled):
            raise ArgumentValueError(msg.NOT_FINITE, f"{name} = {value!r}")
        return round_half_away(scaled)

    def point(self, value, name="point"):
        try:
            x, y = value
        except (TypeError, ValueError):
            raise ArgumentTypeError(msg.WRONG_TYPE, f"{name} must be an (x, y) pair, not "
                                                    f"{value!r}") from None
        return self.length(x, name + " x"), self.length(y, name + " y")

    def array(self, values, name="coordinates"):
        """A numpy array in user units as an int64 array of database units."""
        if values.dtype.kind in "iub" and self.int_scale is not None:
            return values.astype(_np.int64) * self.int_scale
        if values.dtype.kind not in "iubf":
            raise ArgumentTypeError(msg.WRONG_TYPE, f"{name} must hold numbers, not {values.dtype}")
        scaled = values.astype(_np.float64) * self.scale
        if not _np.isfinite(scaled).all() or (scaled.size and _np.abs(scaled).max() >= 2.0 ** 62):
            raise out_of_range(f"{name} holds values outside the signed 32-bit range")
        whole = _np.trunc(scaled)
        whole += _np.where(_np.abs(scaled - whole) >= 0.5, _np.sign(scaled), 0.0)
        return whole.astype(_np.int64)

    def points(self, points):
        """A point list (pairs or an N x 2 array) in database units."""
        if points is None:
            return None
        if _is_ndarray(points):
            return self.array(points, "points")
        return [self.point(p, "points") for p in points]

    def axis(self, values, name):
        """One column of coordinates (xs or ys) in database units."""
        if values is None:
            return None
        if _is_ndarray(values):
            return self.array(values, name)
        return [self.length(v, name) for v in values]
