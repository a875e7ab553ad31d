# Writes the drawings the main window's end-to-end test adds and merges: three DXF drawings of distinct
# sizes with their lower-left corner at the origin, and a folder for folder mode.
import os
import shutil
import sys

import ezdxf

out = sys.argv[1]
os.makedirs(os.path.join(out, "dwgs", "d.dwg"), exist_ok=True)
for name, (w, h) in {"a": (100, 50), "b": (200, 80), "c": (300, 120)}.items():
    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    msp.add_lwpolyline([(0, 0), (w, 0), (w, h), (0, h)], close=True)
    msp.add_line((0, 0), (w, h))
    doc.saveas(os.path.join(out, name + ".dxf"))
# Folder mode takes *.dwg only (any case), never DXF files or folders.
shutil.copy(os.path.join(out, "a.dxf"), os.path.join(out, "dwgs", "a.dwg"))
shutil.copy(os.path.join(out, "b.dxf"), os.path.join(out, "dwgs", "b.DWG"))
shutil.copy(os.path.join(out, "c.dxf"), os.path.join(out, "dwgs", "c.dxf"))
