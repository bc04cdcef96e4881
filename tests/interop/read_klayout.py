# Reads a GDSII file with KLayout and writes what KLayout sees as JSON.
# Runs inside KLayout's batch mode:
#
#   klayout -b -r read_klayout.py -rd input=FILE.gds -rd output=VIEW.json
#
# For every cell: its shapes (boxes, polygons, paths, texts) per layer and
# datatype, its instances with their transformations and array vectors, and
# for top cells the flattened shape count, bounding box and (for small
# cells) the flattened polygons.
import json

import pya


def points(iterable):
    return [[p.x, p.y] for p in iterable]


def shape_view(shape, info):
    view = {"layer": info.layer, "datatype": info.datatype, "properties": shape.prop_id}
    if shape.is_box():
        b = shape.box
        view.update(kind="box", box=[b.left, b.bottom, b.right, b.top])
    elif shape.is_polygon() or shape.is_simple_polygon():
        polygon = shape.polygon
        view.update(kind="polygon", points=points(polygon.each_point_hull()),
                    holes=polygon.holes())
    elif shape.is_path():
        path = shape.path
        view.update(kind="path", width=path.width, bgn_ext=path.bgn_ext,
                    end_ext=path.end_ext, round=path.round, points=points(path.each_point()))
    elif shape.is_text():
        text = shape.text
        view.update(kind="text", string=text.string, x=text.trans.disp.x, y=text.trans.disp.y,
                    rotation=text.trans.angle * 90, mirror=text.trans.is_mirror(),
                    size=text.size, font=text.font, halign=text.halign.to_i(),
                    valign=text.valign.to_i())
    else:
        view.update(kind=str(shape.type()))
    return view


def instance_view(layout, instance):
    array = instance.cell_inst
    trans = array.cplx_trans
    view = {"name": layout.cell(array.cell_index).name, "properties": instance.prop_id,
            "x": trans.disp.x, "y": trans.disp.y,
            "angle": trans.angle, "mag": trans.mag, "mirror": trans.is_mirror(),
            "array": array.is_regular_array()}
    if array.is_regular_array():
        view.update(a=[array.a.x, array.a.y], b=[array.b.x, array.b.y], na=array.na, nb=array.nb)
    return view


def flat_view(layout, cell):
    count = 0
    polygons = []
    iterator = pya.RecursiveShapeIterator(layout, cell, layout.layer_indexes())
    while not iterator.at_end():
        shape = iterator.shape()
        if shape.is_box() or shape.is_polygon() or shape.is_simple_polygon() or shape.is_path():
            count += 1
            if len(polygons) < 4:
                polygon = shape.polygon.transformed(iterator.trans())
                polygons.append(points(polygon.each_point_hull()))
        iterator.next()
    bbox = cell.bbox()
    return {"count": count, "bbox": [bbox.left, bbox.bottom, bbox.right, bbox.top],
            "polygons": polygons if count <= 4 else []}


def main():
    layout = pya.Layout()
    layout.read(input)
    cells = {}
    for cell in layout.each_cell():
        shapes = []
        for layer_index in layout.layer_indexes():
            info = layout.get_info(layer_index)
            for shape in cell.shapes(layer_index).each():
                shapes.append(shape_view(shape, info))
        view = {"shapes": shapes,
                "instances": [instance_view(layout, i) for i in cell.each_inst()],
                "top": cell.is_top()}
        if cell.is_top():
            view["flat"] = flat_view(layout, cell)
        cells[cell.name] = view
    with open(output, "w") as out:
        json.dump({"reader": "klayout", "version": pya.Application.instance().version(),
                   "dbu": layout.dbu, "cells": cells}, out)


main()
