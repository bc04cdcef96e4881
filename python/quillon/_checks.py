# SPDX-License-Identifier: MIT
"""Argument checks made before a call reaches the library.

The library takes every number in a 32-bit slot and keeps only the low 16
bits of the 16-bit GDSII fields, so 65541 would silently become 5; ctypes in
turn silently keeps the low 32 bits of a Python int. The binding refuses such
values before anything is written, with a QuillonError that is also a
ValueError (status -3, out of range) or, for a value of the wrong type, also
a TypeError (status -2).

Strings: one rule for every string the file holds (structure names,
referenced names, TEXT strings, LIBNAME and property values alike). A str
must be ASCII, the character set of GDSII strings; bytes (or bytearray) are
written as they are, for a caller who needs another encoding. A NUL
character is refused in both: the library takes C strings, so it would end
the string early. Both refusals raise QuillonError (also a ValueError) with
status -2.
"""

import math
import operator

from . import _messages as msg
from .errors import ArgumentTypeError, ArgumentValueError, QuillonError

INT16_MIN = -32768
UINT16_MAX = 65535
INT32_MIN = -(2 ** 31)
INT32_MAX = 2 ** 31 - 1

# The largest data length of one record (its 16-bit length counts the four
# header bytes too, and lengths stay even).
MAX_RECORD_DATA = 65530
MAX_TEXT_LENGTH = 512

# Magnitudes a GDSII 8-byte real can hold: [16**-65, 16**63).
_REAL8_SMALLEST = 16.0 ** -65
_REAL8_LIMIT = 16.0 ** 63


# What a float among database units means to change.
USER_UNITS_HINT = ("coordinates are ints in database units here: Library(..., unit=..., "
                   "precision=...) or coordinates=\"user\" takes ints and floats in user units")


def not_an_integer(name, value):
    """The error for a value that is not an int where the file takes one."""
    if isinstance(value, float) or (hasattr(value, "dtype") and value.dtype.kind == "f"):
        return ArgumentTypeError(msg.NOT_AN_INTEGER, f"{name} = {value!r}: {USER_UNITS_HINT}")
    return ArgumentTypeError(msg.WRONG_TYPE, f"{name} must be an integer, not {value!r}")


def index(value, name):
    """value as a Python int (floats refused with the user-units hint)."""
    try:
        return operator.index(value)
    except TypeError:
        raise not_an_integer(name, value) from None


def out_of_range(detail):
    return ArgumentValueError(msg.VALUE_OUT_OF_RANGE, detail)


def word16(value, name):
    """value as an int that fits a 16-bit field (-32768 to 65535)."""
    number = index(value, name)
    if not INT16_MIN <= number <= UINT16_MAX:
        raise out_of_range(f"{name} = {number} does not fit the 16-bit GDSII field "
                           f"({INT16_MIN} to {UINT16_MAX})")
    return number


def int32(value, name):
    """value as an int that fits a signed 32-bit field."""
    number = index(value, name)
    if not INT32_MIN <= number <= INT32_MAX:
        raise out_of_range(f"{name} = {number} does not fit a signed 32-bit integer")
    return number


def point(value, name):
    """An (x, y) pair of 32-bit ints."""
    try:
        x, y = value
    except (TypeError, ValueError):
        raise ArgumentTypeError(msg.WRONG_TYPE, f"{name} must be an (x, y) pair of integers, "
                                                f"not {value!r}") from None
    return int32(x, name + " x"), int32(y, name + " y")


def real8(value, name):
    """value as a float that a GDSII 8-byte real holds (in range). NaN and
    the infinities pass: the library refuses them with its own message."""
    number = float(value)
    magnitude = abs(number)
    if not (magnitude == 0.0 or _REAL8_SMALLEST <= magnitude < _REAL8_LIMIT
            or not math.isfinite(number)):
        raise out_of_range(f"{name} = {number!r} has no GDSII 8-byte real form")
    return number


def strans(reflect, abs_magnification, abs_angle):
    """The STRANS flags word: 0x8000 reflect, 0x0004 absolute magnification,
    0x0002 absolute angle."""
    return (0x8000 if reflect else 0) | (0x0004 if abs_magnification else 0) | (
        0x0002 if abs_angle else 0)


def ascii_bytes(value, name):
    """value (str, bytes or bytearray) as the bytes the library will write,
    by the one rule for strings (see the top of this module)."""
    if isinstance(value, str):
        try:
            data = value.encode("ascii")
        except UnicodeEncodeError as error:
            raise ArgumentValueError(msg.NOT_ASCII, f"{name} {value!r}: {error.reason} at "
                                     f"{error.start}; pass bytes for another "
                                     f"encoding") from None
    elif isinstance(value, (bytes, bytearray)):
        data = bytes(value)
    else:
        raise ArgumentTypeError(msg.WRONG_TYPE, f"{name} must be str or bytes, not "
                                                f"{type(value).__name__}")
    if b"\0" in data:
        raise ArgumentValueError(msg.NUL_IN_STRING, f"{name} {value!r}")
    return data


def padded_length(data):
    """The data length of an ASCII record holding data (even)."""
    return len(data) + (len(data) & 1)


def structure_name(value, name="structure name"):
    """A structure name as bytes, refused as the library would refuse it."""
    if value is None:
        raise QuillonError(msg.STRUCTURE_NAME_NULL)
    data = ascii_bytes(value, name)
    if padded_length(data) > MAX_RECORD_DATA:
        raise QuillonError(msg.STRUCTURE_NAME_TOO_LONG, f"{len(data)} characters")
    return data


def name_from_file(data):
    """A name read from a file (bytes) as the binding hands it out: str
    when it is ASCII, so that it passes the rule above; else the bytes
    themselves, which every call takes back unchanged."""
    try:
        return data.decode("ascii")
    except UnicodeDecodeError:
        return bytes(data)


def text_string(value):
    """A TEXT string as bytes, with the library's own checks and messages."""
    if value is None:
        raise QuillonError(msg.TEXT_NULL)
    data = ascii_bytes(value, "text")
    if len(data) > MAX_TEXT_LENGTH:
        raise QuillonError(msg.TEXT_TOO_LONG, f"{len(data)} characters, at most "
                                              f"{MAX_TEXT_LENGTH}")
    return data


def finite(value, name):
    """value as a finite float (angles)."""
    number = float(value)
    if not math.isfinite(number):
        raise ArgumentValueError(msg.NOT_FINITE, f"{name} = {number!r}")
    return number
