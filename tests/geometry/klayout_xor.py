# Compares what KLayout reads from a written file with the shapes that were
# meant. Runs inside KLayout's batch mode:
#
#   klayout -b -r klayout_xor.py -rd input=FILE.gds -rd cases=CASES.json -rd output=OUT.json
#
# Each case names a cell of the file and the shape that the cell's elements
# must draw together: a path (points, width, extensions, round) or a polygon
# (its vertices). The cell's shapes are merged into one region and XORed
# with that shape; the answer per case is the XOR's area, the area of the
# XOR parts wider than one and than half a database unit, the number of
# elements and the most points of any one of them, and the sum of the
# elements' own areas (above the merged area where elements overlap).
import json

import pya

layout = pya.Layout()
layout.read(input)
with open(cases) as file:
    wanted = json.load(file)

results = {}
for case in wanted:
    cell = layout.cell(case["cell"])
    layer = layout.find_layer(case.get("layer", 1), 0)
    written = pya.Region(cell.begin_shapes_rec(layer))
    sizes = [len(list(s.polygon.each_point_hull())) if not s.is_path()
             else s.path.num_points() for s in cell.shapes(layer).each()]
    points = [pya.Point(x, y) for x, y in case["points"]]
    if case["kind"] == "path":
        reference = pya.Region(pya.Path(points, case["width"], case["bgn_ext"], case["end_ext"],
                                        case["round"]))
    else:
        polygon = pya.Polygon()
        polygon.assign_hull(points, False)  # as given, not compressed or normalised
        for hole in case.get("holes", []):
            polygon.insert_hole([pya.Point(x, y) for x, y in hole], False)
        reference = pya.Region(polygon)
    xor = written.merged() ^ reference.merged()
    # Slivers narrower than 1 unit vanish when the XOR, magnified twice, is
    # shrunk by 1 unit on every side.
    # A round path's caps and joints are polygons inscribed in their circles,
    # made separately for the pieces and for the one path: slivers as wide
    # as that approximation's error may differ too ("tolerance" units).
    thick = xor.transformed(pya.ICplxTrans(2.0)).sized(-case.get("tolerance", 1))
    # Slivers up to half a unit wide vanish at four times the size less 1.
    half = xor.transformed(pya.ICplxTrans(4.0)).sized(-1)
    results[case["cell"]] = {"xor_area": xor.area(), "wider_than_one_unit": thick.area(),
                             "wider_than_half_unit": half.area(),
                             "elements": len(sizes), "largest": max(sizes) if sizes else 0,
                             "written_area": written.merged().area(),
                             "reference_area": reference.merged().area(),
                             "sum_of_areas": sum(s.polygon.area() for s in cell.shapes(layer).each()
                                                 if not s.is_path())}

with open(output, "w") as file:
    json.dump(results, file)
