"""The example script draws the demo chip: a complete file that gdspy reads
with its whole hierarchy, and quillon-dump summarises."""

import os
import subprocess
import sys
import warnings

import gdspy

from conftest import PACKAGE_ROOT, TESTS
from gds_records import is_complete

CELLS = {"CONTACT", "VIA1", "INV", "NAND2", "ROW", "PAD", "MARK", "LOGO", "INDUCTOR", "CHIP"}


def test_the_demo_chip_example_writes_the_whole_hierarchy(tmp_path, quillon_dump):
    env = dict(os.environ, PYTHONPATH=str(PACKAGE_ROOT))
    result = subprocess.run([sys.executable, str(TESTS.parent / "examples" / "demo_chip.py"),
                             "chip.gds"], cwd=tmp_path, env=env, capture_output=True,
                            text=True)
    assert result.returncode == 0, result.stderr
    data = (tmp_path / "chip.gds").read_bytes()
    assert is_complete(data)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        library = gdspy.GdsLibrary(infile=str(tmp_path / "chip.gds"))
    assert set(library.cell_dict) == CELLS
    assert [c.name for c in library.top_level()] == ["CHIP"]
    chip = library.cell_dict["CHIP"]
    assert len(chip.references) == 4 + 8 + 2 + 2 + 4
    assert sorted(label.text for label in chip.labels).count("VSS") == 2
    # The spiral of 320 points became two PATH elements overlapping by one
    # segment, so that the joint between them keeps its corner.
    spiral = library.cell_dict["INDUCTOR"].paths[:2]
    assert [len(p.points) for p in spiral] == [200, 122]
    assert (spiral[0].points[-2:] == spiral[1].points[:2]).all()
    summary = subprocess.run([str(quillon_dump), "--summary", str(tmp_path / "chip.gds")],
                             capture_output=True, text=True)
    assert summary.returncode == 0, summary.stderr
    assert "CHIP" in summary.stdout


def test_the_photonic_chip_example_is_made_of_the_library_shapes(tmp_path):
    env = dict(os.environ, PYTHONPATH=str(PACKAGE_ROOT))
    result = subprocess.run([sys.executable, str(TESTS.parent / "examples" / "photonic_chip.py"),
                             "photonic.gds"], cwd=tmp_path, env=env, capture_output=True,
                            text=True)
    assert result.returncode == 0, result.stderr
    data = (tmp_path / "photonic.gds").read_bytes()
    assert is_complete(data)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        chip = gdspy.GdsLibrary(infile=str(tmp_path / "photonic.gds")).cell_dict["PHOTONIC_CHIP"]
    # Silicon (layer 3): the bus, its four corners bent into arcs of 1 nm
    # tolerance (over 200 points: two PATH pieces overlapping by one
    # segment), and polygons else: rings, gratings, labels. Heater (7): two
    # ring sectors and four leads.
    bus = [p for p in chip.paths if p.layers[0] == 3]
    assert len(bus) == 2 and len(bus[0].points) + len(bus[1].points) > 200
    assert (bus[0].points[-2:] == bus[1].points[:2]).all()
    assert [p.layers[0] for p in chip.paths].count(7) == 4
    silicon = sum(1 for p in chip.polygons for layer in p.layers if layer == 3)
    assert silicon > 2 * 21 + 2  # teeth, tapers, ring pieces and glyph rectangles
