# Polygons above the vertex limit are written as pieces: KLayout merges the
# pieces of each polygon and XORs them with the one polygon meant; the
# pieces' own areas add up to the merged area (no overlaps), and no piece
# has more vertices than the limit.
import json
import math
import pathlib
import random
import sys

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

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
}
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
        assert result["elements"] > 1, case["cell"]
        assert result["largest"] <= case["limit"] + 1, (case["cell"], result)  # hull + closing
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
