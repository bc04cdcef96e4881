# Polygons above the vertex limit are written as pieces: KLayout merges the
# pieces of each polygon and XORs them with the one polygon meant; the
# pieces' own areas add up to the merged area (no overlaps), and no piece
# has more vertices than the limit.
import ctypes
import json
import math
import os
import pathlib
import random
import sys

import subprocess

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "python"))
sys.path.insert(0, str(HERE))

import quillon  # noqa: E402
import quillon_ctypes  # noqa: E402
from test_long_paths import klayout_xor  # noqa: E402


def ring(n, outer=200000, inner=180000, gap=0.01):
    """A photonic ring as one simple outline: a C with a thin slit."""
    half = n // 2
    arc = lambda r, a0, a1: [(round(r * math.cos(a0 + (a1 - a0) * i / (half - 1))),
                              round(r * math.sin(a0 + (a1 - a0) * i / (half - 1))))
                             for i in range(half)]
    return arc(outer, gap, 2 * math.pi - gap) + arc(inner, 2 * math.pi - gap, gap)


def spiral(n, turns=6, width=900):
    """A thick spiral arm, 2,000 units further out per turn."""
    half = n // 2
    centre = [(2000 + 2000 * turns * t, t * 2 * math.pi * turns) for t in (i / (half - 1) for i in range(half))]
    outside = [(round((r + width) * math.cos(a)), round((r + width) * math.sin(a))) for r, a in centre]
    inside = [(round(r * math.cos(a)), round(r * math.sin(a))) for r, a in reversed(centre)]
    return outside + inside


def comb(teeth, pitch=100, width=40, length=3000):
    """A rectilinear comb: teeth pointing up from a bar, every vertex on a
    line that the cuts may run along."""
    points = [(0, 0), (teeth * pitch, 0)]
    for t in reversed(range(teeth)):
        x = t * pitch
        points += [(x + width, 200), (x + width, length), (x, length), (x, 200)]
    return points


def star(n, seed, r0=1000, r1=60000):
    rng = random.Random(seed)
    angles = sorted(rng.uniform(0, 2 * math.pi) for _ in range(n))
    return [(round(r * math.cos(a)), round(r * math.sin(a)))
            for r, a in ((rng.uniform(r0, r1), a) for a in angles)]


def figure_eight(n, a=100000):
    """A lemniscate of Gerono: an outline that crosses itself once, at the
    origin, its two lobes of opposite orientation."""
    return [(round(a * math.sin(t)), round(a * math.sin(t) * math.cos(t)))
            for t in (2 * math.pi * i / n for i in range(n))]


def spikes(n, r0=349526, r1=1048576):
    """A regular star, its vertices alternately on two circles: cutting
    across its spikes leaves most of a piece's vertices on the cut line."""
    return [(round(r * math.cos(2 * math.pi * i / n)), round(r * math.sin(2 * math.pi * i / n)))
            for r, i in ((r1 if i % 2 == 0 else r0, i) for i in range(n))]


