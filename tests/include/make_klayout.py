# KLayout batch script: writes the KLayout-made source library to $out:
# cells with shape, instance, cell and library properties, an AREF turned
# and magnified, texts, paths with extensions, a polygon of 9000 points;
# $option (a gds2_* save option, "" for none) set to $value.
#   klayout -b -r make_klayout.py -rd out=X.gds -rd option=NAME -rd value=V
import pya

layout = pya.Layout()
layout.dbu = 0.001
l1 = layout.layer(1, 0)
l2 = layout.layer(2, 7)
leaf = layout.create_cell("LEAF")
prop = layout.properties_id([[1, "leaf box"], [7, "second"]])
leaf.shapes(l1).insert(pya.Box(0, 0, 400, 200), prop)
leaf.shapes(l1).insert(pya.Polygon([pya.Point(0, 300), pya.Point(300, 300), pya.Point(0, 600)]))
leaf.shapes(l2).insert(pya.Path([pya.Point(0, 0), pya.Point(0, 900), pya.Point(500, 900)], 40, 15, 25))
leaf.shapes(l2).insert(pya.Text("pin", pya.Trans(pya.Trans.R90, 50, 60)))
mid = layout.create_cell("MID")
arr = pya.CellInstArray(leaf.cell_index(), pya.ICplxTrans(2.0, 90.0, False, 100, 0),
                        pya.Vector(2000, 0), pya.Vector(0, 3000), 3, 2)
mid.insert(arr, layout.properties_id([[3, "array"]]))
mid.shapes(l1).insert(pya.Text("mid label", pya.Trans(0, True, 5, 5)))
top = layout.create_cell("TOP")
top.insert(pya.CellInstArray(mid.cell_index(), pya.Trans(pya.Trans.M45, 10000, 20000)))
top.insert(pya.CellInstArray(leaf.cell_index(), pya.ICplxTrans(0.5, 30.0, True, -500, 700)))
top.shapes(l2).insert(pya.Box(-100, -100, 100, 100))
top.shapes(l1).insert(pya.Polygon(pya.Box(0, 0, 90000, 90000)).round_corners(0, 45000, 9000))
top.set_property(9, "top cell")
layout.set_property(11, "library")
options = pya.SaveLayoutOptions()
options.format = "GDS2"
option = globals().get("option", "")
if option:
    current = getattr(options, option)
    setattr(options, option, value == "1" if isinstance(current, bool) else type(current)(value))  # noqa: F821
layout.write(out, options)  # noqa: F821 (set by -rd)
