# props= on every element method: PROPATTR/PROPVALUE pairs before each
# element's ENDEL, in the order given; bad ones are refused before anything
# is queued.
import pytest

import quillon
from gds_records import read_records

ELEMENT_STARTS = {"BOUNDARY", "PATH", "SREF", "AREF", "TEXT", "NODE", "BOX"}
SQUARE = [(0, 0), (10, 0), (10, 10), (0, 10)]


def properties_per_element(path):
    found, current = [], None
    records = read_records(path.read_bytes())
    for i, record in enumerate(records):
        if record.name in ELEMENT_STARTS:
            current = []
        elif record.name == "PROPATTR":
            current.append((record.ints()[0] & 0xFFFF, records[i + 1].text()))
        elif record.name == "ENDEL":
            found.append(current)
    return found


CALLS = [
    ("box", lambda s, p: s.box(0, 0, 10, 10, props=p), 1),
    ("box_wh", lambda s, p: s.box_wh(0, 0, 10, 10, props=p), 1),
    ("square", lambda s, p: s.square(0, 0, 10, props=p), 1),
    ("rectangle", lambda s, p: s.rectangle((0, 0), (10, 10), props=p), 1),
    ("boundary", lambda s, p: s.boundary(SQUARE, props=p), 1),
    ("polygon", lambda s, p: s.polygon([(i, (i * i) % 7) for i in range(0, 3000, 10)]
                                       + [(3000, 100), (0, 100)], props=p), None),
    ("path", lambda s, p: s.path([(0, 0), (100, 0)], width=5, props=p), 1),
    ("circle", lambda s, p: s.circle((0, 0), 100, props=p), 1),
    ("arc", lambda s, p: s.arc((0, 0), 100, 0, 90, width=5, props=p), 1),
    ("sector", lambda s, p: s.sector((0, 0), 100, 0, 90, props=p), 1),
    ("sref", lambda s, p: s.sref("LEAF", (0, 0), props=p), 1),
    ("aref", lambda s, p: s.aref("LEAF", (0, 0), 2, 2, spacing=(10, 10), props=p), 1),
    ("text", lambda s, p: s.text("pin", (0, 0), props=p), 1),
    ("node", lambda s, p: s.node(SQUARE, props=p), 1),
]


@pytest.mark.parametrize("name, call, elements", CALLS, ids=[c[0] for c in CALLS])
def test_every_element_carries_its_properties(tmp_path, name, call, elements):
    path = tmp_path / f"{name}.gds"
    with quillon.Library(str(path)) as lib:
        with lib.structure("LEAF") as leaf:
            leaf.box(0, 0, 1, 1)
        with lib.structure("TOP") as top:
            call(top, {1: "VDD", 7: "net"})
            call(top, [(32767, b"AB")])
            call(top, None)
    found = properties_per_element(path)[1:]  # LEAF's box first
    n = len(found) // 3
    assert elements is None or n == elements
    assert found == [[(1, "VDD"), (7, "net")]] * n + [[(32767, "AB")]] * n + [[]] * n


@pytest.mark.parametrize("props, error", [({0: "x"}, ValueError), ({65536: "x"}, ValueError),
                                          ({1: 5}, TypeError), ({1: "x" * 65531}, ValueError)])
def test_bad_properties_are_refused_and_nothing_is_queued(tmp_path, props, error):
    path = tmp_path / "bad.gds"
    with quillon.Library(str(path)) as lib:
        with lib.structure("TOP") as top:
            with pytest.raises(error):
                top.box(0, 0, 10, 10, props={2: "ok", **props})
            top.box(0, 0, 10, 10)
            with pytest.raises(ValueError):  # a bad argument after good properties
                top.box_wh(0, 0, 2 ** 31, 10, props={3: "lost"})
            top.box(0, 0, 10, 10)
    assert properties_per_element(path) == [[], []]
