# KLayout batch script: prints KLayout's reading of $file as one JSON line:
# the database unit in metres, every cell, the top cells and each cell's
# distinct child cells.   klayout -b -r cells_klayout.py -rd file=X.gds
import json

import pya

layout = pya.Layout()
layout.read(file)  # noqa: F821 (set by -rd)
print(json.dumps({
    "precision": layout.dbu * 1e-6,
    "cells": sorted(cell.name for cell in layout.each_cell()),
    "tops": sorted(cell.name for cell in layout.top_cells()),
    "references": {cell.name: sorted(layout.cell(c).name for c in cell.each_child_cell())
                   for cell in layout.each_cell()},
}))
