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


def test_polygon_with_holes_is_pieces_without_holes_in_user_units(tmp_path):
    # A 10 x 10 um plate with a round hole and a square one, in micrometres;
    # no piece may hold a point of a hole, and the pieces add up to the plate.
    path = tmp_path / "holes.gds"
    round_hole = [(5 + 2 * math.cos(2 * math.pi * i / 400), 5 + 2 * math.sin(2 * math.pi * i / 400))
                  for i in range(400)]
    with quillon.Library(str(path), unit=1e-6, precision=1e-9) as lib:
        with lib.structure("TOP") as top:
            top.polygon([(0, 0), (10, 0), (10, 10), (0, 10)],
                        holes=[round_hole, [(0.5, 0.5), (1.5, 0.5), (1.5, 1.5), (0.5, 1.5), (0.5, 0.5)]])
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        cell = gdspy.GdsLibrary(infile=str(path), units="import").cell_dict["TOP"]
    pieces = [(p * 1000).round().astype(int).tolist() for poly in cell.polygons for p in poly.polygons]
    assert len(pieces) > 2 and all(len(p) <= 199 for p in pieces)
    hole_area = shoelace([(round(x * 1000), round(y * 1000)) for x, y in round_hole]) + 1000 * 1000
    assert abs(sum(shoelace(p) for p in pieces) - (10000 ** 2 - hole_area)) <= 0.5 * 2 * math.pi * 2000
    # Points of both holes (6.9 is 0.1 um inside the round one's edge) and of
    # the plate (0.1 um outside that edge).
    inside = gdspy.inside([(5, 5), (1, 1), (6.9, 5), (7.1, 5)], cell.polygons)
    assert inside == (False, False, False, True)
