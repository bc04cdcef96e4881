# SPDX-License-Identifier: MIT
"""The GDSII library (file) being written."""

import atexit
import datetime
import os

from . import _messages as msg
from . import _native
from ._checks import MAX_RECORD_DATA, padded_length, real8, structure_name
from .errors import QuillonError
from .structure import Structure

# The one Library open in this process: the C library writes one file at a
# time.
_active = None


def _timestamp_fields(timestamp):
    """The six GDS_SetTimestamp arguments for timestamp (None: the clock)."""
    if timestamp is None:
        return (0, 0, 0, 0, 0, 0)
    if not isinstance(timestamp, datetime.date):
        raise TypeError(f"timestamp must be a datetime or None, not "
                        f"{type(timestamp).__name__}")
    return (timestamp.year, timestamp.month, timestamp.day,
            getattr(timestamp, "hour", 0), getattr(timestamp, "minute", 0),
            getattr(timestamp, "second", 0))


def _file_name(filename):
    data = os.fsencode(os.fspath(filename))
    if b"\0" in data:
        raise ValueError("the file name must not contain a NUL character")
    if padded_length(data) > MAX_RECORD_DATA:
        # LIBNAME could not hold it: the library refuses it like this.
        raise QuillonError(msg.CANNOT_OPEN_FILE, "the file name is too long for LIBNAME")
    return data


class Library:
    """A GDSII Stream file being written, from HEADER to ENDLIB.

    ``Library("chip.gds", db_in_user_units=0.001, db_in_meters=1e-9)``
    creates (or truncates) the file and writes HEADER, BGNLIB, LIBNAME (the
    file name exactly as given) and UNITS: the size of a database unit in user
    units and in metres, passed to the library unchanged (0.001 and 1e-9 for
    a nanometre grid in micrometres).

    ``timestamp``: a :class:`datetime.datetime` written as the creation time
    of the library and of every structure (fields as given, time zone
    ignored), for reproducible files; None uses the local clock.

    Use it as a context manager; leaving the ``with`` block, also by an
    exception, ends any open structure and the library, so the file is
    always complete. Without ``with``, call :meth:`close`. Only one Library
    can be open at a time in a process: opening a second raises
    :class:`QuillonError`. Call the library from one thread at a time.
    """

    def __init__(self, filename, db_in_user_units=0.001, db_in_meters=1e-9, timestamp=None):
        global _active
        if _active is not None:
            raise QuillonError(msg.EXPORT_RUNNING,
                               f"the library {_active.filename!r} is still open: only one "
                               f"quillon.Library can be open at a time in a process; close "
                               f"it first")
        name = _file_name(filename)
        units = (real8(db_in_user_units, "db_in_user_units"),
                 real8(db_in_meters, "db_in_meters"))
        stamp = _timestamp_fields(timestamp)

        native = _native.native()
        native.install_handler()
        _native.reports.clear()
        native.GDS_SetTimestamp(*stamp)
        _native.check_reports(f"timestamp {timestamp}")
        native.GDS_BeginLib(name, *units)
        if _native.reports:
            if msg.CANNOT_OPEN_FILE in _native.reports:
                # Nothing was written; return the library to its idle state.
                native.GDS_EndLib()
                message = msg.CANNOT_OPEN_FILE
                _native.reports.clear()
                raise QuillonError(message, f"cannot create {os.fspath(filename)!r}")
            _native.raise_reports()

        self.filename = os.fspath(filename)
        self.db_in_user_units, self.db_in_meters = units
        self._native = native
        self._names = set()
        self._structure = None
        self._closed = False
        _active = self

    @property
    def closed(self):
        """True once the library has been closed."""
        return self._closed

    @property
    def structure_names(self):
        """The names of the structures written so far, as bytes, in no order."""
        return frozenset(self._names)

    def structure(self, name):
        """Opens the structure (cell) name: writes BGNSTR and STRNAME.

        name is a str of ASCII characters or bytes; names are case-sensitive
        and unique within the library. Structures do not nest: end the open
        one first. Returns the :class:`Structure`, a context manager.
        """
        if self._closed:
            raise QuillonError(msg.PROCESS_STOPPED, f"the library {self.filename!r} is closed")
        if self._structure is not None:
            raise QuillonError(msg.STRUCTURE_ALREADY_OPENED,
                               f"structure {self._structure.name!r} is open")
        data = structure_name(name)
        if data in self._names:
            raise QuillonError(msg.DUPLICATE_STRUCTURE, f"structure {name!r}")
        self._native.GDS_BeginStructure(data)
        _native.check_reports()
        self._names.add(data)
        self._structure = Structure(self, name if isinstance(name, str) else data.decode(
            "latin-1"), self._native)
        return self._structure

    def close(self):
        """Ends the open structure, if any, writes ENDLIB and closes the file.

        Calling it again does nothing. Raises QuillonError("Error: Cannot
        write GDSII file.") when some byte could not be written (a full disk).
        """
        global _active
        if self._closed:
            return
        try:
            if self._structure is not None:
                self._structure.end()
        finally:
            self._closed = True
            _active = None
            self._native.GDS_EndLib()
            _native.check_reports(f"file {self.filename!r}")

    def __enter__(self):
        return self

    def __exit__(self, exc_type, exc, traceback):
        try:
            self.close()
        except QuillonError:
            if exc_type is None:
                raise
        return False

    def __repr__(self):
        state = "closed" if self._closed else "open"
        return f"<quillon.Library {self.filename!r} {state}>"


@atexit.register
def _close_at_exit():
    # A script that never closed its library still leaves a complete file.
    if _active is not None:
        try:
            _active.close()
        except QuillonError:
            pass
