# SPDX-License-Identifier: MIT
"""The GDSII library (file) being written."""

import ctypes
import datetime
import os
import stat
import warnings
import weakref

from . import _messages as msg
from . import _native
from . import _writer
from ._checks import ascii_bytes, name_from_file, real8, structure_name
from ._units import Grid, UnitsInMeters
from .errors import QuillonError, UndefinedStructureWarning
from .structure import Structure, UserStructure

_ON_ERROR = ("partial", "remove", "keep")
_COORDINATES = ("db", "user")


def _timestamp_fields(timestamp):
    """The six timestamp fields of the options for timestamp (None: the clock)."""
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
    return data


def _units(db_in_user_units, db_in_meters, unit, precision):
    """(database unit in user units, in metres) from either spelling."""
    if unit is not None or precision is not None:
        if db_in_user_units is not None or db_in_meters is not None:
            raise TypeError("give the units either as db_in_user_units and db_in_meters or "
                            "as unit and precision, not both")
        unit = 1e-6 if unit is None else float(unit)
        precision = 1e-9 if precision is None else float(precision)
        return precision / unit, precision
    return (0.001 if db_in_user_units is None else db_in_user_units,
            1e-9 if db_in_meters is None else db_in_meters)


def _compression_level(compression):
    """The options' compression field: -1 (by the ".gz" suffix), 0 or 1 to 9."""
    if compression is None:
        return -1
    if compression is False:
        return 0
    if compression is True:
        return 1
    if not isinstance(compression, int) or not 0 <= compression <= 9:
        raise ValueError(f"compression must be None, a bool or a deflate level 0 to 9, "
                         f"not {compression!r}")
    return compression


def _set_aside(path, on_error):
    """What on_error does to an unfinished file, once it is closed: renames
    it to NAME.partial, removes it or keeps it. Returns what was done. Only
    a regular file is ever moved or removed: a device such as /dev/null,
    written to on purpose, stays where it is."""
    try:
        if not stat.S_ISREG(os.stat(path).st_mode):
            return "kept"
        if on_error == "remove":
            os.remove(path)
            return "removed"
        if on_error == "partial":
            suffix = b".partial" if isinstance(path, bytes) else ".partial"
            os.replace(path, path + suffix)
            return f"renamed to {path + suffix!r}"
    except OSError:
        pass  # the error in flight (or the warning) matters more
    return "kept"


def _abandoned(native, handle, filename, on_error):
    # The finalizer of a Library nobody closed (garbage-collected, or still
    # open at interpreter exit): the script stopped before close(), so the
    # file is finished (ENDLIB) and then set aside exactly as after an
    # exception in a with block, so that it never passes for a whole layout.
    try:
        _writer.close_writer(native, handle)
    except (QuillonError, UndefinedStructureWarning):
        pass  # the file is set aside whatever it holds
    done = _set_aside(filename, on_error)
    warnings.warn(f"unclosed quillon.Library {filename!r}: finished without close() and "
                  f"{done} (on_error={on_error!r})", ResourceWarning, stacklevel=2)


class IncludedNames(list):
    """The names Library.include brought in, in file order (a plain list of
    them), with ``tops``: those that no other structure of the same include
    references, in file order."""

    def __init__(self, names, tops):
        super().__init__(names)
        self.tops = tops


