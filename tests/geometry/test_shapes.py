# Ellipses, rings and their sectors by tolerance, bent paths and printed
# text, read back by KLayout (klayout_shapes.py) and checked against the
# analytic shapes and KLayout's own ellipses.
import json
import math
import pathlib
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "python"))
sys.path.insert(0, str(HERE))

import quillon  # noqa: E402
from test_long_paths import run_klayout  # noqa: E402

ROUNDING = 0.5 * math.sqrt(2) + 1e-6  # how far rounding to the grid moves a point

# name: (center, radii, inner radii, start, end, tolerance)
ELLIPSES = {
    "disc_fractured": ((1000, -2000), (50000, 50000), (0, 0), 0, 360, 1.0),
    "ellipse": ((0, 0), (40000, 15000), (0, 0), 10, 370, 2.0),
    "ring": ((5, 7), (20000, 20000), (18000, 18000), 0, 360, 0.5),
    "elliptic_ring": ((0, 0), (30000, 12000), (26000, 9000), -90, 270, 3.0),
    "ring_sector": ((0, 0), (20000, 20000), (19000, 19000), 30, 150, 1.0),
    "sector": ((300, 300), (9000, 9000), (0, 0), -45, 45, 0.25),
    "clockwise_sector": ((0, 0), (7000, 5000), (0, 0), 90, -30, 1.0),
}

# name: (points, width, bend radius, tolerance)
BENDS = {
    "right_angle": ([(0, 0), (30000, 0), (30000, 30000)], 1000, 10000, 1.0),
    "zigzag": ([(0, 0), (20000, 10000), (40000, 0), (60000, 10000)], 500, 5000, 0.5),
    "hairpin": ([(0, 0), (40000, 0), (40000, 25000), (0, 25000)], 800, 12000, 2.0),
    "sharp": ([(0, 0), (40000, 0), (0, 8000)], 400, 2000, 1.0),
}

# name: (text, origin, height, anchor, angle)
TEXTS = {
    "caps": ("HELLO 24", (1000, 2000), 700, 8, 0.0),
    "centred": ("QUILLON", (0, 0), 1400, 5, 0.0),
    "turned": ("Ring R=10um", (500, 500), 1050, 0, 30.0),
    "every_character": ("".join(map(chr, range(32, 80))) + "\n"
                        + "".join(map(chr, range(80, 127))) + "\t\x7f", (0, 0), 1000, 0, 17.0),
}


def klayout(gds, cases, workdir):
    cases_file = workdir / (gds.stem + ".cases.json")
    cases_file.write_text(json.dumps(cases))
    return run_klayout("klayout_shapes.py", gds, cases_file, workdir / (gds.stem + ".out.json"))


@pytest.fixture(scope="module")
def read(tmp_path_factory):
    workdir = tmp_path_factory.mktemp("shapes")
    gds = workdir / "shapes.gds"
    cases = []
    with quillon.Library(str(gds)) as lib:
        for name, (center, radii, inner, start, end, tolerance) in ELLIPSES.items():
            with lib.structure(name) as cell:
                cell.ellipse(center, radii, inner_radius=inner, start_angle=start,
                             end_angle=end, tolerance=tolerance, layer=3, datatype=1)
            full = abs(end - start) >= 360
            cases.append({"cell": name, "layer": 3, "datatype": 1,
                          "ellipse": {"center": list(center), "radii": list(radii),
                                      "inner": list(inner)} if full else None})
        for name, (points, width, radius, tolerance) in BENDS.items():
            with lib.structure(name) as cell:
                cell.path(points, width=width, bend_radius=radius, tolerance=tolerance, layer=4)
            cases.append({"cell": name, "layer": 4})
        with lib.structure("extensions") as cell:
            cell.path([(i * 100, (i % 2) * 50) for i in range(450)], width=40, bgnextn=70,
                      endextn=25, layer=5)
        cases.append({"cell": "extensions", "layer": 5})
        for name, (text, origin, height, anchor, angle) in TEXTS.items():
            with lib.structure(name) as cell:
                cell.text_polygons(text, origin, height=height, anchor=anchor, angle=angle,
                                   layer=9, datatype=2)
            cases.append({"cell": name, "layer": 9, "datatype": 2})
    return klayout(gds, cases, workdir)


def ellipse_distance(x, y, center, radii):
    """First-order distance from (x, y) to the ellipse: |F| / |grad F|."""
    dx, dy = x - center[0], y - center[1]
    rx, ry = radii
    f = (dx / rx) ** 2 + (dy / ry) ** 2 - 1
    g = math.hypot(2 * dx / rx ** 2, 2 * dy / ry ** 2)
    return abs(f) / g if g else math.inf


