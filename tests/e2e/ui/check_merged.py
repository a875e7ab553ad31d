# Checks the drawing the CAD stand-in held after a merge started from the main window: one block per listed
# drawing in list order along +x at a pitch of 1189 + 50 (Horizontal, sheet length from the start-up), each
# framed by a closed polyline on "打印图框" (colour 1).
import sys

import ezdxf
from ezdxf import bbox

merged, order_file = sys.argv[1], sys.argv[2]
doc = ezdxf.readfile(merged)
msp = doc.modelspace()
failures = 0


def check(ok, what):
    global failures
    print(("ok: " if ok else "FAILED: ") + what)
    failures += 0 if ok else 1


sizes = {"a.dxf": (100, 50), "b.dxf": (200, 80), "c.dxf": (300, 120)}
order = [line.strip().split("\\")[-1] for line in open(order_file, encoding="utf-8") if line.strip()]
check(len(order) == 3, f"three drawings were listed: {order}")

layer = doc.layers.get("打印图框") if doc.layers.has_entry("打印图框") else None
check(layer is not None and layer.color == 1, "layer 打印图框 exists with colour 1")

inserts = sorted(msp.query("INSERT"), key=lambda e: e.dxf.insert.x)
check(len(inserts) == 3, f"three block references (got {len(inserts)})")
for i, (insert, name) in enumerate(zip(inserts, order)):
    x, y = insert.dxf.insert.x, insert.dxf.insert.y
    check(abs(x - i * 1239) < 1e-6 and abs(y) < 1e-6, f"drawing {i + 1} ({name}) at ({x}, {y})")
    box = bbox.extents(doc.blocks.get(insert.dxf.name))
    w, h = sizes[name]
    check(abs(box.size.x - w) < 1e-6 and abs(box.size.y - h) < 1e-6,
          f"the block at x={x} holds {name} ({box.size.x} x {box.size.y})")

frames = [p for p in msp.query("LWPOLYLINE") if p.dxf.layer == "打印图框"]
check(len(frames) == 3, f"three frames on 打印图框 (got {len(frames)})")
for p in frames:
    check(p.closed and p.dxf.color == 1 and len(p) == 4, "a closed four-vertex frame in colour 1")
sys.exit(1 if failures else 0)
