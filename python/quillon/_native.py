# SPDX-License-Identifier: MIT
"""Loading the Quillon shared library and declaring its functions.

The library is looked for, in this order, at:

1. the path in the ``QUILLON_LIBRARY`` environment variable (when it is set,
   nothing else is tried, so a wrong setting is never silently ignored);
2. a copy next to this package (``quillon/libquillon.so``, ``Quillon.dll``),
   which is where ``pip install`` and the wheel put the library they build;
3. the build folder of the source tree this package sits in
   (``build/libquillon.so`` relative to the repository root, or the
   ``dist/win32`` / ``dist/win64`` DLL on Windows);
4. the system loader (``libquillon.so`` / ``Quillon.dll`` on its search path).

On Windows ``Quillon.dll`` is loaded with ``ctypes.WinDLL`` (stdcall, the
convention of the 32-bit DLL), elsewhere with ``ctypes.CDLL``.

An error handler is installed as soon as the library is loaded and is never
removed: without one the library throws a C++ exception, which must never
cross into Python. The handler only records the texts; the binding turns
them into :class:`quillon.QuillonError` once the call has returned.
"""

import ctypes
import os
import sys
from pathlib import Path

from .errors import QuillonError

_WINDOWS = sys.platform == "win32"
if _WINDOWS:
    _LIBRARY_NAME = "Quillon.dll"
    _Loader = ctypes.WinDLL
    _HANDLER_TYPE = ctypes.WINFUNCTYPE(ctypes.c_int, ctypes.c_char_p)
    CALLBACK_TYPE = ctypes.WINFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p)
elif sys.platform == "darwin":
    _LIBRARY_NAME = "libquillon.dylib"
    _Loader = ctypes.CDLL
    _HANDLER_TYPE = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_char_p)
    CALLBACK_TYPE = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p)
else:
    _LIBRARY_NAME = "libquillon.so"
    _Loader = ctypes.CDLL
    _HANDLER_TYPE = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_char_p)
    CALLBACK_TYPE = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p)

_int = ctypes.c_int
_double = ctypes.c_double
_text = ctypes.c_char_p
_ints = ctypes.c_void_p  # const int*: passed as an address

# Argument lists exactly as include/quillon.h declares them.
_PROTOTYPES = {
    "GDS_BeginLib": [_text, _double, _double],
    "GDS_EndLib": [],
    "GDS_BeginStructure": [_text],
    "GDS_EndStructure": [],
    "GDS_Path": [_ints, _ints, _int, _int, _int, _int, _int, _int, _int],
    "GDS_Arc": [_int, _int, _int, _double, _double, _int, _int, _int, _int, _int, _int,
                _int],
    "GDS_Boundary": [_ints, _ints, _int, _int, _int, _int, _int],
    "GDS_Circle": [_int, _int, _int, _int, _int, _int, _int, _int],
    "GDS_Sector": [_int, _int, _int, _double, _double, _int, _int, _int, _int, _int],
    "GDS_Box": [_int, _int, _int, _int, _int, _int, _int, _int],
    "GDS_BoxWH": [_int, _int, _int, _int, _int, _int, _int, _int],
    "GDS_Square": [_int, _int, _int, _int, _int, _int, _int],
    "GDS_Sref": [_text, _int, _int, _int, _double, _double, _int, _int],
    "GDS_Aref": [_text, _ints, _ints, _int, _int, _int, _double, _double, _int, _int],
    "GDS_Text": [_int, _int, _text, _int, _int, _int, _int, _int, _int, _double, _double,
                 _int, _int],
    "GDS_Node": [_ints, _ints, _int, _int, _int, _int, _int],
    "GDS_SetTimestamp": [_int, _int, _int, _int, _int, _int],
    "GDS_Include": [_text],
}


class QuillonOptions(ctypes.Structure):
    """struct QuillonOptions of quillon.h, field for field. Its size field
    tells the library which fields the caller knows: a library older than
    a field reads only the fields before it."""

    _fields_ = [("size", ctypes.c_uint), ("libraryName", ctypes.c_char_p),
                ("timestamp", ctypes.c_int * 6), ("onError", CALLBACK_TYPE),
                ("userData", ctypes.c_void_p), ("strict", ctypes.c_int),
                ("compression", ctypes.c_int), ("compact", ctypes.c_int)]


