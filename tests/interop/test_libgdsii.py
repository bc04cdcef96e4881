# libGDSII (Debian gdsiiconvert): `GDSIIConvert FILE --raw` lists every
# record of the generated file and the demo as written.
#
# How libGDSII treats the record kinds it does not model: its record list
# shows BOX, BOXTYPE, NODE, NODETYPE, ELFLAGS and PLEX like any other record,
# but its element model has no BOX or NODE: building it stops at the first
# such element with "unexpected record LAYER (aborting)" and a non-zero exit.
# Strings are cut to their first 32 characters, and reals are printed with
# six significant digits.
import pytest

from conftest import dump_listing, read_libgdsii
import model

FILES = ["generated", "demo"]
KIND = {"BOUNDARY": "boundaries", "BOX": "boxes", "PATH": "paths", "TEXT": "texts",
        "SREF": "srefs", "AREF": "arefs", "NODE": "nodes"}


def view_and_model(request, which):
    return (request.getfixturevalue(f"libgdsii_{which}"), request.getfixturevalue(which)["model"],
            request.getfixturevalue(which)["gds"])


def flat(points):
    return [v for point in points for v in point]


def expected_records(kind, e):
    records = {"ELFLAGS": e["elflags"], "PLEX": [e["plex"]]}
    if kind == "boundaries":
        records.update(LAYER=[e["layer"]], DATATYPE=[e["datatype"]],
                       XY=flat(e["points"] + e["points"][:1]))
    elif kind == "boxes":
        x1, y1, x2, y2 = e["corners"]
        records.update(LAYER=[e["layer"]], BOXTYPE=[e["boxtype"]],
                       XY=[x1, y1, x2, y1, x2, y2, x1, y2, x1, y1])
    elif kind == "paths":
        records.update(LAYER=[e["layer"]], DATATYPE=[e["datatype"]], PATHTYPE=[e["pathtype"]],
                       WIDTH=[e["width"]], XY=flat(e["points"]))
        if "bgnextn" in e:
            records.update(BGNEXTN=[e["bgnextn"]], ENDEXTN=[e["endextn"]])
    elif kind == "texts":
        records.update(LAYER=[e["layer"]], TEXTTYPE=[e["texttype"]],
                       PRESENTATION=e["presentation"], PATHTYPE=[e["pathtype"]],
                       WIDTH=[e["width"]], STRANS=e["strans"], MAG=[pytest.approx(e["mag"], rel=1e-5)],
                       ANGLE=[pytest.approx(e["angle"], rel=1e-5, abs=1e-9)], XY=[e["x"], e["y"]],
                       STRING=e["string"][:32])
    elif kind == "srefs":
        records.update(SNAME=e["name"], STRANS=e["strans"], MAG=[pytest.approx(e["mag"], rel=1e-5)],
                       ANGLE=[pytest.approx(e["angle"], rel=1e-5, abs=1e-9)], XY=[e["x"], e["y"]])
    elif kind == "arefs":
        records.update(SNAME=e["name"], STRANS=e["strans"], MAG=[pytest.approx(e["mag"], rel=1e-5)],
                       ANGLE=[pytest.approx(e["angle"], rel=1e-5, abs=1e-9)],
                       COLROW=[e["columns"], e["rows"]], XY=flat(e["points"]))
    else:
        records.update(LAYER=[e["layer"]], NODETYPE=[e["nodetype"]], XY=flat(e["points"]))
    return records


@pytest.mark.parametrize("which", FILES)
def test_every_record_of_the_file_is_listed(request, which):
    view, _, gds = view_and_model(request, which)
    names = [name for name, _ in model.records_from_listing(dump_listing(gds))]
    assert view["records"] == names


@pytest.mark.parametrize("which", FILES)
def test_every_element_kind_has_its_values_as_written(request, which):
    view, structures, _ = view_and_model(request, which)
    assert set(view["structures"]) == set(structures)
    for name, structure in structures.items():
        seen = view["structures"][name]
        for kind in model.KINDS:
            elements = [e for e in seen if KIND[e["kind"]] == kind]
            assert len(elements) == len(structure[kind]), (name, kind)
            for element, passed in zip(elements, structure[kind]):
                assert {k: v for k, v in element.items() if k != "kind"} == \
                    expected_records(kind, passed), (name, kind)


def test_strings_are_cut_to_32_characters(libgdsii_generated, generated):
    longest = max(generated["model"]["TEXTS"]["texts"], key=lambda t: len(t["string"]))
    assert len(longest["string"]) == 512
    strings = [e["STRING"] for e in libgdsii_generated["structures"]["TEXTS"]]
    assert longest["string"][:32] in strings
    assert max(len(s) for s in strings) == 32


@pytest.mark.parametrize("which", FILES)
def test_element_model_stops_at_box_and_node_elements(request, which):
    view, structures, _ = view_and_model(request, which)
    assert sum(len(s["boxes"]) + len(s["nodes"]) for s in structures.values()) > 0
    assert view["returncode"] != 0
    assert "error: unexpected record LAYER (aborting)" in view["messages"]


def test_element_model_is_built_for_a_file_without_box_or_node(generated):
    view = read_libgdsii(generated["negative_text_width"])
    assert view["returncode"] == 0, view["messages"]
    assert view["structures"]["TEXT_WIDTH"][0]["WIDTH"] == [-5]