def segment_distance(p, a, b):
    ax, ay = a
    bx, by = b
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((p[0] - ax) * vx + (p[1] - ay) * vy) / (vx * vx + vy * vy or 1)))
    return math.hypot(p[0] - ax - t * vx, p[1] - ay - t * vy)


def ellipse_point(center, radii, degrees):
    t = math.radians(degrees)
    return (center[0] + radii[0] * math.cos(t), center[1] + radii[1] * math.sin(t))


def ellipse_perimeter(radii):
    a, b = radii
    h = ((a - b) / (a + b)) ** 2
    return math.pi * (a + b) * (1 + 3 * h / (10 + math.sqrt(4 - 3 * h)))  # Ramanujan


@pytest.mark.parametrize("name", ELLIPSES)
def test_ellipse_lies_within_tolerance_of_the_curve(read, name):
    center, radii, inner, start, end, tolerance = ELLIPSES[name]
    r = read[name]
    full = abs(end - start) >= 360
    sweep = 2 * math.pi if full else math.radians(abs(end - start))
    assert r["strange"] == 0 and r["other_shapes"] == 0 and r["paths"] == []
    # Each area is rounded to whole units by KLayout: one per piece at most.
    assert abs(r["merged_area"] - r["sum_of_areas"]) <= len(r["polygons"]), "pieces overlap"
    assert all(len(p["hull"]) <= 199 for p in r["polygons"])
    # The outline: the outer and inner arcs and, for a sector, its two
    # straight edges (from the centre, or from the inner arc).
    edges = []
    if not full:
        for angle in (start, end):
            edges.append((ellipse_point(center, inner, angle) if inner[0] else center,
                          ellipse_point(center, radii, angle)))

    def distance(x, y):
        d = ellipse_distance(x, y, center, radii)
        if inner[0]:
            d = min(d, ellipse_distance(x, y, center, inner))
        return min([d] + [segment_distance((x, y), a, b) for a, b in edges])

    # Vertices are curve points rounded to the grid (or, in a fractured
    # shape, cut points on the chords); the chords of the merged outline
    # stay within the tolerance.
    fractured = len(r["polygons"]) > 1
    for rings in r["outline"]:
        for ring in rings:
            for (x0, y0), (x1, y1) in zip(ring, ring[1:] + ring[:1]):
                assert distance(x0, y0) <= (tolerance if fractured else 0) + ROUNDING
                assert distance((x0 + x1) / 2, (y0 + y1) / 2) <= tolerance + ROUNDING
    # The angles are covered exactly: the start and end points are vertices.
    vertices = [tuple(q) for p in r["polygons"] for q in p["hull"]]
    for angle in ([] if full else (start, end)):
        px, py = ellipse_point(center, radii, angle)
        assert min(math.hypot(x - px, y - py) for x, y in vertices) <= ROUNDING
    # Area within tolerance of the analytic one, and KLayout's own ellipse.
    share = sweep / (2 * math.pi)
    area = math.pi * (radii[0] * radii[1] - inner[0] * inner[1]) * share
    boundary = (ellipse_perimeter(radii) + (ellipse_perimeter(inner) if inner[0] else 0)) * share
    assert abs(r["merged_area"] - area) <= (tolerance + ROUNDING) * boundary
    assert r["merged_area"] < area + ROUNDING * boundary  # chords cut inside
    if full:
        assert r["xor_area"] <= (tolerance + ROUNDING) * boundary + 0.01 * area * 1e-3
    # No more points than the tolerance needs (with a few per cent to spare).
    needed = math.ceil(sweep / math.sqrt(8 * tolerance / max(radii))) + 2
    if not fractured:
        outer_points = sum(1 for x, y in vertices
                           if ellipse_distance(x, y, center, radii) <= ROUNDING)
        assert outer_points <= 1.05 * needed + 2


def corner_arcs(points, radius):
    """(centre, first tangent point, last tangent point) of each corner."""
    arcs = []
    for a, p, b in zip(points, points[1:], points[2:]):
        ux, uy = p[0] - a[0], p[1] - a[1]
        vx, vy = b[0] - p[0], b[1] - p[1]
        lu, lv = math.hypot(ux, uy), math.hypot(vx, vy)
        ux, uy, vx, vy = ux / lu, uy / lu, vx / lv, vy / lv
        cross, dot = ux * vy - uy * vx, ux * vx + uy * vy
        d = radius * abs(cross) / (1 + dot)
        side = 1 if cross > 0 else -1
        t1 = (p[0] - ux * d, p[1] - uy * d)
        t2 = (p[0] + vx * d, p[1] + vy * d)
        arcs.append(((t1[0] - side * radius * uy, t1[1] + side * radius * ux), t1, t2))
    return arcs


