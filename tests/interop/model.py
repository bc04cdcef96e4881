# The element model the interop tests compare readers against: for each
# structure, its elements by kind, with every value as the file should hold
# it. Built either from the generator's manifest (what the host passed, with
# the library's documented rules applied) or from quillon-dump's listing of
# a file (for files such as the demo, whose calls are not recorded).
import math
import re

KINDS = ("boundaries", "boxes", "paths", "texts", "srefs", "arefs", "nodes")


def s16(value):
    """The low 16 bits of value as a signed number: what a 16-bit field keeps."""
    value &= 0xFFFF
    return value - 0x10000 if value & 0x8000 else value


def empty_structure():
    return {kind: [] for kind in KINDS}


# --- from the manifest --------------------------------------------------------

def _points_on_circle(call, theta, step, count):
    """count points from angle theta on, each angle the previous one plus
    step, truncated toward zero."""
    points = []
    for _ in range(count):
        points.append([int(call["centerX"] + call["radius"] * math.cos(theta)),
                       int(call["centerY"] + call["radius"] * math.sin(theta))])
        theta += step
    return points


def _circle_points(call):
    n = s16(call["count"])
    return _points_on_circle(call, 0.0, 6.283185307179586 / n, n)


def _sector_points(call):
    n = s16(call["count"])
    step = (((call["endAngle"] - call["startAngle"]) * 3.141592653589793) / n) * \
        0.005555555555555556
    theta = call["startAngle"] * 0.017453292519943295
    return [[call["centerX"], call["centerY"]]] + _points_on_circle(call, theta, step, n - 1)


def _arc_points(call):
    n = s16(call["count"])
    theta0 = call["startAngle"] * 0.017453292519943295
    step = (call["endAngle"] * 0.017453292519943295 - theta0) / n
    return _points_on_circle(call, theta0, step, n)


def _gentle(points, i):
    (ax, ay), (bx, by), (cx, cy) = points[i - 1], points[i], points[i + 1]
    return (bx - ax) * (cx - bx) + (by - ay) * (cy - by) >= 0


def _long(points, i, half_width):
    (ax, ay), (bx, by) = points[i], points[i + 1]
    return math.hypot(bx - ax, by - ay) >= half_width


def path_pieces(points, pathtype=0, width=0):
    """A polyline of more than 200 points loses its repeated consecutive
    points and becomes PATH elements of at most 200 points, each starting at
    the second-to-last point of the one before. A round path is split only
    where both joints of the overlapping segment turn by at most 90 degrees
    and the segments beyond them are at least half the width long, looked for
    within 100 points back from the farthest split. Answers (first, last)
    index pairs into the points kept, and those points."""
    if len(points) <= 200:
        return [(0, len(points) - 1)], points
    kept = [p for i, p in enumerate(points) if i == 0 or p != points[i - 1]]
    if len(kept) == 1:
        kept = kept * 2
    if len(kept) <= 200:
        return [(0, len(kept) - 1)], kept
    pieces, first, half = [], 0, abs(width) / 2
    while True:
        last = min(first + 199, len(kept) - 1)
        if last < len(kept) - 1 and pathtype == 1:
            for candidate in range(last, last - 100, -1):
                s = candidate - 1
                if (_gentle(kept, s) and _gentle(kept, s + 1) and _long(kept, s - 1, half)
                        and _long(kept, s + 1, half)):
                    last = candidate
                    break
        pieces.append((first, last))
        if last == len(kept) - 1:
            return pieces, kept
        first = last - 1


def _flags(call):
    return {"elflags": call.get("elFlags", 0) & 0xFFFF, "plex": call.get("plex", 0)}


