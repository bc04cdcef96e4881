"""Shared fixtures: the binding from this tree, the C replay program built
against the same library, and the paths of the tools the tests read back
with. QUILLON_LIBRARY, QUILLON_DUMP and QUILLON_INCLUDE (set by CMake)
override the defaults in the source tree; QUILLON_TEST_INSTALLED=1 tests the
installed package instead of the tree's."""

import datetime
import os
import subprocess
import sys
import warnings
from pathlib import Path

import pytest

TESTS = Path(__file__).resolve().parent
ROOT = TESTS.parent.parent
# QUILLON_TEST_INSTALLED=1 tests the quillon package installed in this
# interpreter (a wheel, pip install) instead of the one in this tree.
INSTALLED = os.environ.get("QUILLON_TEST_INSTALLED") == "1"
if not INSTALLED:
    sys.path.insert(0, str(TESTS.parent))
sys.path.insert(0, str(TESTS))

import quillon  # noqa: E402
from gds_records import read_records  # noqa: E402

# The folder holding the package under test: what a child interpreter needs
# on PYTHONPATH to import the same package.
PACKAGE_ROOT = Path(quillon.__file__).resolve().parent.parent
if INSTALLED:
    assert PACKAGE_ROOT != TESTS.parent, f"quillon imported from the tree: {quillon.__file__}"

# One fixed time for every file, so that Python and C files compare byte
# for byte.
STAMP = datetime.datetime(2024, 5, 17, 13, 45, 9)
STAMP_LINE = "SetTimestamp 2024 5 17 13 45 9"


@pytest.fixture(scope="session")
def replay_program(tmp_path_factory):
    """Builds replay.c against include/quillon.h and the loaded library."""
    library = Path(quillon.library_path()).resolve()
    include = Path(os.environ.get("QUILLON_INCLUDE", ROOT / "include"))
    out = tmp_path_factory.mktemp("replay") / "replay"
    subprocess.run([os.environ.get("CC", "cc"), "-std=c99", "-O1", "-Wall", "-Wextra",
                    "-Werror", f"-I{include}", str(TESTS / "replay.c"), str(library),
                    f"-Wl,-rpath,{library.parent}", "-o", str(out)], check=True)
    return out


@pytest.fixture
def write_c(replay_program, tmp_path):
    """write_c(lines, units=(1.0, 1e-9)) -> (bytes, reports): a library with
    one structure TOP holding the element calls in lines, written from C."""

    def write(lines, units=(1.0, 1e-9), name="TOP"):
        target = tmp_path / "from_c.gds"
        script = [STAMP_LINE, f"BeginLib {target} {units[0]!r} {units[1]!r}",
                  f"BeginStructure {name}", *lines, "EndStructure", "EndLib"]
        path = tmp_path / "script.txt"
        path.write_text("\n".join(script) + "\n")
        result = subprocess.run([str(replay_program), str(path)], check=True,
                                capture_output=True, text=True)
        reports = [line[len("report: "):] for line in result.stdout.splitlines()
                   if line.startswith("report: ")]
        data = target.read_bytes()
        # LIBNAME holds the file name: make the C file comparable with the
        # Python one written to from_python.gds.
        return data, reports

    return write


def undefined_warning(data):
    """The UndefinedStructureWarning texts closing the file data calls for:
    one naming the first ten structures its SREFs and AREFs name but it
    never defines, in the order first named, or none."""
    records = read_records(data)
    defined = {r.text() for r in records if r.name == "STRNAME"}
    missing = list(dict.fromkeys(r.text() for r in records
                                 if r.name == "SNAME" and r.text() not in defined))
    if not missing:
        return []
    more = f" and {len(missing) - 10} more" if len(missing) > 10 else ""
    return [f"Error: Reference to an undefined structure. Undefined: "
            f"{', '.join(missing[:10])}{more}."]


@pytest.fixture
def write_py(tmp_path):
    """write_py(draw, units=(1.0, 1e-9)) -> bytes: the same library written
    through the binding, draw(top) making the element calls. Closing it
    must warn of exactly the undefined structures the file references."""

    def write(draw, units=(1.0, 1e-9), name="TOP"):
        target = tmp_path / "from_c.gds"  # same LIBNAME as the C file
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always", quillon.UndefinedStructureWarning)
            # Every record, as the flat C functions write them.
            with quillon.Library(str(target), *units, timestamp=STAMP, compact=False) as lib:
                with lib.structure(name) as top:
                    draw(top)
        for warning in caught:
            if warning.category is not quillon.UndefinedStructureWarning:
                warnings.warn_explicit(warning.message, warning.category, warning.filename,
                                       warning.lineno)
        data = target.read_bytes()
        target.unlink()
        assert [str(w.message) for w in caught
                if w.category is quillon.UndefinedStructureWarning] == undefined_warning(data)
        return data

    return write


@pytest.fixture(scope="session")
def quillon_dump():
    """The quillon-dump binary of this tree (it must exist)."""
    path = Path(os.environ.get("QUILLON_DUMP", ROOT / "build" / "tools" / "quillon-dump"))
    assert path.is_file(), f"quillon-dump not built at {path}"
    return path
