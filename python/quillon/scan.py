# SPDX-License-Identifier: MIT
"""A look inside a GDSII file before including it: quillon.scan(path)."""

import ctypes
import os

from . import _messages as msg
from . import _native
from ._checks import name_from_file
from ._units import UnitsInMeters
from .errors import QuillonError
from .library import _file_name


class Scan(UnitsInMeters):
    """What :func:`scan` found in a file.

    ``db_in_user_units`` and ``db_in_meters``: its UNITS, as
    :class:`Library` takes them (``unit`` and ``precision`` give the same
    in gdstk's spelling: the user unit and the database unit in metres).
    ``cells``: every structure name in file order. ``tops``: those no other
    structure references, in file order. ``references``: for each cell, the
    distinct names its SREFs and AREFs reference, sorted (a name may be one
    the file does not define). Names are str when they are ASCII, else the
    file's bytes, so that each can be handed to ``include(structures=...)``
    and ``sref()`` as it is.
    """

    def __init__(self):
        self.db_in_user_units = None
        self.db_in_meters = None
        self.cells = []
        self.tops = []
        self.references = {}

    def __repr__(self):
        return (f"Scan(unit={self.unit!r}, precision={self.precision!r}, "
                f"{len(self.cells)} cells, tops={self.tops!r})")


def scan(path):
    """Reads the GDSII file path (plain or gzip) whole, in memory that grows
    with its number of cells and references only, and returns a
    :class:`Scan`. Nothing is written. A file that is not valid GDSII, as
    ``Library.include`` would refuse it (a cell defined twice included),
    raises QuillonError "Error: Included file is not valid GDSII." with the
    byte offset and reason as its detail; a file that cannot be opened,
    "Error: Cannot open GDSII file."."""
    found = Scan()
    faults = []

    def on_units(user_data, db_in_user_units, db_in_meters):
        found.db_in_user_units = db_in_user_units
        found.db_in_meters = db_in_meters

    def on_structure(user_data, name, top, count, references):
        cell = name_from_file(name)
        found.cells.append(cell)
        if top:
            found.tops.append(cell)
        found.references[cell] = [name_from_file(references[i]) for i in range(count)]

    def on_fault(user_data, offset, detail):
        faults.append(detail.decode("latin-1") if detail else None)

    callbacks = _native.QuillonScanCallbacks()
    callbacks.size = ctypes.sizeof(callbacks)
    callbacks.onUnits = _native.SCAN_UNITS_TYPE(on_units)
    callbacks.onStructure = _native.SCAN_STRUCTURE_TYPE(on_structure)
    callbacks.onFault = _native.INCLUDE_FAULT_TYPE(on_fault)
    status = _native.native().quillon_scan(_file_name(path), ctypes.byref(callbacks))
    if status:
        message = {-4: msg.CANNOT_OPEN_FILE, -6: msg.OUT_OF_MEMORY}.get(
            status, msg.INCLUDED_FILE_INVALID)
        raise QuillonError(message, faults[0] if faults else f"file {os.fspath(path)!r}",
                           status=status)
    return found
