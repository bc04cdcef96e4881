# SPDX-License-Identifier: MIT
"""Quillon for Python: write GDSII Stream files as you compute them.

A thin ctypes binding over the Quillon C library (no compiled extension).
Every element is written to the file at the moment it is called, so a script
runs in constant memory whatever the size of the layout::

    import quillon

    with quillon.Library("chip.gds", unit=1e-6, precision=1e-9) as lib:
        with lib.structure("TOP") as top:
            top.box((0, 0), (1, 0.5), layer=1)
            top.rectangle((0, 0), (1, 0.5), layer=(1, 2))
            top.boundary([(0, 0), (0.1, 0), (0.05, 0.08)], layer=2)
            top.text("hello", (0, -0.1), layer=10)

With the units in gdstk's spelling (``unit=``, ``precision=``) coordinates
are in user units (here micrometres), ints or floats, rounded to the
database grid; with ``db_in_user_units``/``db_in_meters`` they are ints in
database units (``coordinates=`` chooses either way, see :class:`Library`).
Each Library has a writer of its own: any number may be open at once, from
any threads. Errors the
library reports raise :class:`QuillonError` with its exact message and
status, before anything of the offending call is written. See
:class:`Library` and :class:`Structure`.
"""

from ._native import candidate_paths
from .errors import QuillonError, UndefinedStructureWarning
from .library import IncludedNames, Library
from .scan import Scan, scan
from .structure import Structure

__all__ = ["Library", "Structure", "QuillonError", "UndefinedStructureWarning", "scan", "Scan",
           "IncludedNames", "library_path", "candidate_paths", "__version__"]


def _tree_version():
    # Run from the source tree: the project VERSION of its CMakeLists.txt.
    import re
    from pathlib import Path
    try:
        text = (Path(__file__).resolve().parent.parent.parent / "CMakeLists.txt").read_text()
    except OSError:
        return "unknown"
    match = re.search(r"project\s*\(\s*Quillon\s+VERSION\s+([0-9][0-9.]*)", text)
    return match.group(1) if match else "unknown"


try:  # written by setup.py when the package is built
    from ._version import version as __version__
except ImportError:
    __version__ = _tree_version()


def library_path():
    """The path of the loaded Quillon shared library (loading it if needed)."""
    from ._native import native
    return native().path
