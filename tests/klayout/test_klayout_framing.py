"""Libraries written by Quillon, read back by KLayout: the library name,
both units, the time stamps and the structure names come back as written."""
import json
import os
import subprocess

import pytest

SAMPLE = os.environ["QUILLON_FRAMING_SAMPLE"]
HERE = os.path.dirname(os.path.abspath(__file__))


def klayout_view(path):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run(
        ["klayout", "-b", "-r", os.path.join(HERE, "read_library.py"), "-rd", f"file={path}"],
        check=True, capture_output=True, text=True, env=env)
    return json.loads(result.stdout.strip().splitlines()[-1])


def write(path, user_units, metre_units, names):
    subprocess.run([SAMPLE, str(path), user_units, metre_units, *names], check=True)


@pytest.mark.parametrize("file_name", ["a.gds", "even.gds"])
def test_library_name_and_units(tmp_path, file_name):
    path = tmp_path / file_name
    write(path, "0.001", "1e-9", ["TOP"])
    view = klayout_view(path)
    assert view["meta"]["libname"] == str(path)
    assert float(view["meta"]["dbuu"]) == 0.001
    assert float(view["meta"]["dbum"]) == 1e-9
    assert view["dbu"] == pytest.approx(0.001)
    assert view["meta"]["mod_time"] == "12/7/2026 8:32:51"
    assert view["meta"]["access_time"] == "12/7/2026 8:32:51"


def test_unusual_units_come_back_exactly(tmp_path):
    path = tmp_path / "units.gds"
    write(path, "0.25", "2.5e-7", [])
    view = klayout_view(path)
    assert float(view["meta"]["dbuu"]) == 0.25
    assert float(view["meta"]["dbum"]) == 2.5e-7


def test_structure_names(tmp_path):
    names = ["TOP", "top", "CELL_1", "A", "AB", "x" * 200, "with space"]
    path = tmp_path / "names.gds"
    write(path, "0.001", "1e-9", names)
    assert klayout_view(path)["cells"] == sorted(names)


def test_duplicate_name_is_refused(tmp_path):
    path = tmp_path / "dup.gds"
    result = subprocess.run([SAMPLE, str(path), "0.001", "1e-9", "A", "A"],
                            capture_output=True, text=True)
    assert result.returncode == 1
    assert result.stderr.strip() == "Error: Structure with this name is already inserted."


def test_unfinished_export_is_saved_when_the_library_unloads(tmp_path):
    path = tmp_path / "unfinished.gds"
    subprocess.run([SAMPLE, "--unfinished", str(path), "0.001", "1e-9", "A", "B"], check=True)
    data = path.read_bytes()
    # Every record the host wrote is there, up to the last ENDSTR; no ENDLIB.
    kinds = []
    at = 0
    while at < len(data):
        length = int.from_bytes(data[at:at + 2], "big")
        assert length >= 4 and at + length <= len(data)
        kinds.append(data[at + 2])
        at += length
    assert kinds == [0x00, 0x01, 0x02, 0x03, 0x05, 0x06, 0x07, 0x05, 0x06, 0x07]
