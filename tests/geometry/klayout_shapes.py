# Reads a written file with KLayout and reports, per cell, what the tests of
# the tolerance-driven shapes and the printed text check:
#
#   klayout -b -r klayout_shapes.py -rd input=FILE.gds -rd cases=CASES.json -rd output=OUT.json
#
# For each case: the elements on its layer (BOUNDARY outlines with their
# holes as KLayout reads them, PATH spines, widths and extensions), whether
# any polygon is strange (self-touching or self-crossing: KLayout's own
# check), the merged area and the sum of the elements' areas (equal unless
# elements overlap), the bounding box, the number of shapes on other
# layers, the merged outline (rings: hull, then holes), and, when the case names an ellipse, the area of the XOR against
# KLayout's own ellipse (pya.Polygon.ellipse, with a hole for a ring).
import json

import pya

layout = pya.Layout()
layout.read(input)
with open(cases) as file:
    wanted = json.load(file)

results = {}
for case in wanted:
    cell = layout.cell(case["cell"])
    layer = layout.find_layer(case["layer"], case.get("datatype", 0))
    shapes = list(cell.shapes(layer).each()) if layer is not None else []
    region = pya.Region(cell.begin_shapes_rec(layer)) if layer is not None else pya.Region()
    polygons = []
    paths = []
    for s in shapes:
        if s.is_path():
            p = s.path
            paths.append({"points": [[q.x, q.y] for q in p.each_point()], "width": p.width,
                          "bgn_ext": p.bgn_ext, "end_ext": p.end_ext, "round": p.round})
        else:
            p = s.polygon
            polygons.append({"hull": [[q.x, q.y] for q in p.each_point_hull()],
                             "holes": [[[q.x, q.y] for q in p.each_point_hole(h)]
                                       for h in range(p.holes())],
                             "area": p.area()})
    merged = region.merged()
    box = merged.bbox()
    others = sum(cell.shapes(i).size() for i in layout.layer_indexes() if i != layer)
    outline = [[[[q.x, q.y] for q in p.each_point_hull()]] +
               [[[q.x, q.y] for q in p.each_point_hole(h)] for h in range(p.holes())]
               for p in merged.each()]
    result = {"polygons": polygons, "paths": paths, "merged_area": merged.area(),
              "outline": outline,
              "sum_of_areas": sum(p["area"] for p in polygons),
              "strange": pya.Region([s.polygon for s in shapes if not s.is_path()])
                         .strange_polygon_check().count(),
              "bbox": [box.left, box.bottom, box.right, box.top], "other_shapes": others}
    e = case.get("ellipse")
    if e:
        cx, cy, rx, ry, irx, iry = e["center"] + e["radii"] + e["inner"]
        n = 1 << 14
        reference = pya.Region(pya.Polygon.ellipse(pya.Box(cx - rx, cy - ry, cx + rx, cy + ry), n))
        if irx:
            reference -= pya.Region(pya.Polygon.ellipse(
                pya.Box(cx - irx, cy - iry, cx + irx, cy + iry), n))
        result["xor_area"] = (merged ^ reference).area()
    results[case["cell"]] = result

with open(output, "w") as file:
    json.dump(results, file)