def _add_call(structure, call):
    function = call["call"]
    if function in ("GDS_Boundary", "GDS_Circle", "GDS_Sector"):
        if function == "GDS_Boundary":
            n = s16(call["count"])
            points = [[call["xs"][i], call["ys"][i]] for i in range(n)]
        elif function == "GDS_Circle":
            points = _circle_points(call)
        else:
            points = _sector_points(call)
        structure["boundaries"].append(dict(layer=s16(call["layer"]),
                                            datatype=s16(call["dataType"]), points=points,
                                            **_flags(call)))
    elif function in ("GDS_Box", "GDS_BoxWH", "GDS_Square"):
        if function == "GDS_Box":
            corners = [call["x1"], call["y1"], call["x2"], call["y2"]]
        elif function == "GDS_BoxWH":
            corners = [call["x"], call["y"], call["x"] + call["width"], call["y"] + call["height"]]
        else:
            corners = [call["x"], call["y"], call["x"] + call["side"], call["y"] + call["side"]]
        structure["boxes"].append(dict(layer=s16(call["layer"]), boxtype=s16(call["boxType"]),
                                       corners=corners, **_flags(call)))
    elif function in ("GDS_Path", "GDS_Arc"):
        if function == "GDS_Path":
            n = s16(call["count"])
            points = [[call["xs"][i], call["ys"][i]] for i in range(n)]
        else:
            points = _arc_points(call)
        pathtype = s16(call["pathType"])
        pieces, kept = path_pieces(points, pathtype, call["width"])
        for first, last in pieces:
            piece = dict(layer=s16(call["layer"]), datatype=s16(call["dataType"]),
                         pathtype=pathtype, width=call["width"], points=kept[first:last + 1],
                         **_flags(call))
            if len(pieces) > 1 and pathtype in (2, 4):
                # Split extended paths: type 4, their own extension only at
                # the polyline's two ends.
                own = abs(call["width"]) // 2 if pathtype == 2 else 0
                piece.update(pathtype=4, bgnextn=own if first == 0 else 0,
                             endextn=own if last == len(kept) - 1 else 0)
            structure["paths"].append(piece)
    elif function == "GDS_Text":
        structure["texts"].append(dict(
            layer=s16(call["layer"]), texttype=s16(call["textType"]),
            presentation=s16(call["presentation"]) & 0xFFFF, pathtype=s16(call["pathType"]),
            width=call["width"], strans=s16(call["strans"]) & 0xFFFF, mag=call["mag"],
            angle=call["angle"], x=call["x"], y=call["y"], string=call["text"], **_flags(call)))
    elif function == "GDS_Node":
        n = s16(call["count"])
        structure["nodes"].append(dict(layer=s16(call["layer"]), nodetype=s16(call["nodeType"]),
                                       points=[[call["xs"][i], call["ys"][i]] for i in range(n)],
                                       **_flags(call)))
    elif function == "GDS_Sref":
        structure["srefs"].append(dict(name=call["structName"], x=call["x"], y=call["y"],
                                       strans=s16(call["strans"]) & 0xFFFF, mag=call["mag"],
                                       angle=call["angle"], **_flags(call)))
    elif function == "GDS_Aref":
        structure["arefs"].append(dict(
            name=call["structName"], columns=s16(call["columns"]), rows=s16(call["rows"]),
            points=[[call["xs"][i], call["ys"][i]] for i in range(3)],
            strans=s16(call["strans"]) & 0xFFFF, mag=call["mag"], angle=call["angle"],
            **_flags(call)))
    else:
        raise ValueError("unknown call " + function)


def from_manifest(manifest):
    model = {}
    for entry in manifest["structures"]:
        structure = model.setdefault(entry["name"], empty_structure())
        for call in entry["calls"]:
            _add_call(structure, call)
    return model


# --- from a quillon-dump listing ----------------------------------------------

LINE = re.compile(r"^\s*(\d+)\s+(\d+)\s+(\S+) (\S+)(?: (.*))?$")
ELEMENT_KINDS = {"BOUNDARY": "boundaries", "BOX": "boxes", "PATH": "paths", "TEXT": "texts",
                 "SREF": "srefs", "AREF": "arefs", "NODE": "nodes"}


def _ascii(text):
    body = text[1:-1]
    out = bytearray()
    i = 0
    while i < len(body):
        if body[i] == "\\":
            if body[i + 1] == "x":
                out.append(int(body[i + 2:i + 4], 16))
                i += 4
                continue
            out.append(ord(body[i + 1]))
            i += 2
            continue
        out.append(ord(body[i]))
        i += 1
    return out.decode("latin-1")


def _value(data_type, text, name):
    if data_type == "INT2" or data_type == "INT4":
        if name == "XY":
            numbers = [int(v) for v in re.findall(r"-?\d+", text.split(":", 1)[1])]
            return [[numbers[i], numbers[i + 1]] for i in range(0, len(numbers), 2)]
        return [int(v) for v in text.split(" (")[0].split()]
    if data_type == "REAL8":
        return [float(v) for v in re.findall(r"(?:^| )(-?\d+(?:\.\d+)?)(?= \(~| |$)", text)]
    if data_type == "BITARRAY":
        return int(text.split()[0], 16)
    if data_type == "ASCII":
        return _ascii(text)
    return None


def records_from_listing(listing):
    records = []
    for line in listing.splitlines():
        match = LINE.match(line)
        if match:
            name, data_type, data = match.group(3), match.group(4), match.group(5) or ""
            records.append((name, _value(data_type, data, name)))
    return records


