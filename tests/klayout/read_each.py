# KLayout batch script: reads every .gds in $folder and prints, as JSON, the
# error KLayout gave for each file (null when it read the file).
#   klayout -b -r read_each.py -rd folder=DIR
import json
import os

import pya

results = {}
for name in sorted(os.listdir(folder)):  # noqa: F821 (set by -rd)
    if not name.endswith(".gds"):
        continue
    try:
        layout = pya.Layout()
        layout.read(os.path.join(folder, name))  # noqa: F821
        results[name] = None
    except Exception as error:  # KLayout raises RuntimeError on a bad file
        results[name] = str(error)
print(json.dumps(results))