@pytest.mark.parametrize("name", BENDS)
def test_bent_path_is_tangent_arcs_at_every_corner(read, name):
    points, width, radius, tolerance = BENDS[name]
    r = read[name]
    assert len(r["paths"]) == 1 and r["polygons"] == []
    spine = r["paths"][0]["points"]
    assert r["paths"][0]["width"] == width
    assert spine[0] == list(points[0]) and spine[-1] == list(points[-1])
    arcs = corner_arcs(points, radius)
    for centre, t1, t2 in arcs:
        # The tangent points are on the spine; between them every point
        # lies on the circle and every chord within the tolerance of it.
        first = min(range(len(spine)), key=lambda i: math.dist(spine[i], t1))
        last = min(range(len(spine)), key=lambda i: math.dist(spine[i], t2))
        assert math.dist(spine[first], t1) <= ROUNDING and math.dist(spine[last], t2) <= ROUNDING
        assert last - first >= 2
        for (x0, y0), (x1, y1) in zip(spine[first:last], spine[first + 1:last + 1]):
            assert abs(math.hypot(x0 - centre[0], y0 - centre[1]) - radius) <= ROUNDING
            mid = math.hypot((x0 + x1) / 2 - centre[0], (y0 + y1) / 2 - centre[1])
            assert radius - mid <= tolerance + ROUNDING
    # Nothing else: the spine has the arcs' points and the two ends only.
    on_arcs = sum(1 for q in spine if any(
        abs(math.dist(q, c) - radius) <= ROUNDING for c, _, _ in arcs))
    assert on_arcs == len(spine) - 2


def test_explicit_extensions_at_the_polylines_own_ends(read):
    paths = read["extensions"]["paths"]
    assert len(paths) > 2
    assert paths[0]["points"][0] == [0, 0] and paths[-1]["points"][-1] == [44900, 50]
    assert [p["bgn_ext"] for p in paths] == [70] + [0] * (len(paths) - 1)
    assert [p["end_ext"] for p in paths] == [0] * (len(paths) - 1) + [25]


@pytest.mark.parametrize("name", TEXTS)
def test_text_polygons_are_valid_disjoint_and_sized(read, name):
    text, (x, y), height, anchor, angle = TEXTS[name]
    r = read[name]
    assert r["polygons"] and r["paths"] == [] and r["other_shapes"] == 0
    assert r["strange"] == 0
    assert abs(r["merged_area"] - r["sum_of_areas"]) <= len(r["polygons"]), "glyphs overlap"
    left, bottom, right, top = r["bbox"]
    pixel = height / 7
    if angle == 0 and "\n" not in text:
        assert top - bottom == height  # capitals and digits only: no descenders
        width = round((6 * len(text) - 1) * pixel)
        assert abs((right - left) - width) <= 1
        if anchor == 8:
            assert (left, bottom) == (x, y)
        if anchor == 5:
            assert abs((left + right) / 2 - x) <= 1 and abs((top + bottom) / 2 - y) <= 1
    else:
        # Turned back about the origin (anchor: top left), the text fills
        # its block: from the cap line of the first line down to the
        # descenders of the last, as wide as the longest line.
        c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))
        turned = [((px - x) * c + (py - y) * s, (py - y) * c - (px - x) * s)
                  for p in r["polygons"] for px, py in p["hull"]]
        lines = text.split("\n")
        wide = (6 * max(map(len, lines)) - 1) * pixel
        deep = (7 + 11 * (len(lines) - 1) + 2) * pixel
        xs, ys = [q[0] for q in turned], [q[1] for q in turned]
        assert abs(min(xs)) <= 1 and abs(max(ys)) <= 1
        assert max(xs) <= wide + 1 and min(ys) >= -deep - 1