def from_listing(listing):
    model = {}
    structure = None
    element = None
    for name, value in records_from_listing(listing):
        if name == "STRNAME":
            structure = model.setdefault(value, empty_structure())
        elif name in ELEMENT_KINDS:
            element = {"kind": ELEMENT_KINDS[name]}
        elif name == "ENDEL" and element is not None:
            structure[element["kind"]].append(_element_from_records(element))
            element = None
        elif element is not None:
            element[name] = value
    return model


def _element_from_records(r):
    kind = r["kind"]
    flags = {"elflags": r["ELFLAGS"], "plex": r["PLEX"][0]}
    if kind == "boundaries":
        return dict(layer=r["LAYER"][0], datatype=r["DATATYPE"][0], points=r["XY"][:-1], **flags)
    if kind == "boxes":
        xy = r["XY"]
        return dict(layer=r["LAYER"][0], boxtype=r["BOXTYPE"][0],
                    corners=[xy[0][0], xy[0][1], xy[2][0], xy[2][1]], **flags)
    if kind == "paths":
        path = dict(layer=r["LAYER"][0], datatype=r["DATATYPE"][0], pathtype=r["PATHTYPE"][0],
                    width=r["WIDTH"][0], points=r["XY"], **flags)
        if "BGNEXTN" in r:
            path.update(bgnextn=r["BGNEXTN"][0], endextn=r["ENDEXTN"][0])
        return path
    if kind == "texts":
        return dict(layer=r["LAYER"][0], texttype=r["TEXTTYPE"][0],
                    presentation=r["PRESENTATION"], pathtype=r["PATHTYPE"][0],
                    width=r["WIDTH"][0], strans=r["STRANS"], mag=r["MAG"][0],
                    angle=r["ANGLE"][0], x=r["XY"][0][0], y=r["XY"][0][1], string=r["STRING"],
                    **flags)
    if kind == "srefs":
        return dict(name=r["SNAME"], x=r["XY"][0][0], y=r["XY"][0][1], strans=r["STRANS"],
                    mag=r["MAG"][0], angle=r["ANGLE"][0], **flags)
    if kind == "arefs":
        return dict(name=r["SNAME"], columns=r["COLROW"][0], rows=r["COLROW"][1], points=r["XY"],
                    strans=r["STRANS"], mag=r["MAG"][0], angle=r["ANGLE"][0], **flags)
    return dict(layer=r["LAYER"][0], nodetype=r["NODETYPE"][0], points=r["XY"], **flags)


# --- geometry helpers -----------------------------------------------------------

def canonical_polygon(points):
    """The same polygon whatever its first vertex and orientation."""
    points = [tuple(p) for p in points]
    if len(points) > 1 and points[0] == points[-1]:
        points = points[:-1]
    candidates = []
    for sequence in (points, points[::-1]):
        start = sequence.index(min(sequence))
        candidates.append(tuple(sequence[start:] + sequence[:start]))
    return min(candidates)


def is_rectangle(points):
    if len(points) != 4:
        return False
    xs = {p[0] for p in points}
    ys = {p[1] for p in points}
    if len(xs) != 2 or len(ys) != 2:
        return False
    return all(points[i][0] == points[i - 1][0] or points[i][1] == points[i - 1][1]
               for i in range(4))


def bounding(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return [min(xs), min(ys), max(xs), max(ys)]


def transform(point, ref):
    """Applies a reference's placement: reflect about x, magnify, rotate, move."""
    x, y = point
    if ref["strans"] & 0x8000:
        y = -y
    x, y = x * ref["mag"], y * ref["mag"]
    angle = math.radians(ref["angle"])
    c, s = math.cos(angle), math.sin(angle)
    return [x * c - y * s + ref["x"], x * s + y * c + ref["y"]]


def flatten(model, name, depth=0):
    """Every boundary of structure name with its references expanded, as
    point lists in the coordinates of name (floating point)."""
    structure = model[name]
    polygons = [[list(map(float, p)) for p in b["points"]] for b in structure["boundaries"]]
    for ref in structure["srefs"]:
        for polygon in flatten(model, ref["name"], depth + 1):
            polygons.append([transform(p, ref) for p in polygon])
    for ref in structure["arefs"]:
        (x0, y0), (x1, y1), (x2, y2) = ref["points"]
        cols, rows = ref["columns"], ref["rows"]
        for polygon in flatten(model, ref["name"], depth + 1):
            for i in range(cols):
                for j in range(rows):
                    placed = dict(ref, x=x0 + i * (x1 - x0) / cols + j * (x2 - x0) / rows,
                                  y=y0 + i * (y1 - y0) / cols + j * (y2 - y0) / rows)
                    polygons.append([transform(p, placed) for p in polygon])
    return polygons
