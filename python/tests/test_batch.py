"""The batch calls write exactly what the one-element calls write, and the
point forms that promise no copy make none."""

import array

import numpy as np

from quillon import _points


def _boxes(count, seed):
    rng = np.random.default_rng(seed)
    corners = rng.integers(-2 ** 31, 2 ** 31, size=(count, 4), dtype=np.int64)
    return corners


def test_boxes_write_the_same_file_as_box_calls(write_py):
    # More rows than one batch step, with values at both ends of the range.
    corners = _boxes(10000, 1)
    corners[0] = [-2 ** 31, 2 ** 31 - 1, 0, -1]
    one_by_one = write_py(lambda t: [t.box(*row, layer=3, boxtype=2, elflags=1, plex=-7)
                                     for row in corners.tolist()])
    kwargs = dict(layer=3, boxtype=2, elflags=1, plex=-7)
    assert write_py(lambda t: t.boxes(corners, **kwargs)) == one_by_one
    assert write_py(lambda t: t.boxes(corners.astype(np.int32), **kwargs)) == one_by_one
    assert write_py(lambda t: t.boxes(np.asfortranarray(corners), **kwargs)) == one_by_one
    assert write_py(lambda t: t.boxes(corners.tolist(), **kwargs)) == one_by_one
    assert write_py(lambda t: t.boxes(corners[:0], **kwargs)) == write_py(lambda t: None)


def test_boundaries_write_the_same_file_as_boundary_calls(write_py):
    rng = np.random.default_rng(2)
    polygons = rng.integers(-10 ** 6, 10 ** 6, size=(700, 64, 2), dtype=np.int32)
    one_by_one = write_py(lambda t: [t.boundary(p.tolist(), layer=4, datatype=5, elflags=2,
                                                plex=9) for p in polygons])
    kwargs = dict(layer=4, datatype=5, elflags=2, plex=9)
    assert write_py(lambda t: t.boundaries(polygons, **kwargs)) == one_by_one
    assert write_py(lambda t: t.boundaries(polygons.astype(np.int64), **kwargs)) == one_by_one
    assert write_py(lambda t: t.boundaries(list(polygons), **kwargs)) == one_by_one
    assert write_py(lambda t: t.boundaries(polygons[:, ::-1][:, ::-1], **kwargs)) == one_by_one
    xs = np.ascontiguousarray(polygons[:, :, 0])
    ys = polygons[:, :, 1]  # strided: copied once
    assert write_py(lambda t: t.boundaries(xs=xs, ys=ys, **kwargs)) == one_by_one
    assert write_py(lambda t: t.boundaries(xs=xs.astype(np.int64), ys=np.ascontiguousarray(ys),
                                           **kwargs)) == one_by_one
    small = rng.integers(0, 100, size=(3, 199, 2), dtype=np.int32)
    assert write_py(lambda t: t.boundaries(small)) == write_py(
        lambda t: [t.boundary(p) for p in small])


def test_contiguous_columns_are_passed_without_a_copy():
    xs = np.arange(10, dtype=np.int32)
    ys = np.arange(10, 20, dtype=np.int32)
    points = _points.to_points(xs=xs, ys=ys)
    assert (points.xs, points.ys, points.count) == (xs.ctypes.data, ys.ctypes.data, 10)
    fortran = np.asfortranarray(np.stack([xs, ys], axis=1))
    points = _points.to_points(fortran)
    assert (points.xs, points.ys) == (fortran.ctypes.data, fortran.ctypes.data + 40)
    buffer = array.array("i", range(5))
    points = _points.to_points(xs=buffer, ys=buffer)
    assert points.xs == buffer.buffer_info()[0]


def test_c_ordered_points_are_split_into_one_transposed_copy():
    interleaved = np.array([[1, 2], [3, 4], [5, 6]], dtype=np.int32)
    points = _points.to_points(interleaved)
    (copy,) = points._owners
    assert copy.shape == (2, 3) and copy.flags.c_contiguous
    assert copy.tolist() == [[1, 3, 5], [2, 4, 6]]
    assert points.xs == copy.ctypes.data and points.ys == copy.ctypes.data + 12
