# Long paths written in pieces draw the same outline as one path through all
# their points: KLayout merges the pieces of each path and XORs them with one
# pya.Path of the same width, extensions and ends. gdspy and libGDSII read
# the pieces too.
import json
import math
import os
import pathlib
import random
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "interop"))

import quillon_ctypes  # noqa: E402


def staircase(n, step):
    points = [(0, 0)]
    while len(points) < n:
        x, y = points[-1]
        points.append((x + step, y) if len(points) % 2 else (x, y + step))
    return points


def spiral(n):
    return [(round((3000 + 3 * i) * math.cos(i * 0.04)), round((3000 + 3 * i) * math.sin(i * 0.04)))
            for i in range(n)]


def random_polyline(n, seed, repeats=False):
    rng = random.Random(seed)
    points = []
    while len(points) < n:
        point = (rng.randrange(-20000, 20000), rng.randrange(-20000, 20000))
        points.append(point)
        if repeats and rng.random() < 0.2:
            points.append(point)
    return points[:n]


def wander(n, seed):
    """A random walk with short steps, sharp turns among them."""
    rng = random.Random(seed)
    points, heading = [(0, 0)], 0.0
    while len(points) < n:
        heading += rng.uniform(-2.8, 2.8)
        length = rng.randrange(30, 400)
        x, y = points[-1]
        points.append((x + round(length * math.cos(heading)), y + round(length * math.sin(heading))))
    return points


POLYLINES = {
    "stair250": (staircase(250, 100), 40),
    "spiral3000": (spiral(3000), 40),
    "random250": (random_polyline(250, 1), 120),
    "random_repeats300": (random_polyline(300, 2, repeats=True), 60),
    "wander1500": (wander(1500, 3), 50),
}
PATH_TYPES = [0, 1, 2, 4]


def reference(points, width, pathtype):
    """The one pya.Path a reader makes of a single element of this type."""
    extension = width // 2 if pathtype in (1, 2) else 0
    reference = {"width": width, "bgn_ext": extension, "end_ext": extension,
                 "round": pathtype == 1}
    if pathtype == 1:
        reference["tolerance"] = 2 + width // 60
    return reference


@pytest.fixture(scope="module")
def written(tmp_path_factory):
    lib = quillon_ctypes.load()
    workdir = tmp_path_factory.mktemp("long_paths")
    gds = workdir / "long_paths.gds"
    cases = []
    assert lib.GDS_BeginLib(str(gds).encode(), 0.001, 1e-9) == 0
    for name, (points, width) in POLYLINES.items():
        for pathtype in PATH_TYPES:
            cell = f"{name}_t{pathtype}"
            lib.GDS_BeginStructure(cell.encode())
            xs, ys = quillon_ctypes.arrays(points)
            assert lib.GDS_Path(xs, ys, len(points), width, 1, 0, pathtype, 0, 0) == len(points)
            lib.GDS_EndStructure()
            cases.append(dict(cell=cell, kind="path", points=points, **reference(points, width, pathtype)))
    # An arc of 1000 points goes through the same splitter.
    for pathtype in PATH_TYPES:
        cell = f"arc1000_t{pathtype}"
        lib.GDS_BeginStructure(cell.encode())
        lib.GDS_Arc(0, 0, 50000, 10.0, 350.0, 1000, 300, 1, 0, pathtype, 0, 0)
        lib.GDS_EndStructure()
        points = arc_points()
        cases.append(dict(cell=cell, kind="path", points=points, **reference(points, 300, pathtype)))
    lib.GDS_EndLib()
    assert lib.messages == ["Error: Too many points for BOUNDARY structure. "] * len(PATH_TYPES)
    cases_file = workdir / "cases.json"
    cases_file.write_text(json.dumps(cases))
    return {"gds": gds, "cases": cases, "cases_file": cases_file, "workdir": workdir}


def arc_points():
    # The arc's points, as the interop model computes them.
    import model
    return [tuple(p) for p in model._arc_points({"centerX": 0, "centerY": 0, "radius": 50000,
                                                 "startAngle": 10.0, "endAngle": 350.0,
                                                 "count": 1000})]


def run_klayout(script, gds, cases_file, output):
    """Runs a KLayout batch script of this folder on gds and the cases; its
    JSON answer."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run(["klayout", "-b", "-r", str(HERE / script),
                             "-rd", f"input={gds}", "-rd", f"cases={cases_file}",
                             "-rd", f"output={output}"], capture_output=True, text=True, env=env)
    assert result.returncode == 0, result.stdout + result.stderr
    return json.loads(output.read_text())


def klayout_xor(gds, cases_file, workdir):
    return run_klayout("klayout_xor.py", gds, cases_file, workdir / (gds.stem + ".xor.json"))


@pytest.fixture(scope="module")
def xor(written):
    return klayout_xor(written["gds"], written["cases_file"], written["workdir"])


def test_merged_pieces_xor_one_path_is_empty(written, xor):
    for case in written["cases"]:
        result = xor[case["cell"]]
        assert result["elements"] > 1, case["cell"]
        assert result["largest"] <= 200, case["cell"]
        # The pieces' corners and the one path's joints are rounded to the
        # grid separately: what differs are slivers under one unit wide.
        assert result["wider_than_one_unit"] == 0, (case["cell"], result)


def test_gdspy_and_libgdsii_read_the_pieces(written):
    result = subprocess.run(["/usr/bin/python3", str(HERE.parent / "interop" / "read_gdspy.py"),
                             str(written["gds"])], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    gdspy_view = json.loads(result.stdout)
    for case in written["cases"]:
        paths = gdspy_view["cells"][case["cell"]]["paths"]
        assert len(paths) > 1 and all(2 <= len(p["points"]) <= 200 for p in paths), case["cell"]
        if case["cell"].endswith("_t2"):
            assert paths[0]["ends"][0] == case["width"] // 2 and paths[-1]["ends"][1] == case["width"] // 2
            assert all(p["ends"][1] == 0 for p in paths[:-1])
    result = subprocess.run(["/usr/bin/python3", str(HERE.parent / "interop" / "read_libgdsii.py"),
                             str(written["gds"])], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    view = json.loads(result.stdout)
    assert view["returncode"] == 0, view["messages"]
    for case in written["cases"]:
        elements = view["structures"][case["cell"]]
        assert len(elements) == len(gdspy_view["cells"][case["cell"]]["paths"]), case["cell"]
        assert {e["PATHTYPE"][0] for e in elements} == {4 if case["cell"].endswith("_t2") else
                                                        int(case["cell"][-1])}, case["cell"]
