# SPDX-License-Identifier: MIT
"""Builds the Quillon library from the source tree around this package and
installs it inside the package.

`pip install ./python` (or `python3 -m build --wheel python`) runs CMake on
the repository, builds the target quillon, and copies libquillon.so into
the package's build folder, so the installed package carries its own copy
(found second, after QUILLON_LIBRARY; see quillon/_native.py). The version
is the project VERSION of the repository's CMakeLists.txt, written into the
generated quillon/_version.py.

QUILLON_CMAKE_ARGS adds arguments to the CMake configure step.
"""

import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent

if sys.platform == "win32":
    LIBRARY_NAME = "Quillon.dll"
elif sys.platform == "darwin":
    LIBRARY_NAME = "libquillon.dylib"
else:
    LIBRARY_NAME = "libquillon.so"


def project_version():
    """The VERSION of project(Quillon ...) in the repository's CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\s*\(\s*Quillon\s+VERSION\s+([0-9][0-9.]*)", text)
    if not match:
        raise RuntimeError(f"no project(Quillon VERSION ...) in {ROOT / 'CMakeLists.txt'}")
    return match.group(1)


class BuildWithLibrary(build_py):
    """build_py that also builds the shared library and writes _version.py."""

    def run(self):
        # Start from an empty package folder: a library or module left by an
        # earlier build (python/build/lib) must never be installed again.
        package_dir = Path(self.build_lib) / "quillon"
        if package_dir.exists():
            shutil.rmtree(package_dir)
        super().run()
        package_dir.mkdir(parents=True, exist_ok=True)
        (package_dir / "_version.py").write_text(
            "# SPDX-License-Identifier: MIT\n"
            "# Written by setup.py from the project VERSION of CMakeLists.txt.\n"
            f"version = {project_version()!r}\n")
        shutil.copyfile(self.build_library(), package_dir / LIBRARY_NAME)

    def build_library(self):
        build_dir = Path(self.get_finalized_command("build").build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build_dir),
                     "-DCMAKE_BUILD_TYPE=Release", "-DQUILLON_TESTS=OFF",
                     "-DQUILLON_TOOLS=OFF", "-DQUILLON_SOVERSION=OFF"]
        configure += shlex.split(os.environ.get("QUILLON_CMAKE_ARGS", ""))
        self.announce(" ".join(configure), level=2)
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "quillon",
                        "-j", os.environ.get("QUILLON_BUILD_JOBS", "2")], check=True)
        # A plain libquillon.so (SONAME libquillon.so): the package's copy
        # goes by that one name.
        library = (build_dir / LIBRARY_NAME).resolve()
        if not library.is_file():
            raise RuntimeError(f"the CMake build made no {build_dir / LIBRARY_NAME}")
        return library


class PlatformDistribution(Distribution):
    """Carries a native library: built into the platform's library folder
    and packed as a platform wheel."""

    def has_ext_modules(self):
        return True


commands = {"build_py": BuildWithLibrary}
try:
    from wheel.bdist_wheel import bdist_wheel

    class PlatformWheel(bdist_wheel):
        """A wheel for this platform (it carries a native library) that any
        Python 3 can use (the binding is ctypes, no extension module)."""

        def get_tag(self):
            return ("py3", "none", super().get_tag()[2])

    commands["bdist_wheel"] = PlatformWheel
except ImportError:
    # setuptools before 70.1 builds wheels (and pip's metadata step) through
    # the wheel package: say so instead of "invalid command 'bdist_wheel'".
    if {"bdist_wheel", "dist_info"} & set(sys.argv[1:]):
        sys.exit("quillon: building the package (pip install, python -m build) needs the "
                 "'wheel' package in this Python (" + sys.executable + "): on Debian "
                 "apt-get install python3-wheel and, in a venv, create it with "
                 "python3 -m venv --system-site-packages")

setup(version=project_version(), cmdclass=commands, distclass=PlatformDistribution)
