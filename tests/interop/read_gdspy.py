#!/usr/bin/python3
# Reads a GDSII file with gdspy and prints what gdspy sees as JSON:
#
#   /usr/bin/python3 read_gdspy.py FILE.gds > VIEW.json
#
# Coordinates are given back in database units (gdspy itself works in user
# units). Also lists the record types gdspy reported as unsupported.
import json
import sys
import warnings

import gdspy


def number(value, default):
    """gdspy leaves rotation and magnification None when the record is absent."""
    return default if value is None else float(value)


def read(path):
    """gdspy's view of the file, as main prints it."""
    library = gdspy.GdsLibrary()
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        library.read_gds(path, units="import")
    dbu = library.precision / library.unit  # database unit in user units

    def d(value):
        return int(round(float(value) / dbu))

    def pts(array):
        return [[d(x), d(y)] for x, y in array]

    cells = {}
    for name, cell in library.cell_dict.items():
        polygons = []
        for polygon_set in cell.polygons:
            for i, polygon in enumerate(polygon_set.polygons):
                polygons.append({"layer": int(polygon_set.layers[i]),
                                 "datatype": int(polygon_set.datatypes[i]),
                                 "points": pts(polygon)})
        paths = []
        for path in cell.paths:
            ends = path.ends[0]
            paths.append({"layer": int(path.layers[0]), "datatype": int(path.datatypes[0]),
                          "width": d(path.widths[0][0]), "ends": ends if isinstance(ends, str)
                          else [d(e) for e in ends], "points": pts(path.points)})
        labels = []
        for label in cell.labels:
            labels.append({"layer": int(label.layer), "texttype": int(label.texttype),
                           "string": label.text, "x": d(label.position[0]),
                           "y": d(label.position[1]), "anchor": int(label.anchor),
                           "rotation": number(label.rotation, 0.0),
                           "magnification": number(label.magnification, 1.0),
                           "x_reflection": bool(label.x_reflection)})
        references = []
        for reference in cell.references:
            view = {"name": reference.ref_cell.name if hasattr(reference.ref_cell, "name")
                    else str(reference.ref_cell),
                    "x": d(reference.origin[0]), "y": d(reference.origin[1]),
                    "rotation": number(reference.rotation, 0.0),
                    "magnification": number(reference.magnification, 1.0),
                    "x_reflection": bool(reference.x_reflection),
                    "array": isinstance(reference, gdspy.CellArray)}
            if view["array"]:
                view.update(columns=int(reference.columns), rows=int(reference.rows),
                            spacing=[float(reference.spacing[0]) / dbu,
                                     float(reference.spacing[1]) / dbu])
            references.append(view)
        cells[name] = {"polygons": polygons, "paths": paths, "labels": labels,
                       "references": references}

    flat = {}
    for cell in library.top_level():
        polygons = cell.get_polygons()
        box = cell.get_bounding_box()
        flat[cell.name] = {"count": len(polygons),
                           "bbox": None if box is None else [d(box[0][0]), d(box[0][1]),
                                                             d(box[1][0]), d(box[1][1])],
                           "polygons": [pts(p) for p in polygons] if len(polygons) <= 4 else []}

    unsupported = sorted({str(w.message) for w in caught if "not supported" in str(w.message)})
    return {"reader": "gdspy", "version": gdspy.__version__, "dbu": dbu,
            "precision": library.precision, "cells": cells, "flat": flat,
            "unsupported": unsupported, "warnings": sorted({str(w.message) for w in caught})}


def main(path):
    json.dump(read(path), sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1])
