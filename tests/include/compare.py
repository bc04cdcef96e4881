# KLayout batch script: checks that every cell of $source is in $output as
# $prefix + name, with the same shapes (XOR of every layer, with the cells
# below it, empty), the same texts, paths, instances and properties, and
# that $output holds $cells cells in all. Prints "same" or raises.
#   klayout -b -r compare.py -rd source=A.gds -rd output=B.gds -rd prefix=P -rd cells=N
import re

import pya

src = pya.Layout()
src.read(source)  # noqa: F821 (set by -rd)
out = pya.Layout()
out.read(output)  # noqa: F821
pre = prefix  # noqa: F821
# A source in another database unit: its coordinates in the output's.
if abs(src.dbu - out.dbu) > 1e-9 * out.dbu:
    src.transform(pya.ICplxTrans(src.dbu / out.dbu))
    src.dbu = out.dbu


def props(layout, prop_id):
    return sorted((str(k), str(v)) for k, v in layout.properties(prop_id)) if prop_id else []


def own(layout, cell, strip):
    """The cell's own shapes and instances, as comparable text."""
    items = [("cell properties", props(layout, cell.prop_id))]
    for li in layout.layer_indexes():
        info = layout.get_info(li)
        for shape in cell.shapes(li).each():
            # prop_id numbers the layout's property sets: the sets are compared.
            # and a polygon without its collinear points (a coarser source
            # grid may have made some).
            text = re.sub(r" prop_id=\d+", "", str(shape))
            if shape.is_polygon() or shape.is_simple_polygon():
                polygon = shape.polygon
                polygon.compress(True)
                text = str(polygon)
            items.append((info.layer, info.datatype, text, props(layout, shape.prop_id)))
    for inst in cell.each_inst():
        name = layout.cell(inst.cell_index).name
        items.append((name[len(strip):] if strip else name, str(inst.cplx_trans), inst.na,
                      inst.nb, str(inst.a), str(inst.b), props(layout, inst.prop_id)))
    return sorted(items, key=str)


for cell in src.each_cell():
    copy = out.cell(pre + cell.name)
    assert copy is not None, f"{pre + cell.name} missing"
    assert own(src, cell, "") == own(out, copy, pre), f"{cell.name} differs"
    for li in src.layer_indexes():
        info = src.get_info(li)
        lo = out.find_layer(info.layer, info.datatype)
        a = pya.Region(cell.begin_shapes_rec(li))
        b = pya.Region(copy.begin_shapes_rec(lo)) if lo is not None else pya.Region()
        assert (a ^ b).is_empty(), f"{cell.name} layer {info}: XOR not empty"
# cells < 0: the output may hold others too.
assert int(cells) < 0 or out.cells() == int(cells), f"{out.cells()} cells, not {cells}"  # noqa: F821
print("same")
