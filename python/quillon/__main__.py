# SPDX-License-Identifier: MIT
"""python -m quillon --version: the package's version and the library it loads."""

import argparse
import sys

from . import __version__, library_path


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python -m quillon",
                                     description="The Quillon GDSII Stream writer for Python.")
    parser.add_argument("--version", action="store_true",
                        help="print the version and the path of the loaded library")
    args = parser.parse_args(argv)
    if not args.version:
        parser.print_help()
        return 0
    try:
        path = library_path()
    except OSError as error:
        print(f"quillon {__version__}")
        print(error, file=sys.stderr)
        return 1
    print(f"quillon {__version__}")
    print(f"library: {path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
