#!/usr/bin/python3
"""Compares the drawings that merges through COM left in the test CAD server (com_<case>.dxf) with the same
merges done by the in-process engine (inproc_<case>.dxf), both written by com_e2e_test under Wine.

Usage: compare_merges.py DIR      exit 0: all pairs match, 1: a difference, 77: no pair to compare (skipped)
"""
import math
import pathlib
import sys
from collections import Counter

import ezdxf
from ezdxf import bbox

ezdxf.options.use_matplotlib = False  # text sizes from ezdxf's own font metrics; no font lookups

TOLERANCE = 1e-6


def close(a, b):
    return math.isclose(a, b, rel_tol=TOLERANCE, abs_tol=TOLERANCE)


def summary(path):
    doc = ezdxf.readfile(path)
    msp = doc.modelspace()
    counts = Counter((e.dxftype(), e.dxf.layer) for e in msp)
    inserts = sorted((e.dxf.name, round(e.dxf.insert.x, 6), round(e.dxf.insert.y, 6))
                     for e in msp.query("INSERT"))
    frames = sorted(tuple((round(x, 6), round(y, 6)) for x, y in e.get_points("xy")) + (e.closed, e.dxf.color)
                    for e in msp.query("LWPOLYLINE") if e.dxf.layer == "打印图框")
    blocks = sorted(b.name for b in doc.blocks if not b.name.startswith("*"))
    layers = {layer.dxf.name: layer.dxf.color for layer in doc.layers}
    extents = bbox.extents(msp)
    box = (extents.extmin.x, extents.extmin.y, extents.extmax.x, extents.extmax.y) if extents.has_data else None
    return {"counts": counts, "inserts": inserts, "frames": frames, "blocks": blocks, "layers": layers,
            "extents": box}


def differences(com, inproc):
    out = []
    for key in ("counts", "inserts", "frames", "blocks", "layers"):
        if com[key] != inproc[key]:
            out.append(f"{key}: through COM {com[key]!r}\n    in process  {inproc[key]!r}")
    a, b = com["extents"], inproc["extents"]
    if (a is None) != (b is None) or (a and not all(close(x, y) for x, y in zip(a, b))):
        out.append(f"extents: through COM {a}, in process {b}")
    return out


def main():
    folder = pathlib.Path(sys.argv[1])
    pairs = sorted(folder.glob("com_*.dxf"))
    if not pairs:
        print(f"no merges through COM in {folder}: nothing to compare")
        return 77
    failed = 0
    for com_path in pairs:
        case = com_path.stem[len("com_"):]
        inproc_path = folder / f"inproc_{case}.dxf"
        if not inproc_path.exists():
            print(f"{case}: {inproc_path.name} is missing")
            failed += 1
            continue
        com, inproc = summary(com_path), summary(inproc_path)
        diffs = differences(com, inproc)
        if diffs:
            failed += 1
            print(f"{case}: DIFFERENT\n  " + "\n  ".join(diffs))
        else:
            kinds = ", ".join(f"{n} {t} on {layer}" for (t, layer), n in sorted(com["counts"].items()))
            print(f"{case}: same ({kinds}; extents {com['extents']})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