def with_repeats_and_collinear(points, seed):
    rng = random.Random(seed)
    out = []
    for i, p in enumerate(points):
        out.append(p)
        if rng.random() < 0.1:
            out.append(p)  # repeated
        q = points[(i + 1) % len(points)]
        if rng.random() < 0.1 and (q[0] - p[0]) % 2 == 0 and (q[1] - p[1]) % 2 == 0:
            out.append(((p[0] + q[0]) // 2, (p[1] + q[1]) // 2))  # collinear
    return out


def keyhole():
    """A 100 x 100 square with a 20 x 20 hole, joined by a bridge along y=60."""
    return [(0, 0), (100, 0), (100, 100), (0, 100), (0, 60), (60, 60), (60, 40), (40, 40),
            (40, 60), (0, 60)]


def sawtooth(teeth, pitch=40, height=1000):
    points = [(0, 0), (teeth * pitch, 0)]
    for i in reversed(range(teeth)):
        points += [(i * pitch + pitch, height + 10), (i * pitch + pitch // 2, 10)]
    return points


def thin_band(zigzag=19998, dx=1000000, dy=618034):
    """A band 2 to 3 units wide along one long slanted edge, its other side a
    zigzag: every cut across it crosses the slanted edge."""
    length = math.hypot(dx, dy)
    nx, ny = -dy / length, dx / length
    band = [(0, 0), (dx, dy)]
    for i in reversed(range(zigzag)):
        t, offset = (i + 0.5) / zigzag, 2.0 if i % 2 else 3.0
        band.append((round(t * dx + offset * nx), round(t * dy + offset * ny)))
    return band


SHAPES = {
    "ring1000": (ring(1000), 199),
    "ring1000_cw": (list(reversed(ring(1000))), 199),
    "spiral4000": (spiral(4000), 199),
    "comb500": (comb(500), 199),
    "comb500_cw": (list(reversed(comb(500))), 199),
    "star250": (star(250, 1), 199),
    "star2000": (star(2000, 2), 199),
    "star2000_dirty": (with_repeats_and_collinear(star(2000, 3), 4), 199),
    "spikes3000": (spikes(3000), 199),
    "ring30000_limit4094": (ring(30000), 4094),
    "ring100000": (ring(100000), 199),
    "ring5000_limit8": (ring(5000), 8),
    "figure_eight1001": (figure_eight(1001), 199),
    "figure_eight5000": (figure_eight(5000), 199),
    "thin_band": (thin_band(), 199),
    "sawtooth100000": (sawtooth(50000), 199),
    **{f"keyhole{limit}{'_cw' if cw else ''}": (keyhole()[::-1] if cw else keyhole(), limit)
       for limit in (8, 199, 4094) for cw in (False, True)},
}
# At most this many pieces: close to the limit's vertices each.
MOST_PIECES = {"sawtooth100000": 100002 // 187 + 10}
HALF_UNIT = {"thin_band"}  # every vertex within half a unit of the outline
# Outlines that cross themselves: not simple, so the pieces need not add up
# to the merged area (a piece holding the crossing is itself a figure
# eight), but KLayout must still draw the region KLayout draws for the
# outline.
SELF_CROSSING = {"figure_eight1001", "figure_eight5000"}


@pytest.fixture(scope="module")
def written(tmp_path_factory):
    lib = quillon_ctypes.load()
    workdir = tmp_path_factory.mktemp("polygons")
    gds = workdir / "polygons.gds"
    cases = []
    assert lib.GDS_BeginLib(str(gds).encode(), 0.001, 1e-9) == 0
    for name, (points, limit) in SHAPES.items():
        assert lib.GDS_SetPolygonLimit(limit) == 0
        lib.GDS_BeginStructure(name.encode())
        xs, ys = quillon_ctypes.arrays(points)
        assert lib.GDS_Polygon(xs, ys, len(points), 1, 0, 0, 0) == 0, name
        lib.GDS_EndStructure()
        cases.append(dict(cell=name, kind="polygon", points=points, limit=limit))
    lib.GDS_EndLib()
    assert lib.messages == []
    cases_file = workdir / "cases.json"
    cases_file.write_text(json.dumps(cases))
    return {"gds": gds, "cases": cases, "cases_file": cases_file, "workdir": workdir}


@pytest.fixture(scope="module")
def xor(written):
    return klayout_xor(written["gds"], written["cases_file"], written["workdir"])


def test_pieces_cover_the_polygon_exactly(written, xor):
    for case in written["cases"]:
        result = xor[case["cell"]]
        assert result["elements"] > 1 or len(case["points"]) <= case["limit"], case["cell"]
        assert result["largest"] <= case["limit"] + 1, (case["cell"], result)  # hull + closing
        assert result["elements"] <= MOST_PIECES.get(case["cell"], result["elements"]), result
        if case["cell"] in HALF_UNIT:
            assert result["wider_than_half_unit"] == 0, (case["cell"], result)
        # Cut points are rounded to the grid: what differs is slivers under
        # one unit wide along the cut edges.
        assert result["wider_than_one_unit"] == 0, (case["cell"], result)
        assert result["xor_area"] < 0.001 * result["reference_area"], (case["cell"], result)
        # No piece overlaps another: their areas add up to the merged area
        # (KLayout rounds each area down to a whole unit: up to one unit per
        # piece).
        if case["cell"] in SELF_CROSSING:
            continue
        assert abs(result["sum_of_areas"] - result["written_area"]) <= result["elements"], \
            (case["cell"], result)
        # KLayout's XOR snaps slivers under a unit wide away and hides
        # errors where pieces overlap: the pieces' own areas must add up to
        # the polygon's too, within what moving the outline by half a unit
        # can change.
        points = case["points"]
        perimeter = sum(math.dist(points[i - 1], points[i]) for i in range(len(points)))
        assert abs(result["sum_of_areas"] - result["reference_area"]) <= \
            0.5 * perimeter + result["elements"], (case["cell"], result)


@pytest.fixture(scope="module")
def clusters(tmp_path_factory):
    """Merged bar clusters with holes, written at limit 8 as keyholed
    outlines (every other one reversed) through GDS_Polygon and as rings
    through quillon_polygon_rings."""
    workdir = tmp_path_factory.mktemp("clusters")
    made = workdir / "clusters.json"
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    run = subprocess.run(["klayout", "-b", "-r", str(HERE / "klayout_clusters.py"), "-rd", "count=100",
                          "-rd", f"output={made}"], capture_output=True, text=True, env=env)
    assert run.returncode == 0, run.stdout + run.stderr
    lib = quillon_ctypes.load()
    gds = workdir / "clusters.gds"
    cases = []
    assert lib.GDS_BeginLib(str(gds).encode(), 0.001, 1e-9) == 0
    assert lib.GDS_SetPolygonLimit(8) == 0
    for i, cluster in enumerate(json.loads(made.read_text())):
        outline = cluster["keyholed"][::-1] if i % 2 else cluster["keyholed"]
        name = f"keyholed{i}"
        lib.GDS_BeginStructure(name.encode())
        assert lib.GDS_Polygon(*quillon_ctypes.arrays(outline), len(outline), 1, 0, 0, 0) == 0, name
        lib.GDS_EndStructure()
        cases.append(dict(cell=name, kind="polygon", points=outline))
    lib.GDS_EndLib()
    assert lib.messages == []
    rings_gds = workdir / "rings.gds"
    status = ctypes.c_int()
    writer = lib.quillon_open(str(rings_gds).encode(), 0.001, 1e-9, None, ctypes.byref(status))
    assert writer, status
    assert lib.quillon_set_polygon_limit(writer, 8) == 0
    rings_cases = []
    for i, cluster in enumerate(json.loads(made.read_text())):
        rings = [r[::-1] if (i + k) % 2 else r for k, r in enumerate(cluster["rings"])]
        points = [p for r in rings for p in r]
        counts = (ctypes.c_int * len(rings))(*[len(r) for r in rings])
        name = f"rings{i}"
        assert lib.quillon_begin_structure(writer, name.encode()) == 0
        assert lib.quillon_polygon_rings(writer, *quillon_ctypes.arrays(points), counts, len(rings),
                                         1, 0, 0, 0) == 0, name
        assert lib.quillon_end_structure(writer) == 0
        rings_cases.append(dict(cell=name, kind="polygon", points=rings[0], holes=rings[1:]))
    assert lib.quillon_close(writer) == 0
    results = {}
    for path, wanted in ((gds, cases), (rings_gds, rings_cases)):
        cases_file = workdir / (path.stem + ".json")
        cases_file.write_text(json.dumps(wanted))
        results.update(klayout_xor(path, cases_file, workdir))
    return results


def test_keyholed_and_ringed_clusters_keep_their_holes_exactly(clusters):
    # Rectilinear input: every cut point is a grid point, so the pieces tile
    # the region exactly, with nothing left out and nothing twice.
    assert len(clusters) == 200
    for cell, result in clusters.items():
        assert result["largest"] <= 9, (cell, result)
        assert result["xor_area"] == 0, (cell, result)
        assert result["sum_of_areas"] == result["reference_area"], (cell, result)


def test_small_polygon_is_one_boundary_and_limit_is_checked(tmp_path):
    lib = quillon_ctypes.load()
    gds = tmp_path / "small.gds"
    assert lib.GDS_BeginLib(str(gds).encode(), 0.001, 1e-9) == 0
    lib.GDS_BeginStructure(b"TOP")
    square = [(0, 0), (10, 0), (10, 10), (0, 10), (0, 0)]  # closing vertex dropped
    xs, ys = quillon_ctypes.arrays(square)
    assert lib.GDS_Polygon(xs, ys, 5, 1, 0, 0, 0) == 0
    assert lib.GDS_Polygon(xs, ys, 2, 1, 0, 0, 0) != 0
    assert lib.GDS_Polygon(xs, ys, 4, 70000, 0, 0, 0) != 0
    assert lib.GDS_SetPolygonLimit(7) != 0
    assert lib.GDS_SetPolygonLimit(8191) != 0
    lib.GDS_EndStructure()
    lib.GDS_EndLib()
    assert lib.messages == ["Error: Not enougph points for BOUNDARY structure. ",
                            "Error: Value does not fit its GDSII field.",
                            "Error: Polygon limit must lie in 8 to 4094.",
                            "Error: Polygon limit must lie in 8 to 4094."]
    import warnings

    import gdspy
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # ELFLAGS, PLEX: unsupported by gdspy
        cell = gdspy.GdsLibrary(infile=str(gds), units="import").cell_dict["TOP"]
    assert len(cell.polygons) == 1
    assert (cell.polygons[0].polygons[0] * 1000).round().tolist() == [[0, 0], [10, 0], [10, 10], [0, 10]]


def box(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


# Rings that touch, as quillon_polygon_rings takes them: name: (rings, limit).
TOUCHING = {
    "diamond_hole_touching_the_sides": ([box(0, 0, 100, 100), [(50, 0), (100, 50), (50, 100), (0, 50)]], 8),
    "triangles_hanging_from_the_top": ([box(0, 0, 1000, 1000), [(100, 1000), (200, 1000), (150, 920)],
                                        [(300, 1000), (400, 1000), (350, 920)]], 8),
    "checkerboard_of_holes": ([box(0, 0, 140, 140)] + [box(10 * i + 10, 10 * j + 10, 10 * i + 20, 10 * j + 20)
                                                       for i in range(12) for j in range(i % 2, 12, 2)], 199),
    "holes_sharing_an_edge": ([box(0, 0, 100, 100), box(10, 10, 50, 50), box(50, 10, 90, 50)], 8),
    "island_touching_its_hole": ([box(0, 0, 100, 100), box(20, 20, 80, 80),
                                  [(50, 20), (80, 50), (50, 80), (20, 50)]], 8),
}


def test_touching_rings_write_their_even_odd_region(tmp_path):
    lib = quillon_ctypes.load()
    gds = tmp_path / "touching.gds"
    status = ctypes.c_int()
    writer = lib.quillon_open(str(gds).encode(), 0.001, 1e-9, None, ctypes.byref(status))
    cases = []
    for name, (rings, limit) in TOUCHING.items():
        assert lib.quillon_set_polygon_limit(writer, limit) == 0
        assert lib.quillon_begin_structure(writer, name.encode()) == 0
        points = [p for r in rings for p in r]
        counts = (ctypes.c_int * len(rings))(*map(len, rings))
        assert lib.quillon_polygon_rings(writer, *quillon_ctypes.arrays(points), counts, len(rings),
                                         1, 0, 0, 0) == 0, name
        assert lib.quillon_end_structure(writer) == 0
        cases.append(dict(cell=name, kind="polygon", points=rings[0], holes=rings[1:]))
    assert lib.quillon_close(writer) == 0
    cases_file = tmp_path / "touching.json"
    cases_file.write_text(json.dumps(cases))
    for cell, result in klayout_xor(gds, cases_file, tmp_path).items():
        assert result["xor_area"] == 0 and result["wider_than_half_unit"] == 0, (cell, result)
        assert abs(result["sum_of_areas"] - result["reference_area"]) <= result["elements"], (cell, result)


def test_crossing_rings_are_refused_alike_in_python():
    square = box(0, 0, 100, 100)
    with quillon.Library(os.devnull) as library:
        with library.structure("TOP") as cell:
            for holes, message in (([box(50, 50, 150, 150)], "Error: Polygon rings cross."),
                                   ([square[::-1]], "Error: Polygon cannot be fractured.")):
                with pytest.raises(quillon.QuillonError, match=message):
                    cell.polygon(square, holes=holes)
