"""Every file that the state, strict-mode and handle tests leave behind,
after errors reported and carried on from, is one KLayout reads."""
import json
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
API_TESTS = os.environ["QUILLON_API_TESTS"]


def test_klayout_reads_every_file_left_behind(tmp_path):
    subprocess.run([API_TESTS, "--gtest_filter=State.*:Handles.*"], check=True,
                   env=dict(os.environ, QUILLON_KEEP_DIR=str(tmp_path)),
                   capture_output=True)
    kept = sorted(p.name for p in tmp_path.glob("*.gds"))
    assert len(kept) >= 9, kept
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run(
        ["klayout", "-b", "-r", os.path.join(HERE, "read_each.py"), "-rd", f"folder={tmp_path}"],
        check=True, capture_output=True, text=True, env=env)
    errors = json.loads(result.stdout.strip().splitlines()[-1])
    assert sorted(errors) == kept
    assert {name: error for name, error in errors.items() if error} == {}


PROPERTIES_SCRIPT = """
import json
import pya
layout = pya.Layout()
layout.read(file)
found = []
for cell in layout.each_cell():
    for layer in layout.layer_indexes():
        for shape in cell.shapes(layer).each():
            found.append({str(k): v for k, v in layout.properties(shape.prop_id)})
print(json.dumps(found))
"""


def test_klayout_and_gdspy_read_properties_back(tmp_path):
    subprocess.run([API_TESTS, "--gtest_filter=Properties.*"], check=True,
                   env=dict(os.environ, QUILLON_KEEP_DIR=str(tmp_path)), capture_output=True)
    path = tmp_path / "properties.gds"
    script = tmp_path / "props.py"
    script.write_text(PROPERTIES_SCRIPT)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run(["klayout", "-b", "-r", str(script), "-rd", f"file={path}"],
                            check=True, capture_output=True, text=True, env=env)
    assert json.loads(result.stdout.strip().splitlines()[-1]) == [{"1": "VDD", "2": "v" * 300}]
    import gdspy
    library = gdspy.GdsLibrary(infile=str(path))
    # gdspy reads the element and skips its properties (its reader keeps
    # none, of any writer).
    polygons = library.cell_dict["TOP"].polygons
    assert len(polygons) == 1 and len(polygons[0].polygons[0]) == 3
    assert not hasattr(polygons[0], "properties")
