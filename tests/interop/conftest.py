# Fixtures of the interop tests: the files under test, written once per
# session, and each reader's view of them. The built programs come from
# CTest through environment variables.
import json
import os
import pathlib
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import model  # noqa: E402


def program(variable):
    path = os.environ.get(variable)
    assert path, f"{variable} is not set (run the interop tests through ctest)"
    assert os.access(path, os.X_OK), f"{variable}={path} is not an executable"
    return path


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, errors="replace", **kwargs)


@pytest.fixture(scope="session")
def workdir(tmp_path_factory):
    return tmp_path_factory.mktemp("interop")


@pytest.fixture(scope="session")
def generated(workdir):
    gds = workdir / "limits.gds"
    manifest = workdir / "limits.json"
    negative_text_width = workdir / "negative-text-width.gds"
    result = run([program("QUILLON_INTEROP_GEN"), str(gds), str(manifest),
                  str(negative_text_width)])
    assert result.returncode == 0, result.stderr
    with open(manifest) as file:
        calls = json.load(file)
    return {"gds": gds, "manifest": calls, "model": model.from_manifest(calls),
            "negative_text_width": negative_text_width}


@pytest.fixture(scope="session")
def demo(workdir):
    result = run([program("QUILLON_DEMO")], cwd=workdir)
    assert result.returncode == 0, result.stdout + result.stderr
    gds = workdir / "demo.gds"
    assert gds.exists()
    return {"gds": gds, "stdout": result.stdout,
            "model": model.from_listing(dump_listing(gds))}


def dump_listing(path):
    result = run([program("QUILLON_DUMP"), str(path)])
    assert result.returncode == 0, result.stderr
    return result.stdout


def read_klayout(path, workdir):
    output = workdir / (path.stem + ".klayout.json")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = run(["klayout", "-b", "-r", str(HERE / "read_klayout.py"), "-rd",
                  f"input={path}", "-rd", f"output={output}"], env=env)
    assert result.returncode == 0, result.stdout + result.stderr
    with open(output) as file:
        view = json.load(file)
    view["log"] = result.stdout + result.stderr
    return view


def read_gdspy(path):
    result = run(["/usr/bin/python3", str(HERE / "read_gdspy.py"), str(path)])
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def read_libgdsii(path):
    result = run(["/usr/bin/python3", str(HERE / "read_libgdsii.py"), str(path)])
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


@pytest.fixture(scope="session")
def klayout_generated(generated, workdir):
    return read_klayout(generated["gds"], workdir)


@pytest.fixture(scope="session")
def klayout_demo(demo, workdir):
    return read_klayout(demo["gds"], workdir)


@pytest.fixture(scope="session")
def gdspy_generated(generated):
    return read_gdspy(generated["gds"])


@pytest.fixture(scope="session")
def gdspy_demo(demo):
    return read_gdspy(demo["gds"])


@pytest.fixture(scope="session")
def libgdsii_generated(generated):
    return read_libgdsii(generated["gds"])


@pytest.fixture(scope="session")
def libgdsii_demo(demo):
    return read_libgdsii(demo["gds"])
