#!/usr/bin/python3
# File sizes of quillon-bench's workloads 1 to 6 written through the handle
# API with full records (compact 0) and compact records (compact 1, the
# default): the same element calls, record for record (geometry values do
# not change a record's size), 100,000 elements each.
#   QUILLON_LIBRARY=build/libquillon.so /usr/bin/python3 bench/compact_sizes.py
import ctypes
import os
import tempfile

lib = ctypes.CDLL(os.environ.get("QUILLON_LIBRARY", "build/libquillon.so"))
I, D = ctypes.c_int, ctypes.c_double


class Options(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint), ("libraryName", ctypes.c_char_p),
                ("timestamp", I * 6), ("onError", ctypes.c_void_p),
                ("userData", ctypes.c_void_p), ("strict", I), ("compression", I),
                ("compact", I)]


lib.quillon_open.restype = ctypes.c_void_p
lib.quillon_open.argtypes = [ctypes.c_char_p, D, D, ctypes.c_void_p, ctypes.c_void_p]
for name in ("box", "boundary", "path", "sref", "aref", "text", "circle", "begin_structure",
             "end_structure", "close"):
    getattr(lib, "quillon_" + name).argtypes = None
N = 100000
pts = lambda n: (I * n)(*range(n))  # noqa: E731
P199, P20, P3 = pts(199), pts(20), pts(3)
MAGS_T, ANGLES_T = (1.0, 2.5, 0.5, 10.0), (0.0, 90.0, 45.5, 270.0)
MAGS_R, ANGLES_R = (1.0, 2.0, 0.25, 1.5), (0.0, 90.0, 180.0, 33.75)


def references(w, i):
    k = i % 16
    trans = ((k & 2) and 0x8000, D(MAGS_R[k % 4]), D(ANGLES_R[k // 4]), 0, 0)
    if i % 2 == 0:
        lib.quillon_sref(w, b"LEAF", 0, 0, *trans)
    else:
        lib.quillon_aref(w, b"LEAF", P3, P3, 10, 5, *trans)


WORKLOADS = {
    "1 boxes": lambda w, i: lib.quillon_box(w, 0, 0, 1500, 700, i % 64, 0, 0, 0),
    "2 boundaries of 199": lambda w, i: lib.quillon_boundary(w, P199, P199, 199, i % 64, 0, 0, 0),
    "3 paths of 20": lambda w, i: lib.quillon_path(w, P20, P20, 20, 100, i % 64, 0, i % 3, 0, 0),
    "4 texts": lambda w, i: lib.quillon_text(
        w, 0, 0, b"NET_000000007919", i % 64, i % 16 % 4, 5, 0, 0, (i % 16 & 1) and 0x8000,
        D(MAGS_T[i % 16 % 4]), D(ANGLES_T[i % 16 // 4 % 4]), 0, 0),
    "5 references": references,
    "6 circles of 64": lambda w, i: lib.quillon_circle(w, 0, 0, 1000, 64, i % 64, 0, 0, 0),
}

print(f"{'workload':22} {'full bytes':>12} {'compact bytes':>14} {'change':>8}")
with tempfile.TemporaryDirectory() as folder:
    for name, call in WORKLOADS.items():
        sizes = []
        for compact in (0, 1):
            options = Options()
            lib.quillon_default_options(ctypes.byref(options))
            options.strict, options.compact = 0, compact  # the text angle 45.5 is lenient
            path = os.path.join(folder, "w.gds").encode()
            w = lib.quillon_open(path, D(0.001), D(1e-9), ctypes.byref(options), None)
            lib.quillon_begin_structure(w, b"LEAF")
            lib.quillon_end_structure(w)
            for i in range(N):
                if i % 100000 == 0:
                    if i:
                        lib.quillon_end_structure(w)
                    lib.quillon_begin_structure(w, b"CELL%06d" % (i // 100000))
                call(w, i)
            lib.quillon_end_structure(w)
            lib.quillon_close(w)
            sizes.append(os.path.getsize(path))
        print(f"{name:22} {sizes[0]:12,} {sizes[1]:14,} {100.0 * (sizes[1] / sizes[0] - 1):+7.1f}%")
