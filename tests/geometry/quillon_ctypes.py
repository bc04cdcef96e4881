# The flat functions of the library under test, called through ctypes, for
# the geometry tests that write many generated elements.
import ctypes
import os

_int = ctypes.c_int


def load():
    path = os.environ.get("QUILLON_LIBRARY")
    assert path, "QUILLON_LIBRARY is not set (run the geometry tests through ctest)"
    lib = ctypes.CDLL(path)
    lib.GDS_BeginLib.argtypes = [ctypes.c_char_p, ctypes.c_double, ctypes.c_double]
    lib.GDS_BeginStructure.argtypes = [ctypes.c_char_p]
    lib.GDS_Path.argtypes = [ctypes.POINTER(_int), ctypes.POINTER(_int)] + [_int] * 7
    lib.GDS_Arc.argtypes = [_int, _int, _int, ctypes.c_double, ctypes.c_double] + [_int] * 7
    # Reports are collected instead of thrown (an exception cannot cross
    # ctypes): lib.messages lists them.
    lib.messages = []
    handler_type = ctypes.CFUNCTYPE(_int, ctypes.c_char_p)
    lib.handler = handler_type(lambda text: lib.messages.append(text.decode()) or 0)
    lib.SetErrorHandle.argtypes = [handler_type]
    lib.SetErrorHandle.restype = handler_type
    lib.SetErrorHandle(lib.handler)
    if hasattr(lib, "GDS_Polygon"):
        lib.GDS_Polygon.argtypes = [ctypes.POINTER(_int), ctypes.POINTER(_int)] + [_int] * 5
    # The handle functions that the flat API has no twin of.
    writer = ctypes.c_void_p
    lib.quillon_open.argtypes = [ctypes.c_char_p, ctypes.c_double, ctypes.c_double,
                                 ctypes.c_void_p, ctypes.POINTER(_int)]
    lib.quillon_open.restype = writer
    lib.quillon_close.argtypes = [writer]
    lib.quillon_begin_structure.argtypes = [writer, ctypes.c_char_p]
    lib.quillon_end_structure.argtypes = [writer]
    lib.quillon_set_polygon_limit.argtypes = [writer, _int]
    lib.quillon_polygon_rings.argtypes = [writer, ctypes.POINTER(_int), ctypes.POINTER(_int),
                                          ctypes.POINTER(_int)] + [_int] * 5
    return lib


def arrays(points):
    n = len(points)
    xs = (_int * n)(*[p[0] for p in points])
    ys = (_int * n)(*[p[1] for p in points])
    return xs, ys