if _WINDOWS:
    INCLUDED_TYPE = ctypes.WINFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int)
    INCLUDE_FAULT_TYPE = ctypes.WINFUNCTYPE(None, ctypes.c_void_p, ctypes.c_longlong,
                                            ctypes.c_char_p)
else:
    INCLUDED_TYPE = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int)
    INCLUDE_FAULT_TYPE = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_longlong,
                                          ctypes.c_char_p)


class QuillonIncludeOptions(ctypes.Structure):
    """struct QuillonIncludeOptions of quillon.h, field for field."""

    _fields_ = [("size", ctypes.c_uint), ("prefix", ctypes.c_char_p),
                ("structures", ctypes.POINTER(ctypes.c_char_p)),
                ("onStructure", INCLUDED_TYPE), ("onFault", INCLUDE_FAULT_TYPE),
                ("userData", ctypes.c_void_p)]


_FUNCTION_TYPE = ctypes.WINFUNCTYPE if _WINDOWS else ctypes.CFUNCTYPE
SCAN_UNITS_TYPE = _FUNCTION_TYPE(None, ctypes.c_void_p, ctypes.c_double, ctypes.c_double)
SCAN_STRUCTURE_TYPE = _FUNCTION_TYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int,
                                     ctypes.c_int, ctypes.POINTER(ctypes.c_char_p))


class QuillonScanCallbacks(ctypes.Structure):
    """struct QuillonScanCallbacks of quillon.h, field for field."""

    _fields_ = [("size", ctypes.c_uint), ("onUnits", SCAN_UNITS_TYPE),
                ("onStructure", SCAN_STRUCTURE_TYPE), ("onFault", INCLUDE_FAULT_TYPE),
                ("userData", ctypes.c_void_p)]


_writer = ctypes.c_void_p  # QuillonWriter*

# The handle API: (argument types, result type), as include/quillon.h declares
# them. Every writer function but quillon_open answers an int status.
_HANDLE_PROTOTYPES = {
    "quillon_default_options": ([ctypes.POINTER(QuillonOptions)], None),
    "quillon_open": ([_text, _double, _double, ctypes.POINTER(QuillonOptions),
                      ctypes.POINTER(_int)], _writer),
    "quillon_close": ([_writer], _int),
    "quillon_last_error": ([_writer], _text),
    "quillon_begin_structure": ([_writer, _text], _int),
    "quillon_include": ([_writer, _text, ctypes.POINTER(QuillonIncludeOptions)], _int),
    "quillon_scan": ([_text, ctypes.POINTER(QuillonScanCallbacks)], _int),
    "quillon_end_structure": ([_writer], _int),
    "quillon_box": ([_writer] + [_int] * 8, _int),
    "quillon_box_wh": ([_writer] + [_int] * 8, _int),
    "quillon_square": ([_writer] + [_int] * 7, _int),
    "quillon_boundary": ([_writer, _ints, _ints, _int, _int, _int, _int, _int], _int),
    "quillon_property": ([_writer, _int, _text], _int),
    "quillon_polygon": ([_writer, _ints, _ints, _int, _int, _int, _int, _int], _int),
    "quillon_set_polygon_limit": ([_writer, _int], _int),
    "quillon_polygon_rings": ([_writer, _ints, _ints, _ints, _int, _int, _int, _int, _int], _int),
    "quillon_path": ([_writer, _ints, _ints] + [_int] * 7, _int),
    "quillon_circle": ([_writer] + [_int] * 8, _int),
    "quillon_sector": ([_writer, _int, _int, _int, _double, _double] + [_int] * 5, _int),
    "quillon_arc": ([_writer, _int, _int, _int, _double, _double] + [_int] * 7, _int),
    "quillon_sref": ([_writer, _text, _int, _int, _int, _double, _double, _int, _int], _int),
    "quillon_aref": ([_writer, _text, _ints, _ints, _int, _int, _int, _double, _double, _int,
                      _int], _int),
    "quillon_text": ([_writer, _int, _int, _text, _int, _int, _int, _int, _int, _int, _double,
                      _double, _int, _int], _int),
    "quillon_node": ([_writer, _ints, _ints, _int, _int, _int, _int, _int], _int),
    "quillon_ellipse": ([_writer] + [_int] * 6 + [_double] * 3 + [_int] * 4, _int),
    "quillon_path_ex": ([_writer, _ints, _ints] + [_int] * 6 + [_double] + [_int] * 4, _int),
    "quillon_text_polygons": ([_writer, _text, _int, _int, _int, _int, _double, _int, _int],
                              _int),
    "quillon_arc_path": ([_writer, _int, _int, _int, _double, _double, _double] + [_int] * 8,
                         _int),
}

