# Reads a GDSII and an OASIS file of the same calls in KLayout's batch mode
# and writes what differs between them as JSON:
#
#   klayout -b -r klayout_compare.py -rd gds=A.gds -rd oas=A.oas -rd output=OUT.json
#       [-rd prefix=P] [-rd tolerance=N]
#
# Each cell NAME of the GDSII is compared with the OASIS's cell P + NAME (a
# GDSII in another database unit is scaled to the OASIS's first).
# Per cell: the XOR area of every layer, flattened (rounded paths may differ
# by their caps' polygon approximation, so the XOR is also given after
# removing slivers narrower than "tolerance" units); the texts (layer,
# string, position); the properties of shapes and instances (as a set); the
# placements, every array member with its transformation.
import json

import pya


def read(name):
    layout = pya.Layout()
    layout.read(name)
    return layout


def texts(layout, cell, strip=""):
    found = []
    for index in layout.layer_indexes():
        info = layout.get_info(index)
        for shape in cell.shapes(index).each():
            if shape.is_text():
                t = shape.text
                found.append([info.layer, info.datatype, t.string, t.x, t.y])
    return sorted(found)


def unprefixed(name, strip):
    return name[len(strip):] if strip and name.startswith(strip) else name


def properties(layout, cell, strip=""):
    found = []
    for index in layout.layer_indexes():
        info = layout.get_info(index)
        for shape in cell.shapes(index).each():
            if shape.prop_id != 0:
                for key, value in layout.properties(shape.prop_id):
                    found.append(["shape", info.layer, info.datatype, str(key), str(value)])
    for inst in cell.each_inst():
        if inst.prop_id != 0:
            for key, value in layout.properties(inst.prop_id):
                found.append(["inst", unprefixed(layout.cell(inst.cell_index).name, strip),
                              str(key), str(value)])
    # A set: a polygon or path cut into pieces carries them on every piece.
    return sorted(set(tuple(f) for f in found))


def placements(layout, cell, strip=""):
    found = []
    for inst in cell.each_inst():
        name = unprefixed(layout.cell(inst.cell_index).name, strip)
        for member in inst.cell_inst.each_cplx_trans():
            found.append([name, member.disp.x, member.disp.y, round(member.mag, 9),
                          round(member.angle, 9) % 360, member.is_mirror()])
    return sorted(found)


gds_layout = read(gds)
oas_layout = read(oas)
prefix = str(globals().get("prefix", "") or "")
if abs(gds_layout.dbu - oas_layout.dbu) > 1e-9 * oas_layout.dbu:
    gds_layout.transform(pya.ICplxTrans(gds_layout.dbu / oas_layout.dbu))
    gds_layout.dbu = oas_layout.dbu
tolerance = int(globals().get("tolerance", 0) or 0)
result = {"dbu": [gds_layout.dbu, oas_layout.dbu],
          "cells": [sorted(prefix + c.name for c in gds_layout.each_cell()),
                    sorted(c.name for c in oas_layout.each_cell())],
          "differences": {}}
layers = set()
for layout in (gds_layout, oas_layout):
    for index in layout.layer_indexes():
        info = layout.get_info(index)
        layers.add((info.layer, info.datatype))
for cell in gds_layout.each_cell():
    other = oas_layout.cell(prefix + cell.name)
    if other is None:
        continue
    diff = {}
    for layer, datatype in sorted(layers):
        a = gds_layout.find_layer(layer, datatype)
        b = oas_layout.find_layer(layer, datatype)
        ra = pya.Region(cell.begin_shapes_rec(a)) if a is not None else pya.Region()
        rb = pya.Region(other.begin_shapes_rec(b)) if b is not None else pya.Region()
        xor = ra ^ rb
        wide = xor.sized(-tolerance).area() if tolerance else xor.area()
        if xor.area() or wide:
            diff["xor %d/%d" % (layer, datatype)] = [xor.area(), wide, ra.area()]
    for what, fn in (("texts", texts), ("properties", properties),
                     ("placements", placements)):
        left, right = fn(gds_layout, cell), fn(oas_layout, other, prefix)
        if left != right:
            diff[what] = [left, right]
    if diff:
        result["differences"][cell.name] = diff

with open(output, "w") as file:
    json.dump(result, file, indent=1)
