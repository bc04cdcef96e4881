# Reads each file of a list with KLayout and writes, per file, what KLayout
# makes of the one element in cell TOP, or its error, as JSON. Runs inside
# KLayout's batch mode:
#
#   klayout -b -r read_klayout.py -rd files=LIST.json -rd output=VIEWS.json
#
# KLayout's warnings go to stderr; a line "@@FILE" before each read tells
# the caller which file they belong to.
import json
import sys

import pya

views = {}
for path in json.load(open(files)):  # noqa: F821 (set by -rd)
    sys.stderr.write("@@" + path + "\n")
    sys.stderr.flush()
    layout = pya.Layout()
    try:
        layout.read(path)
    except Exception as error:  # KLayout refuses the file
        views[path] = {"error": str(error)}
        continue
    top = layout.cell("TOP")
    view = {"units": [layout.dbu * 1e-6]}
    for index in layout.layer_indexes():
        for shape in top.shapes(index).each():
            info = layout.get_info(index)
            view.update(layer=info.layer, datatype=info.datatype)
            if shape.prop_id:
                view["attr"] = layout.properties(shape.prop_id)[0][0]
            if shape.is_path():
                view.update(width=shape.path.width, x=shape.path.bbox().left)
            elif shape.is_text():
                trans = shape.text.trans
                view.update(string=shape.text.string, angle=trans.angle * 90.0, x=trans.disp.x)
            else:
                view["x"] = shape.bbox().left
    for instance in top.each_inst():
        trans = instance.cell_inst.cplx_trans
        view.update(name=layout.cell(instance.cell_index).name, mag=trans.mag,
                    angle=trans.angle, x=trans.disp.x)
    views[path] = view
json.dump(views, open(output, "w"))  # noqa: F821
