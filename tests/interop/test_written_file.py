# The files under test themselves: quillon-dump's record listing of the
# generated file holds exactly the elements the host asked for, and the demo
# program reports what it wrote.
import re

from conftest import dump_listing, program, run
import model


def test_generated_file_holds_every_call_as_passed(generated):
    written = model.from_listing(dump_listing(generated["gds"]))
    assert written == generated["model"]


def test_generated_file_holds_every_element_kind_and_the_limits(generated):
    structures = generated["model"]
    assert all(structures[name][kind] for name, kind in [
        ("BOUNDARIES", "boundaries"), ("BOXES", "boxes"), ("PATHS", "paths"),
        ("TEXTS", "texts"), ("NODES", "nodes"), ("REFS", "srefs"), ("REFS", "arefs")])
    assert max(len(b["points"]) for b in structures["BOUNDARIES"]["boundaries"]) == 199
    path_lengths = [len(p["points"]) for p in structures["PATHS"]["paths"]]
    assert path_lengths.count(200) >= 4  # one whole 200-point path and the full pieces
    assert max(len(t["string"]) for t in structures["TEXTS"]["texts"]) == 512
    assert "DS40" in structures and "DA6" in structures


def test_long_paths_are_split_into_pieces_overlapping_by_one_segment(generated):
    calls = {c["count"]: c for entry in generated["manifest"]["structures"]
             if entry["name"] == "PATHS" for c in entry["calls"] if c["call"] == "GDS_Path"}
    paths = generated["model"]["PATHS"]["paths"]
    for count, pieces in [(200, 1), (201, 2), (450, 3)]:
        passed = [[x, y] for x, y in zip(calls[count]["xs"], calls[count]["ys"])]
        written = [p["points"] for p in paths if p["width"] == calls[count]["width"]]
        assert [len(w) for w in written] == {1: [200], 2: [200, 3], 3: [200, 200, 54]}[pieces]
        joined = written[0] + [point for piece in written[1:] for point in piece[2:]]
        assert joined == passed
        for before, after in zip(written, written[1:]):
            assert before[-2:] == after[:2]


def test_demo_prints_the_summary_of_what_it_wrote(demo):
    stdout = demo["stdout"]
    assert "quillon-demo: wrote demo.gds" in stdout
    summary = run([program("QUILLON_DUMP"), "--summary", str(demo["gds"])])
    assert summary.returncode == 0
    assert summary.stdout in stdout
    counts = dict(re.findall(r"^  (BOUNDARY|PATH|SREF|AREF|TEXT|NODE|BOX) (\d+)$", stdout,
                             re.MULTILINE))
    assert set(counts) == {"BOUNDARY", "PATH", "SREF", "AREF", "TEXT", "NODE", "BOX"}
    structures = demo["model"]
    for kind, key in [("BOUNDARY", "boundaries"), ("PATH", "paths"), ("SREF", "srefs"),
                      ("AREF", "arefs"), ("TEXT", "texts"), ("NODE", "nodes"),
                      ("BOX", "boxes")]:
        assert int(counts[kind]) == sum(len(s[key]) for s in structures.values())


def test_demo_uses_rotation_reflection_magnification_and_all_path_types(demo):
    structures = demo["model"]
    references = [r for s in structures.values() for r in s["srefs"] + s["arefs"]]
    assert any(r["strans"] & 0x8000 for r in references)
    assert {r["angle"] for r in references} >= {0.0, 90.0, 180.0, 270.0, 45.0}
    assert any(r["mag"] != 1.0 for r in references)
    assert {p["pathtype"] for s in structures.values() for p in s["paths"]} == {0, 1, 2}