class Library(UnitsInMeters):
    """A GDSII Stream file being written, from HEADER to ENDLIB.

    ``Library("chip.gds", db_in_user_units=0.001, db_in_meters=1e-9)``
    creates (or truncates) the file and writes HEADER, BGNLIB, LIBNAME and
    UNITS: the size of a database unit in user units and in metres, passed
    to the library unchanged (0.001 and 1e-9 for a nanometre grid in
    micrometres, the defaults). The same units in gdstk's spelling:
    ``Library("chip.gds", unit=1e-6, precision=1e-9)`` (unit: the user unit
    in metres; precision: the database unit in metres; UNITS then holds
    precision / unit and precision). The two spellings are exclusive; the
    positional arguments are always the first one.

    ``coordinates``: ``"user"`` takes every coordinate, width and radius in
    user units, as ints or floats, and rounds ``value / db_in_user_units``
    half away from zero to the database grid (computed as ``value * (1 /
    db_in_user_units)``; ints times an integral factor stay exact).
    ``"db"`` takes them as ints in database units, exactly as the C library
    does; a float there raises QuillonError (also a TypeError) naming this
    switch. The default follows the spelling of the units, so that neither
    surprises its users:

    =========================================  ==============================
    units given as                             coordinates by default
    =========================================  ==============================
    ``unit=``, ``precision=`` (gdstk's)        ``"user"``: ints or floats
    ``db_in_user_units``, ``db_in_meters``     ``"db"``: ints, database units
    (by name or position), or not at all
    =========================================  ==============================

    With ``Library("chip.gds", unit=1e-6, precision=1e-9)``,
    ``rectangle((0, 0), (60, 60))`` is a 60 um square, as in gdstk.

    ``compact``: True (the default) leaves out the records GDSII makes
    optional at their default values (ELFLAGS 0 and PLEX 0 on every element;
    STRANS, MAG and ANGLE of an untransformed reference or text), so that
    gdspy reads the file without a warning; False writes every record, byte
    for byte as the flat C functions do.

    ``timestamp``: a :class:`datetime.datetime` written as the creation time
    of the library and of every structure (fields as given, time zone
    ignored), for reproducible files; None uses the local clock.

    ``library_name``: the LIBNAME record (str or bytes); None writes the
    file name as given.

    ``compression``: None (the default) writes a gzip stream when the file
    name ends in ``.gz`` (any case) at deflate level 1, the fastest, and a
    plain file otherwise; False or 0 never compresses; True or a level 1 to
    9 always does, at that level (True: 1). KLayout reads ``.gds.gz``
    directly; ``gzip.open`` gives the GDSII bytes to any other reader.

    ``on_error``: what leaving a ``with`` block by an exception, or
    dropping the Library without closing it, does to the file, once it has
    been closed (so that a half layout never passes for a whole one):
    ``"partial"`` (the default) renames it to ``NAME.partial`` (replacing
    any file of that name), ``"remove"`` deletes it, ``"keep"`` leaves it
    complete at its name.

    Every Library has a writer of its own: any number can be open at once,
    each used from one thread at a time (different libraries from different
    threads in parallel). Use it as a context manager, or call
    :meth:`close`. A Library dropped without either (garbage-collected, or
    still open at interpreter exit, as when a script dies outside a
    ``with`` block) is treated as interrupted: the file is finished and then
    ``on_error`` applies to it exactly as after an exception (by default it
    becomes ``NAME.partial``), with a ResourceWarning (shown with ``python
    -W default``).
    """

    def __init__(self, filename, db_in_user_units=None, db_in_meters=None, timestamp=None, *,
                 unit=None, precision=None, coordinates=None, library_name=None,
                 on_error="partial", compression=None, compact=True):
        if on_error not in _ON_ERROR:
            raise ValueError(f"on_error must be one of {_ON_ERROR}, not {on_error!r}")
        if coordinates is None:  # gdstk's spelling takes gdstk's coordinates
            coordinates = "user" if unit is not None or precision is not None else "db"
        if coordinates not in _COORDINATES:
            raise ValueError(f"coordinates must be one of {_COORDINATES}, not {coordinates!r}")
        name = _file_name(filename)
        user, meters = _units(db_in_user_units, db_in_meters, unit, precision)
        units = (real8(user, "db_in_user_units"), real8(meters, "db_in_meters"))
        stamp = _timestamp_fields(timestamp)
        libname = None if library_name is None else ascii_bytes(library_name, "library_name")
        level = _compression_level(compression)

        native = _native.native()
        try:
            handle = _writer.open_writer(native, name, units[0], units[1], libname, stamp, level,
                                         compact)
        except QuillonError as error:
            if error.message == msg.CANNOT_OPEN_FILE:
                error.detail = f"cannot create {os.fspath(filename)!r}"
                error.args = (f"{error.message} ({error.detail})",)
            raise

        self.filename = os.fspath(filename)
        self.db_in_user_units, self.db_in_meters = units
        self.coordinates = coordinates
        self.on_error = on_error
        self._grid = Grid(units[0]) if coordinates == "user" else None
        self._native = native
        self._handle = handle
        self._writer = ctypes.c_void_p(handle)
        self._names = set()
        self._structure = None
        self._closed = False
        self._finalizer = weakref.finalize(self, _abandoned, native, handle, self.filename,
                                           on_error)

    @property
    def closed(self):
        """True once the library has been closed."""
        return self._closed

    @property
    def structure_names(self):
        """The names of the structures written so far, as bytes, in no order."""
        return frozenset(self._names)

    def _fail(self, status, detail=None):
        raise _writer.error(status, self._native, self._handle, detail)

    def set_polygon_limit(self, limit):
        """The most vertices of one BOUNDARY that Structure.polygon writes:
        8 to 4094, 199 by default."""
        if self._handle is None:
            raise QuillonError(msg.PROCESS_STOPPED, f"the library {self.filename!r} is closed")
        status = self._native.quillon_set_polygon_limit(self._handle, int(limit))
        if status:
            self._fail(status)

    def include(self, path, prefix=None, structures=None):
        """Copies the structures of the GDSII file path (plain or gzip) into
        this library, record by record, and returns their names in the
        library, in file order, as an :class:`IncludedNames` list: its
        ``tops`` are the names no other included structure references, the
        ones to place (``for name in lib.include(p).tops: top.sref(name,
        ...)``). A name is str when it is ASCII, else bytes (see
        :func:`quillon.scan`, which shows the same before including).

        structures: None for all of them, or names (as in the file) to take
        with every structure they reference. prefix: put before every
        included name and every reference to one of them. Both follow the
        rule of every name: str of ASCII characters, or bytes. The file's
        database unit must be this library's, or a whole multiple of it (the
        coordinates are then scaled). Nothing of the file is written when
        any of it is wrong: QuillonError is raised with the library's message
        ("Error: Included file is not valid GDSII.", ...) and, as its detail,
        the byte offset and reason.
        """
        if self._closed:
            raise QuillonError(msg.PROCESS_STOPPED, f"the library {self.filename!r} is closed")
        included = []
        tops = []
        faults = []

        def on_structure(user_data, name, top):
            included.append(name)
            if top:
                tops.append(name)

        def on_fault(user_data, offset, detail):
            faults.append(detail.decode("latin-1") if detail else None)

        options = _native.QuillonIncludeOptions()
        options.size = ctypes.sizeof(options)
        if prefix is not None:
            options.prefix = ascii_bytes(prefix, "prefix")
        if structures is not None:
            if isinstance(structures, (str, bytes)):
                structures = [structures]
            names = [structure_name(n, "structures entry") for n in structures]
            options.structures = (ctypes.c_char_p * (len(names) + 1))(*names, None)
        options.onStructure = _native.INCLUDED_TYPE(on_structure)
        options.onFault = _native.INCLUDE_FAULT_TYPE(on_fault)
        status = self._native.quillon_include(self._handle, _file_name(path),
                                              ctypes.byref(options))
        if status:
            self._fail(status, faults[0] if faults else f"file {os.fspath(path)!r}")
        self._names.update(included)
        return IncludedNames([name_from_file(n) for n in included],
                             [name_from_file(n) for n in tops])

    def structure(self, name):
        """Opens the structure (cell) name: writes BGNSTR and STRNAME.

        name is a str of ASCII characters or bytes; names are case-sensitive
        and unique within the library. Structures do not nest: end the open
        one first. Returns the :class:`Structure`, a context manager.
        """
        if self._closed:
            raise QuillonError(msg.PROCESS_STOPPED, f"the library {self.filename!r} is closed")
        data = None if name is None else structure_name(name)
        status = self._native.quillon_begin_structure(self._handle, data)
        if status:
            detail = None
            if self._structure is not None:
                detail = f"structure {self._structure.name!r} is open"
            self._fail(status, detail)
        self._names.add(data)
        kind = Structure if self._grid is None else UserStructure
        self._structure = kind(self, name if isinstance(name, str) else data.decode(
            "latin-1"), self._native)
        return self._structure

    def close(self):
        """Ends the open structure, if any, writes ENDLIB and closes the file.

        Calling it again does nothing. Raises QuillonError("Error: Cannot
        write GDSII file.") when some byte could not be written (a full disk).
        Issues :class:`UndefinedStructureWarning` when an sref or aref names a
        structure never defined (the file is complete and kept).
        """
        self._close()

    def _close(self):
        # Called from close() and __exit__ alike: the warning's stack level
        # 4 points at the user's line either way.
        if self._closed:
            return
        self._finalizer.detach()
        try:
            if self._structure is not None:
                self._structure.end()
        finally:
            self._closed = True
            handle, self._handle = self._handle, None
            _writer.close_writer(self._native, handle, f"file {self.filename!r}", 4)

    def __enter__(self):
        return self

    def __exit__(self, exc_type, exc, traceback):
        try:
            self._close()
        except (QuillonError, UndefinedStructureWarning):
            if exc_type is None:
                raise
        if exc_type is not None:
            _set_aside(self.filename, self.on_error)
        return False

    def __repr__(self):
        state = "closed" if self._closed else "open"
        return f"<quillon.Library {self.filename!r} {state}>"
