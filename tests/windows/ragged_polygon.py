# KLayout batch script: checks the gzip files of handle_host.c as KLayout
# draws them. Cell RAGGED holds the host's 10,000-vertex polygon twice, cut
# into pieces: on 1/0 under the default limit of 199 vertices, on 2/5 under
# 4094. Each layer's pieces must merge into exactly the polygon, add up to
# its area (no overlap), stay within their limit and all carry the
# properties queued for them.
#   klayout -b -r ragged_polygon.py -rd file=handle_c.gds.gz -rd properties=JSON
import json
import sys

import pya

N = 10000
xs = [i * 10 for i in range(N - 2)] + [(N - 3) * 10, 0]
ys = [1000 + (i * i) % 997 for i in range(N - 2)] + [0, 0]
outline = pya.Polygon()
outline.assign_hull([pya.Point(x, y) for x, y in zip(xs, ys)], False)
meant = pya.Region(outline)

layout = pya.Layout()
layout.read(file)  # noqa: F821 (set by -rd)
cell = layout.cell("RAGGED")
wanted = json.loads(properties)  # noqa: F821: {"1/0": [[attr, value], ...], ...}
failures = []
for key, limit in (("1/0", 199), ("2/5", 4094)):
    layer, datatype = map(int, key.split("/"))
    shapes = list(cell.shapes(layout.find_layer(layer, datatype)).each())
    pieces = pya.Region([s.polygon for s in shapes])
    xor_area = (pieces.merged() ^ meant).area()
    area_sum = sum(s.polygon.area() for s in shapes)
    largest = max(s.polygon.num_points() for s in shapes)
    carried = {json.dumps(sorted([int(a), str(v)] for a, v in layout.properties(s.prop_id)))
               for s in shapes}
    print(f"{file} {key}: {len(shapes)} pieces, largest {largest} vertices, "  # noqa: F821
          f"XOR area {xor_area}, area sum {area_sum} of {meant.area()}, properties {carried}")
    if xor_area != 0:
        failures.append(f"{key}: the pieces differ from the polygon by {xor_area}")
    if area_sum != meant.area():
        failures.append(f"{key}: the pieces overlap (area sum {area_sum})")
    if len(shapes) < 2 or largest > limit:
        failures.append(f"{key}: {len(shapes)} pieces, largest {largest} for limit {limit}")
    if carried != {json.dumps(sorted(wanted[key]))}:
        failures.append(f"{key}: properties {carried}, not {wanted[key]}")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
