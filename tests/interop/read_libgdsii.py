#!/usr/bin/python3
# Reads a GDSII file with libGDSII's converter and prints what it sees as
# JSON:
#
#   /usr/bin/python3 read_libgdsii.py FILE.gds > VIEW.json
#
# `GDSIIConvert FILE --raw` lists every record as libGDSII decodes it (one
# "Record N: NAME ( count) = values" line each) and then builds libGDSII's
# own element model of the file, which stops with an error message on an
# element kind it does not support. This script groups the decoded records
# into structures and elements, and passes on the converter's exit status and
# its messages after the record list.
import json
import re
import subprocess
import sys

RECORD = re.compile(r"^Record (\d+):\s+(\w+)(?: \(\s*(\d+)\))?\s+=(.*)$")
INTEGERS = {"HEADER", "BGNLIB", "BGNSTR", "LAYER", "DATATYPE", "WIDTH", "XY", "COLROW",
            "TEXTTYPE", "PATHTYPE", "NODETYPE", "BOXTYPE", "PLEX", "BGNEXTN", "ENDEXTN"}
REALS = {"UNITS", "MAG", "ANGLE"}
BITS = {"ELFLAGS", "STRANS", "PRESENTATION"}
# libGDSII prints ENDEXTN as ENDTEXTN; the record is 0x31 all the same.
SPELLING = {"ENDTEXTN": "ENDEXTN"}
ELEMENTS = {"BOUNDARY", "PATH", "SREF", "AREF", "TEXT", "NODE", "BOX"}


def bit_array(text):
    # Each byte is printed as 8 binary digits, least significant bit first.
    digits = text.strip()
    value = 0
    for start in range(0, len(digits), 8):
        value = (value << 8) | int(digits[start:start + 8][::-1], 2)
    return value


def decode(name, text):
    if name in INTEGERS:
        return [int(v) for v in text.split()]
    if name in REALS:
        return [float(v) for v in text.split()]
    if name in BITS:
        return bit_array(text)
    if text.startswith(" "):
        text = text[1:]
    return text


def read(path):
    """libGDSII's view of the file, as main prints it."""
    run = subprocess.run(["GDSIIConvert", path, "--raw"], capture_output=True, text=True,
                         errors="replace")
    records = []
    messages = []
    for line in (run.stdout + run.stderr).splitlines():
        match = RECORD.match(line)
        if match:
            name = SPELLING.get(match.group(2), match.group(2))
            records.append({"name": name, "count": int(match.group(3) or 0),
                            "value": decode(name, match.group(4))})
        elif line.strip():
            messages.append(line.strip())

    structures = {}
    current = None
    element = None
    for record in records:
        name = record["name"]
        if name == "STRNAME":
            current = structures.setdefault(record["value"], [])
        elif name in ELEMENTS:
            element = {"kind": name}
        elif name == "ENDEL":
            if current is not None and element is not None:
                current.append(element)
            element = None
        elif element is not None:
            element[name] = record["value"]

    units = [r["value"] for r in records if r["name"] == "UNITS"]
    return {"reader": "libgdsii", "returncode": run.returncode, "messages": messages,
            "record_count": len(records), "records": [r["name"] for r in records],
            "units": units[0] if units else None, "structures": structures}


def main(path):
    json.dump(read(path), sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1])
