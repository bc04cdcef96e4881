"""Compressed output from Python: gzip by the ".gz" suffix or by the
compression option, the same GDSII bytes inside, the level reaching deflate
(the gzip header's XFL byte: 4 for the fastest level, 2 for the best, 0
between)."""

import gzip
import warnings

import pytest

import quillon
from conftest import STAMP


def _write(path, **options):
    with quillon.Library(path, timestamp=STAMP, library_name="LIB", **options) as lib:
        with lib.structure("TOP") as top:
            for i in range(2000):
                x = i * 10
                top.boundary([(x, 0), (x + 5, 0), (x + 5, 5), (x, 5)], layer=i % 7,
                             props={1: f"n{i % 13}"})
            top.text("pin", (0, 0))
    return path.read_bytes()


@pytest.mark.parametrize("name, compression, xfl", [
    ("chip.gds.gz", None, 4),
    ("CHIP.GDS.GZ", None, 4),
    ("chip.gds", None, None),
    ("chip.gds.gz", 0, None),
    ("chip.gds.gz", False, None),
    ("chip.gds", True, 4),
    ("chip.gds", 1, 4),
    ("chip.gds", 6, 0),
    ("chip.gds", 9, 2),
])
def test_gzip_by_suffix_or_option_holds_the_plain_bytes(tmp_path, name, compression, xfl):
    plain = _write(tmp_path / "plain.gds")
    written = _write(tmp_path / name, compression=compression)
    if xfl is None:
        assert written == plain
    else:
        assert written[:3] == b"\x1f\x8b\x08" and written[8] == xfl
        assert gzip.decompress(written) == plain


@pytest.mark.parametrize("compression", [-1, 10, 1.5, "fast"])
def test_a_bad_compression_is_refused_before_the_file_exists(tmp_path, compression):
    with pytest.raises(ValueError, match="compression"):
        quillon.Library(tmp_path / "x.gds.gz", compression=compression)
    assert not (tmp_path / "x.gds.gz").exists()


def test_gdspy_reads_the_compressed_file_through_gzip_open(tmp_path):
    import gdspy
    _write(tmp_path / "chip.gds.gz")
    with gzip.open(tmp_path / "chip.gds.gz") as stream, warnings.catch_warnings():
        warnings.simplefilter("ignore")  # ELFLAGS, PLEX, properties: unsupported by gdspy
        cell = gdspy.GdsLibrary(infile=stream).cell_dict["TOP"]
    assert len(cell.polygons) == 2000 and len(cell.labels) == 1
