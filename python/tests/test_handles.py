"""Each Library owns a writer: libraries open at once from several threads
write the files the same calls make one after another, and a Library
dropped unfinished is finished by the garbage collector."""

import gc
import threading
import warnings

import numpy as np
import pytest

import quillon
from conftest import STAMP
from gds_records import is_complete, read_records


def _draw(lib, seed, barrier=None):
    """A few thousand elements of every batch and single kind, from seed."""
    rng = np.random.default_rng(seed)
    corners = rng.integers(-10 ** 6, 10 ** 6, size=(3000, 4))
    polygons = rng.integers(-10 ** 6, 10 ** 6, size=(400, 8, 2))
    if barrier is not None:
        barrier.wait()
    for cell in range(6):
        with lib.structure(f"CELL{seed}_{cell}") as top:
            top.boxes(corners, layer=seed)
            top.boundaries(polygons, layer=seed, datatype=cell)
            for i, (x1, y1, x2, y2) in enumerate(corners[:500].tolist()):
                top.box(x1, y1, x2, y2, layer=i % 7)
                top.path([(x1, y1), (x2, y2)], width=seed + 1, layer=cell)
            top.text(f"seed {seed}", (seed, cell), layer=63)
            if cell:
                top.sref(f"CELL{seed}_{cell - 1}", (cell, seed))


def _open(path):
    # Same LIBNAME whatever the file name, so that files compare byte for byte.
    return quillon.Library(path, timestamp=STAMP, library_name="THREADS")


def test_two_libraries_in_two_threads_write_what_sequential_calls_write(tmp_path):
    for seed in (1, 2):
        with _open(tmp_path / f"sequential{seed}.gds") as lib:
            _draw(lib, seed)

    barrier = threading.Barrier(2)
    errors = []

    def run(seed):
        try:
            with _open(tmp_path / f"threaded{seed}.gds") as lib:
                _draw(lib, seed, barrier)
        except BaseException as error:  # noqa: BLE001 - reported below
            errors.append(error)

    threads = [threading.Thread(target=run, args=(seed,)) for seed in (1, 2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert errors == []
    for seed in (1, 2):
        threaded = (tmp_path / f"threaded{seed}.gds").read_bytes()
        sequential = (tmp_path / f"sequential{seed}.gds").read_bytes()
        assert is_complete(threaded) and len(threaded) > 200000
        assert threaded == sequential
    assert (tmp_path / "threaded1.gds").read_bytes() != (tmp_path / "threaded2.gds").read_bytes()


def _abandon(path):
    lib = _open(path)
    top = lib.structure("TOP")
    top.box(0, 0, 10, 10, layer=1)
    # Returning drops both: the library and its open structure refer only to
    # each other, a cycle that only the garbage collector frees.


def test_a_dropped_library_is_finished_by_the_garbage_collector(tmp_path):
    dropped = tmp_path / "dropped.gds"
    with pytest.warns(ResourceWarning, match="unclosed quillon.Library.*dropped.gds.*"
                                             "renamed to .*dropped.gds.partial"):
        _abandon(dropped)
        gc.collect()
    with _open(tmp_path / "closed.gds") as lib:
        with lib.structure("TOP") as top:
            top.box(0, 0, 10, 10, layer=1)
    assert not dropped.exists()  # never taken for a whole layout
    data = (tmp_path / "dropped.gds.partial").read_bytes()
    assert is_complete(data)
    assert data == (tmp_path / "closed.gds").read_bytes()


def test_a_library_dropped_in_another_thread_blocks_nothing(tmp_path):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        thread = threading.Thread(target=_abandon, args=(tmp_path / "other.gds",))
        thread.start()
        thread.join()
        with _open(tmp_path / "main.gds") as lib:  # refused before: one export at a time
            lib.structure("A").end()
        gc.collect()
    assert any(issubclass(w.category, ResourceWarning) for w in caught)
    assert is_complete((tmp_path / "other.gds.partial").read_bytes())
    assert is_complete((tmp_path / "main.gds").read_bytes())


def test_a_closed_library_is_not_finished_again(tmp_path):
    path = tmp_path / "once.gds"
    lib = _open(path)
    lib.structure("A").end()
    lib.close()
    size = path.stat().st_size
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # no ResourceWarning for a closed library
        del lib
        gc.collect()
    assert path.stat().st_size == size
    assert [r.name for r in read_records(path.read_bytes())][-1] == "ENDLIB"