# Texts reported during the call in progress, oldest first.
reports = []


def _record_report(message):
    # Runs inside the library: it must never raise.
    try:
        reports.append(message.decode("latin-1") if message else "")
    except BaseException:  # pragma: no cover - nothing can be done here
        pass
    return 0


# Kept at module level for the life of the process: the library holds the
# pointer.
_handler = _HANDLER_TYPE(_record_report)


def raise_reports(detail=None):
    """Raises QuillonError for the texts reported since the last check."""
    messages = list(reports)
    reports.clear()
    raise QuillonError(messages[0], detail, messages)


def check_reports(detail=None):
    """Raises QuillonError when the last call reported anything."""
    if reports:
        raise_reports(detail)


def candidate_paths():
    """The places the library is looked for, in order (see the module doc)."""
    configured = os.environ.get("QUILLON_LIBRARY")
    if configured:
        return [configured]
    here = Path(__file__).resolve().parent
    root = here.parent.parent
    paths = [here / _LIBRARY_NAME, root / "build" / _LIBRARY_NAME]
    if _WINDOWS:
        bits = "win64" if ctypes.sizeof(ctypes.c_void_p) == 8 else "win32"
        paths.append(root / "dist" / bits / _LIBRARY_NAME)
    paths = [str(p) for p in paths if p.is_file()]
    paths.append(_LIBRARY_NAME)
    return paths


class Native:
    """The loaded library: its functions with their argument types declared.

    Every function of quillon.h is an attribute under its C name (the flat
    GDS_* ones and the quillon_* handle API). ``raw_quillon_box`` is
    ``quillon_box`` without declared argument types, as ``raw_box`` below. ``raw_box``
    is ``GDS_Box`` without declared argument types, for the batch loop that
    hands it plain, already checked Python ints (ctypes converts those
    faster without a declaration). ``path`` is the file that was loaded.
    """

    def __init__(self, path):
        self.path = path
        self.dll = _Loader(path)
        for name, argtypes in _PROTOTYPES.items():
            function = getattr(self.dll, name)
            function.argtypes = argtypes
            function.restype = ctypes.c_int
            setattr(self, name, function)
        self.SetErrorHandle = self.dll.SetErrorHandle
        self.SetErrorHandle.argtypes = [_HANDLER_TYPE]
        self.SetErrorHandle.restype = ctypes.c_void_p
        self.raw_box = self.dll["GDS_Box"]
        self.raw_box.restype = ctypes.c_int
        for name, (argtypes, restype) in _HANDLE_PROTOTYPES.items():
            function = getattr(self.dll, name)
            function.argtypes = argtypes
            function.restype = restype
            setattr(self, name, function)
        # quillon_box without declared argument types: the fastest ctypes
        # path for plain, already checked ints (the writer goes as a c_void_p).
        self.raw_quillon_box = self.dll["quillon_box"]
        self.raw_quillon_box.restype = ctypes.c_int
        self.install_handler()

    def install_handler(self):
        """(Re)installs the recording error handler."""
        self.SetErrorHandle(_handler)


_native = None


def native():
    """The loaded library, loading it on first use.

    Raises OSError naming every path tried when none can be loaded.
    """
    global _native
    if _native is None:
        tried = []
        for path in candidate_paths():
            try:
                _native = Native(path)
                break
            except OSError as error:
                tried.append(f"{path}: {error}")
        else:
            raise OSError("cannot load the Quillon library; tried:\n  " + "\n  ".join(tried)
                          + "\nset QUILLON_LIBRARY to the path of " + _LIBRARY_NAME)
    return _native
