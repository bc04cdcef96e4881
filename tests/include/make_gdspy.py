# Writes the gdspy-made source library to argv[1], in a database unit of
# argv[2] metres (1e-9 when not given): polygons, a path with extensions,
# labels turned and magnified, an array turned and magnified.
import sys

import gdspy

lib = gdspy.GdsLibrary(unit=1e-6, precision=float(sys.argv[2]) if len(sys.argv) > 2 else 1e-9)
cell = gdspy.Cell("G_CELL", exclude_from_current=True)
lib.add(cell)
cell.add(gdspy.Rectangle((0, 0), (2, 1), layer=3, datatype=1))
cell.add(gdspy.Polygon([(0, 2), (1, 3), (2, 2), (1, 2.5)], layer=3))
cell.add(gdspy.FlexPath([(0, 0), (5, 0), (5, 5)], 0.2, ends=(0.05, 0.1), gdsii_path=True,
                        layer=4))
cell.add(gdspy.Label("g label", (1, 1), rotation=45, magnification=3, layer=5))
top = gdspy.Cell("G_TOP", exclude_from_current=True)
lib.add(top)
top.add(gdspy.CellArray(cell, 4, 3, (10, 12), (1, 1), rotation=90, magnification=1.5))
top.add(gdspy.CellReference(cell, (-20, 0), rotation=180, x_reflection=True))
lib.write_gds(sys.argv[1])
