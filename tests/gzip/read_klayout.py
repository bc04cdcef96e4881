# KLayout batch script: prints what KLayout read from $file as JSON.
#   klayout -b -r read_klayout.py -rd file=X.gds.gz
import json

import pya

layout = pya.Layout()
layout.read(file)  # noqa: F821 (set by -rd)
cells = {}
for cell in layout.each_cell():
    shapes = {}
    for layer_index in layout.layer_indexes():
        info = layout.get_info(layer_index)
        count = cell.shapes(layer_index).size()
        if count:
            shapes[f"{info.layer}/{info.datatype}"] = count
    cells[cell.name] = {"shapes": shapes, "instances": cell.child_instances()}
top = layout.cell("TOP")
box = top.bbox()
print(json.dumps({"dbu": layout.dbu, "cells": cells,
                  "bbox": [box.left, box.bottom, box.right, box.top]}))
