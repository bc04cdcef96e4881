# Random clusters of overlapping bars, merged by KLayout: the outlines of
# real rectilinear layouts, holes included. Runs in KLayout's batch mode:
#
#   klayout -b -r klayout_clusters.py -rd count=N -rd output=OUT.json
#
# Each case is the cluster's largest merged polygon twice: as one outline
# whose holes are joined to it by keyholes (pya.Polygon.resolved_holes), and
# as its hull and holes, ring by ring.
import json
import random

import pya

cases = []
for seed in range(int(count)):
    rng = random.Random(seed)
    bars = pya.Region()
    for _ in range(30):
        x, y = rng.randrange(0, 1000), rng.randrange(0, 1000)
        long, short = rng.randrange(200, 700), rng.randrange(10, 60)
        bars.insert(pya.Box(x, y, x + long, y + short) if rng.random() < 0.5
                    else pya.Box(x, y, x + short, y + long))
    largest = max(bars.merged().each(), key=lambda p: p.num_points())
    points = lambda each: [[p.x, p.y] for p in each]
    cases.append({"keyholed": points(largest.resolved_holes().each_point_hull()),
                  "rings": [points(largest.each_point_hull())] +
                           [points(largest.each_point_hole(h)) for h in range(largest.holes())]})

with open(output, "w") as file:
    json.dump(cases, file)
