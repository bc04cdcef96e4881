# KLayout batch script: prints what KLayout read from $file as JSON.
#   klayout -b -r read_library.py -rd file=X.gds
import json

import pya

layout = pya.Layout()
layout.read(file)  # noqa: F821 (set by -rd)
meta = {info.name: info.value for info in layout.each_meta_info()}
print(json.dumps({
    "dbu": layout.dbu,
    "meta": meta,
    "cells": sorted(cell.name for cell in layout.each_cell()),
}))
