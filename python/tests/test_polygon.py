# Structure.polygon: one BOUNDARY up to the limit, pieces above it, read
# back by gdspy as the same area.
import math

import warnings

import gdspy
import pytest

import quillon


def circle(n, r=100000):
    return [(round(r * math.cos(2 * math.pi * i / n)), round(r * math.sin(2 * math.pi * i / n)))
            for i in range(n)]


def shoelace(points):
    return abs(sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1)
                   in zip(points, points[1:] + points[:1]))) / 2


@pytest.mark.parametrize("n, limit, pieces", [(150, None, 1), (1000, None, None), (1000, 4094, 1),
                                              (1000, 8, None)])
def test_polygon_pieces_add_up_to_the_polygon(tmp_path, n, limit, pieces):
    path = tmp_path / "p.gds"
    points = circle(n)
    with quillon.Library(str(path)) as lib:
        if limit:
            lib.set_polygon_limit(limit)
        with lib.structure("TOP") as top:
            top.polygon(points, layer=(2, 3))
    library = gdspy.GdsLibrary(infile=str(path), units="import")
    polygons = library.cell_dict["TOP"].polygons
    scale = library.precision / library.unit  # database units per user unit
    shapes = [p for poly in polygons for p in poly.polygons]
    if pieces is not None:
        assert len(shapes) == pieces
    assert all(len(s) <= (limit or 199) for s in shapes)
    assert all(poly.layers == [2] and poly.datatypes == [3] for poly in polygons)
    written = sum(shoelace([tuple(v) for v in s.tolist()]) for s in shapes) / scale ** 2
    assert written == pytest.approx(shoelace(points), rel=1e-6)


def test_polygon_limit_out_of_range_is_refused(tmp_path):
    with quillon.Library(str(tmp_path / "p.gds")) as lib:
        with pytest.raises(quillon.QuillonError, match="Polygon limit must lie in 8 to 4094"):
            lib.set_polygon_limit(7)
