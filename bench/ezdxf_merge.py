#!/usr/bin/python3
"""The same merge as `plenvo-merge --mode grid --frames` done with ezdxf, the reference for the benchmark:
each file read (recover mode, as real files need), its model space imported as a block, inserted at the
origin, measured, moved to its grid cell, framed on "打印图框", and the whole saved as one DXF.

    /usr/bin/python3 bench/ezdxf_merge.py [--per-row N] [--spacing S] [--sheet LxW] OUT.dxf INPUT...
"""
import argparse
import os
import sys

import ezdxf
from ezdxf import bbox, recover
from ezdxf.addons import Importer

ezdxf.options.use_matplotlib = False


def merge_one(target, msp, path, k, args, length, width):
    source, _auditor = recover.readfile(path)
    name = f"D{k}_" + "".join(c if c.isalnum() else "_" for c in os.path.splitext(os.path.basename(path))[0])
    block = target.blocks.new(name)
    importer = Importer(source, target)
    importer.import_entities(source.modelspace(), block)
    importer.finalize()
    ref = msp.add_blockref(name, (0, 0))
    box = bbox.extents([ref])
    if not box.has_data:
        return
    c, r = k % args.per_row, k // args.per_row
    tx, ty = c * (length + args.spacing), -r * (width + args.spacing)
    dx, dy = tx - box.extmin.x, ty - box.extmin.y
    ref.dxf.insert = (ref.dxf.insert.x + dx, ref.dxf.insert.y + dy)
    x0, y0, x1, y1 = box.extmin.x + dx, box.extmin.y + dy, box.extmax.x + dx, box.extmax.y + dy
    frame = msp.add_lwpolyline([(x0, y0), (x0, y1), (x1, y1), (x1, y0)], close=True,
                               dxfattribs={"layer": "打印图框", "color": 1})
    frame.closed = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--per-row", type=int, default=10)
    parser.add_argument("--spacing", type=int, default=50)
    parser.add_argument("--sheet", default="420x297")
    parser.add_argument("output")
    parser.add_argument("inputs", nargs="+")
    args = parser.parse_args()
    length, width = (int(v) for v in args.sheet.lower().split("x"))

    target = ezdxf.new("R2000")
    msp = target.modelspace()
    target.layers.add("打印图框", color=1)
    failed = 0
    for k, path in enumerate(args.inputs):
        try:
            merge_one(target, msp, path, k, args, length, width)
        except Exception as exc:  # noqa: BLE001 - the reference merge goes on like the tool does
            print(f"{path}: {type(exc).__name__}: {exc}", file=sys.stderr)
            failed += 1
    target.saveas(args.output)
    print(f"merged {len(args.inputs) - failed} of {len(args.inputs)} drawings into {args.output}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