def test_refusals_name_their_reason(tmp_path):
    with quillon.Library(str(tmp_path / "refused.gds")) as lib:
        with lib.structure("TOP") as cell:
            cases = [
                (lambda: cell.path([(0, 0), (1000, 0), (1000, 1000)], width=10,
                                   bend_radius=2000), "Error: Path segments too short for "
                                                      "the bend radius."),
                (lambda: cell.ellipse((0, 0), 100, inner_radius=100),
                 "Error: Radius, angle or tolerance out of range."),
                (lambda: cell.ellipse((0, 0), 100, tolerance=0),
                 "Error: Radius, angle or tolerance out of range."),
                (lambda: cell.text_polygons("A", height=6),
                 "Error: Value does not fit its GDSII field."),
                (lambda: cell.text_polygons("A", height=70, anchor=3),
                 "Error: Value does not fit its GDSII field."),
            ]
            for call, message in cases:
                with pytest.raises(quillon.QuillonError) as error:
                    call()
                assert message in str(error.value)


def shoelace(points):
    return sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]))


def hull_radii(r):
    return [math.hypot(x, y) for rings in r["outline"] for x, y in rings[0]]


# Curves and paths that once came out wrong: name: (write(cell), check(KLayout's
# view, gdspy's polygons)).
FAULTS = {
    # A tolerance above the ring's width: capped at a quarter of it (10).
    "ring_tolerance_above_its_width": (
        lambda c: c.ellipse((0, 0), 1000, inner_radius=960, tolerance=60),
        lambda r, g: r["strange"] == 0 and abs(r["merged_area"] - math.pi * (1000**2 - 960**2))
        <= (10 + ROUNDING) * 2 * math.pi * 1960),
    # Radii 2 and 1: the rounded outer ring runs through the hole's corners
    # (1, 1) and so on, a 4 x 4 square less its corner units and the 2 x 2
    # hole: 8, the hole staying a hole that touches it.
    "tiny_ring": (
        lambda c: c.ellipse((0, 0), 2, inner_radius=1, tolerance=0.01),
        lambda r, g: r["merged_area"] == 8),
    # The end just short of a full turn rounds onto the start: no spike.
    "sector_short_of_a_turn": (
        lambda c: c.ellipse((0, 0), 1000, start_angle=0, end_angle=359.99, tolerance=1),
        lambda r, g: all(len(set(map(tuple, p))) == len(p) for p in g)),
    # 1e17 degrees is 280 degrees: the sector's ends lie there and at 344.
    "start_of_1e17_degrees": (
        lambda c: c.ellipse((0, 0), 9000, start_angle=1e17, end_angle=1e17 + 64, tolerance=1),
        lambda r, g: all(min(math.dist(q, ellipse_point((0, 0), (9000, 9000), a)) for p in g
                             for q in p) <= ROUNDING for a in (280, 344))),
    # A flush full turn: no notch at the seam, the outside stays at 11,000.
    "flush_full_turn_arc": (
        lambda c: c.arc((0, 0), 10000, 0, 360, tolerance=1, width=2000),
        lambda r, g: min(hull_radii(r)) >= 11000 - 1 - ROUNDING),
    # Small text at an angle: every polygon has an area.
    "small_turned_text": (
        lambda c: [c.text_polygons("AB8%", (0, 20 * h), height=h, angle=a)
                   for h in (7, 8) for a in (15, 30, 45, 60)],
        lambda r, g: g and all(shoelace(p) != 0 for p in g)),
}
@pytest.fixture(scope="module")
def faults(tmp_path_factory):
    workdir = tmp_path_factory.mktemp("faults")
    gds = workdir / "faults.gds"
    with quillon.Library(str(gds)) as lib:
        for name, (write, _) in FAULTS.items():
            with lib.structure(name) as cell:
                write(cell)
    kl = klayout(gds, [{"cell": name, "layer": 0} for name in FAULTS], workdir)
    result = subprocess.run(["/usr/bin/python3", str(HERE.parent / "interop" / "read_gdspy.py"),
                             str(gds)], capture_output=True, text=True, check=True)
    cells = json.loads(result.stdout)["cells"]
    return {name: (kl[name], [p["points"] for p in cells[name]["polygons"]]) for name in FAULTS}


@pytest.mark.parametrize("name", FAULTS)
def test_curve_and_path_cases_come_out_right(faults, name):
    assert FAULTS[name][1](*faults[name])


# A reversal has no arc: refused whatever its direction (the unit vectors'
# dot product rounds to -1 for some and not for others).
@pytest.mark.parametrize("d", [(10000, 0), (0, -10000), (3000, 7000), (7071, 7071), (1, 9999)])
def test_a_reversal_is_refused_in_every_direction(tmp_path, d):
    with quillon.Library(str(tmp_path / "reversal.gds")) as lib:
        with lib.structure("TOP") as cell:
            with pytest.raises(quillon.QuillonError, match="too short for the bend radius"):
                cell.path([(0, 0), d, (0, 0)], width=100, bend_radius=500, tolerance=1)
