"""Library framing from Python: units, time stamps, file names, one library
at a time, complete files after exceptions, and finding the shared library."""

import datetime
import os
import subprocess
import sys
import warnings
from pathlib import Path

import pytest

import quillon
from quillon import _native
from quillon import QuillonError, _messages as msg
from conftest import PACKAGE_ROOT, STAMP
from gds_records import is_complete, read_records


def _records(path):
    return {r.name: r for r in read_records(Path(path).read_bytes())}


def test_units_and_file_name_reach_the_header(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    with quillon.Library("chip.gds", db_in_user_units=0.001, db_in_meters=1e-9) as lib:
        assert (lib.db_in_user_units, lib.db_in_meters) == (0.001, 1e-9)
    records = _records("chip.gds")
    assert records["HEADER"].ints() == [3]
    assert records["LIBNAME"].text() == "chip.gds"
    user, meters = records["UNITS"].data[:8], records["UNITS"].data[8:]
    assert user.hex() == "3e4189374bc6a7f0"  # 0.001 as a GDSII 8-byte real
    assert meters.hex() == "3944b82fa09b5a54"  # 1e-9
    with quillon.Library(Path("other.gds"), 1.0, 2.5e-10):
        pass
    assert _records("other.gds")["LIBNAME"].text() == "other.gds"
    assert _records("other.gds")["UNITS"].data[:8].hex() == "4110000000000000"


def test_a_fixed_timestamp_stamps_library_and_structures(tmp_path):
    path = tmp_path / "stamped.gds"
    with quillon.Library(path, timestamp=STAMP) as lib:
        lib.structure("A").end()
    fields = [124, 5, 17, 13, 45, 9] * 2
    records = read_records(path.read_bytes())
    assert [r.ints() for r in records if r.name in ("BGNLIB", "BGNSTR")] == [fields, fields]


def test_no_timestamp_returns_to_the_clock(tmp_path):
    with quillon.Library(tmp_path / "fixed.gds", timestamp=datetime.datetime(1999, 1, 1)):
        pass
    before = datetime.datetime.now().replace(microsecond=0)
    with quillon.Library(tmp_path / "clock.gds"):
        pass
    after = datetime.datetime.now()
    year, month, day, hour, minute, second = _records(tmp_path / "clock.gds")["BGNLIB"].ints()[:6]
    written = datetime.datetime(year + 1900, month, day, hour, minute, second)
    assert before - datetime.timedelta(seconds=1) <= written <= after


def test_bad_timestamps_and_units_create_no_file(tmp_path):
    path = tmp_path / "never.gds"
    with pytest.raises(QuillonError) as info:
        quillon.Library(path, timestamp=datetime.datetime(1800, 1, 1))
    assert info.value.message == msg.TIMESTAMP_OUT_OF_RANGE
    with pytest.raises(TypeError):
        quillon.Library(path, timestamp="2024-01-01")
    for units in ((float("nan"), 1e-9), (0.001, float("inf")), (0.0, 1e-9), (-1.0, 1e-9)):
        with pytest.raises(QuillonError) as info:
            quillon.Library(path, *units)
        assert (info.value.message, info.value.status) == (msg.INVALID_UNITS, -2)
    with pytest.raises(ValueError):
        quillon.Library(path, db_in_user_units=1e80)  # no GDSII 8-byte real
    assert not path.exists()
    with quillon.Library(path):  # nothing was left open
        pass


def test_several_libraries_are_open_at_once(tmp_path):
    first, second = tmp_path / "first.gds", tmp_path / "second.gds"
    with quillon.Library(first, timestamp=STAMP) as lib:
        with lib.structure("A") as a:
            a.box(0, 0, 1, 1)
            with quillon.Library(second, timestamp=STAMP) as other:
                other.structure("A").box(5, 5, 6, 6)  # same name, another library
            a.box(1, 1, 2, 2)
    names = [r.name for r in read_records(first.read_bytes())]
    assert names.count("BOX") == 2 and is_complete(first.read_bytes())
    assert [r.name for r in read_records(second.read_bytes())].count("BOX") == 1
    assert is_complete(second.read_bytes())


def test_an_exception_inside_with_blocks_renames_the_file_to_partial(tmp_path):
    path = tmp_path / "interrupted.gds"
    partial = tmp_path / "interrupted.gds.partial"
    with pytest.raises(RuntimeError, match="generator failed"):
        with quillon.Library(path) as lib:
            with lib.structure("A") as a:
                a.box(0, 0, 1, 1)
                raise RuntimeError("generator failed")
    assert lib.closed and not path.exists() and is_complete(partial.read_bytes())
    with pytest.raises(KeyError):
        with quillon.Library(path) as lib:
            top = lib.structure("TOP")  # no with: the library ends it
            top.box(0, 0, 1, 1)
            raise KeyError("oops")
    assert top.closed and not path.exists() and is_complete(partial.read_bytes())
    names = [r.name for r in read_records(partial.read_bytes())]
    assert names[-3:] == ["ENDEL", "ENDSTR", "ENDLIB"] and "STRNAME" in names
    assert [r.text() for r in read_records(partial.read_bytes())
            if r.name == "STRNAME"] == ["TOP"]  # the second run replaced the first


@pytest.mark.parametrize("on_error, kept, partial", [
    ("keep", True, False), ("remove", False, False), ("partial", False, True)])
def test_on_error_chooses_what_happens_to_an_interrupted_file(tmp_path, on_error, kept,
                                                              partial):
    path = tmp_path / "chip.gds"
    with pytest.raises(QuillonError) as info:
        with quillon.Library(path, on_error=on_error) as lib:
            with lib.structure("A") as a:
                a.box(0, 0, 1, 1)
                a.boundary([(0, 0), (1, 1)])
    assert info.value.message == msg.BOUNDARY_TOO_FEW and info.value.status == -2
    assert path.exists() == kept
    assert (tmp_path / "chip.gds.partial").exists() == partial
    survivor = path if kept else tmp_path / "chip.gds.partial"
    if kept or partial:
        data = survivor.read_bytes()
        assert is_complete(data) and [r.name for r in read_records(data)].count("BOX") == 1
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(
        ["chip.gds"] * kept + ["chip.gds.partial"] * partial)
    with quillon.Library(path, on_error=on_error):  # no exception: the file stays
        pass
    assert is_complete(path.read_bytes())
    with pytest.raises(ValueError):
        quillon.Library(path, on_error="discard")


def test_close_is_idempotent_and_explicit_use_works(tmp_path):
    path = tmp_path / "explicit.gds"
    lib = quillon.Library(path)
    top = lib.structure("TOP")
    top.box(0, 0, 1, 1)
    top.end()
    top.end()
    lib.close()
    lib.close()
    assert lib.closed and is_complete(path.read_bytes())
    assert repr(lib) == f"<quillon.Library {str(path)!r} closed>"


def test_a_reference_to_an_undefined_cell_warns_naming_it(tmp_path):
    # A typo next to the cell meant: the file is complete and kept, the
    # warning names the typo, and a filter set to "error" raises it at close.
    def write(path):
        with quillon.Library(path) as lib:
            with lib.structure("PAD") as pad:
                pad.box(0, 0, 60, 60)
            with lib.structure("TOP") as top:
                top.sref("PAD", (0, 0))
                top.sref("PAd", (100, 0))

    text = msg.UNDEFINED_STRUCTURE + " Undefined: PAd."
    with pytest.warns(quillon.UndefinedStructureWarning) as record:
        write(tmp_path / "warned.gds")
    assert [str(w.message) for w in record] == [text]
    with warnings.catch_warnings():
        warnings.simplefilter("error", quillon.UndefinedStructureWarning)
        with pytest.raises(quillon.UndefinedStructureWarning) as info:
            write(tmp_path / "raised.gds")
    assert str(info.value) == text
    assert is_complete((tmp_path / "warned.gds").read_bytes())
    assert is_complete((tmp_path / "raised.gds").read_bytes())


def test_a_file_that_cannot_be_created_raises_and_leaves_nothing_open(tmp_path):
    with pytest.raises(QuillonError) as info:
        quillon.Library(tmp_path / "missing" / "dir" / "x.gds")
    assert info.value.message == msg.CANNOT_OPEN_FILE
    with quillon.Library(tmp_path / "fine.gds"):
        pass
    assert is_complete((tmp_path / "fine.gds").read_bytes())


def _python(code, env_changes, cwd):
    env = dict(os.environ)
    env.update(env_changes)
    env["PYTHONPATH"] = str(PACKAGE_ROOT)
    return subprocess.run([sys.executable, "-c", code], env=env, cwd=cwd,
                          capture_output=True, text=True)


def test_a_script_that_dies_outside_with_leaves_a_partial_file(tmp_path):
    code = ("import quillon\nlib = quillon.Library('open.gds')\n"
            "lib.structure('TOP').box(0, 0, 1, 1)\nraise RuntimeError('crashed')\n")
    result = _python(code, {"PYTHONWARNINGS": "default"}, tmp_path)
    assert result.returncode == 1 and "RuntimeError: crashed" in result.stderr, result.stderr
    assert "ResourceWarning: unclosed quillon.Library 'open.gds'" in result.stderr
    assert not (tmp_path / "open.gds").exists()
    assert is_complete((tmp_path / "open.gds.partial").read_bytes())


def test_the_library_is_found_through_quillon_library(tmp_path):
    library = quillon.library_path()
    result = _python("import quillon; print(quillon.library_path())",
                     {"QUILLON_LIBRARY": library}, tmp_path)
    assert result.stdout.strip() == library
    result = _python("import quillon; quillon.Library('x.gds')",
                     {"QUILLON_LIBRARY": str(tmp_path / "nowhere.so")}, tmp_path)
    assert result.returncode != 0
    assert "nowhere.so" in result.stderr and "QUILLON_LIBRARY" in result.stderr
    assert not (tmp_path / "x.gds").exists()


def test_without_quillon_library_the_copy_next_to_the_package_comes_first(tmp_path):
    package = tmp_path / "quillon"
    package.mkdir()
    for source in (PACKAGE_ROOT / "quillon").glob("*.py"):
        (package / source.name).write_bytes(source.read_bytes())
    # The file name the binding looks for (libquillon.so), whatever the name
    # of the loaded file (libquillon.so.1.0.0 in a build folder).
    copy = package / _native._LIBRARY_NAME
    copy.write_bytes(Path(quillon.library_path()).read_bytes())
    env = {k: v for k, v in os.environ.items() if k != "QUILLON_LIBRARY"}
    env["PYTHONPATH"] = str(tmp_path)
    result = subprocess.run([sys.executable, "-c",
                             "import quillon; print(quillon.library_path())"],
                            env=env, cwd=tmp_path, capture_output=True, text=True)
    assert result.stdout.strip() == str(copy), result.stderr
