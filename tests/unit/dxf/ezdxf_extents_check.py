#!/usr/bin/python3
"""Compares the engine's entity extents with ezdxf's (ezdxf.bbox.extents, exact curve mode).

Draws a test drawing with ezdxf (every entity kind the extents code knows, fixed cases plus seeded random
arcs, ellipses, bulges, splines, OCS variants and nested inserts), saves it, runs extents_probe on the file
and compares the box of every model-space entity, matched by handle. Optionally (--corpus DIR) compares the
whole model space of real files too.

Texts: ezdxf is switched to its monospaced font model, the same estimate the engine uses, so texts compare
exactly where both follow the same rules. Curves: ezdxf measures arcs and ellipses through cubic Bezier
approximations (error up to ~3e-4 of the radius), so curves get that tolerance.

Usage: ezdxf_extents_check.py PROBE WORKDIR [--corpus DIR [--max-files N]]
Exit status 0 when every entity agrees within its tolerance, 1 otherwise.
"""
import math
import os
import random
import re
import subprocess
import sys

import ezdxf
from ezdxf import recover
from ezdxf import bbox, disassemble
from ezdxf.enums import TextEntityAlignment
from ezdxf.math import BoundingBox, Matrix44, Vec2, Vec3
from ezdxf.render import mleader

ezdxf.options.use_matplotlib = False  # the monospaced text model

# Tolerance per type, relative to the entity's size (absolute floor 1e-9).
EXACT = 1e-9
CURVE = 5e-4
TOLERANCE = {
    "LINE": EXACT, "POINT": EXACT, "SOLID": EXACT, "TRACE": EXACT, "3DFACE": EXACT, "POLYLINE": CURVE,
    "LWPOLYLINE": CURVE, "CIRCLE": CURVE, "ARC": CURVE, "ELLIPSE": CURVE, "SPLINE": CURVE, "HATCH": CURVE,
    "INSERT": CURVE, "DIMENSION": CURVE, "TEXT": 1e-6, "ATTRIB": 1e-6, "ATTDEF": 1e-6, "MTEXT": 1e-6,
    "IMAGE": EXACT, "WIPEOUT": EXACT, "MLINE": 1e-6, "MESH": EXACT,
    # Best effort in the engine (no arrowheads or hook lines from the dimension style): reported, and
    # allowed a generous difference.
    "LEADER": 0.5, "MULTILEADER": 1.0,
}
NOTHING = {"XLINE", "RAY", "VIEWPORT", "3DSOLID", "REGION", "BODY"}


def rnd_point(r, scale=100.0):
    return (r.uniform(-scale, scale), r.uniform(-scale, scale), 0)


def rnd_extrusion(r):
    choice = r.random()
    if choice < 0.4:
        return (0, 0, 1)
    if choice < 0.7:
        return (0, 0, -1)
    v = Vec3(r.uniform(-1, 1), r.uniform(-1, 1), r.uniform(-1, 1))
    return tuple(v.normalize()) if v.magnitude > 1e-3 else (0, 0, 1)


def build(path, seed=2024):
    r = random.Random(seed)
    doc = ezdxf.new("R2018", setup=True)
    msp = doc.modelspace()

    # Fixed cases.
    msp.add_line((1, 2), (4, -1))
    msp.add_point((3, 4))
    msp.add_circle((1, 1), 2)
    msp.add_arc((0, 0), 1, 350, 100)
    msp.add_arc((2, 0), 1, 0, 90, dxfattribs={"extrusion": (0, 0, -1)})
    msp.add_ellipse((0, 0), (2, 2), 0.5)
    msp.add_ellipse((1, 1), (2, 0), 0.5, 0, math.pi / 2)
    msp.add_lwpolyline([(0, 0, 1), (2, 0, 0), (2, 3, -0.5), (0, 3, 0)], format="xyb", close=True)
    msp.add_lwpolyline([(1, 0), (3, 2)], dxfattribs={"elevation": 4, "extrusion": (0, 0, -1)})
    msp.add_polyline2d([(0, 0, 0, 0, -1), (4, 0, 0, 0, 0), (4, 4, 0, 0, 0.3)], format="xyseb", close=True)
    msp.add_polyline3d([(1, 2, 3), (-1, 5, 0), (7, 1, -2)])
    mesh = msp.add_polymesh(size=(3, 3))
    for m in range(3):
        for n in range(3):
            mesh.set_mesh_vertex((m, n), (m * 2, n * 3, m * n))
    face = msp.add_polyface()
    face.append_face([(0, 0, 0), (5, 0, 0), (5, 5, 1), (0, 5, 1)])
    face.append_face([(5, 0, 0), (9, -2, 0), (5, 5, 1)])
    msp.add_solid([(0, 0), (5, 0), (0, 3)])
    msp.add_trace([(0, 0), (5, 1), (0, 3), (5, 4)], dxfattribs={"extrusion": (0, 0, -1)})
    msp.add_3dface([(-1, 0, 0), (2, 0, 1), (0, 3, 2), (0, 3, 2)])
    msp.add_open_spline([(0, 0), (1, 2), (2, 0)], degree=2)
    msp.add_open_spline([(0, 0), (0, 1), (1, 1), (1, 0)], degree=3)
    msp.add_open_spline([(0, 0), (3, 5), (6, -4), (9, 6), (12, -1), (15, 3), (18, 0)], degree=3)
    msp.add_rational_spline([(0, 0), (2, 4), (4, 0), (6, 3)], [1, 3, 0.5, 1], degree=3)
    msp.add_open_spline([(0, 0), (1, 3), (2, -2), (3, 4), (4, 0), (5, 1)], degree=5)

    # Texts in every alignment.
    for i, align in enumerate(TextEntityAlignment):
        t = msp.add_text("Text%d" % i, dxfattribs={"height": 1.5, "rotation": 15 * i, "width": 0.8})
        if align in (TextEntityAlignment.ALIGNED, TextEntityAlignment.FIT):
            t.set_placement((i * 10, 0), (i * 10 + 12, 3), align=align)
        else:
            t.set_placement((i * 10, 0), align=align)
    msp.add_text("Mirrored", dxfattribs={"height": 2, "text_generation_flag": 2, "insert": (5, 5)})
    msp.add_text("Slanted", dxfattribs={"height": 2, "oblique": 20, "insert": (5, 9)})
    msp.add_text("Ocs", dxfattribs={"height": 2, "insert": (5, 9), "extrusion": (0, 0, -1)})
    msp.add_text("%%c25 %%d", dxfattribs={"height": 1, "insert": (0, -5)})
    for attach in range(1, 10):
        msp.add_mtext("First line\\PSecond", dxfattribs={"char_height": 1.2, "attachment_point": attach,
                                                        "insert": (attach * 20, 40), "width": 15,
                                                        "rotation": attach * 10})
    msp.add_mtext("Wrapped words in a narrow box", dxfattribs={"char_height": 1, "width": 8, "insert": (0, 60)})
    msp.add_mtext("{\\fArial|b1;Bold}\\PNext", dxfattribs={"char_height": 2, "width": 20, "insert": (0, 70),
                                                          "text_direction": (1, 1, 0)})

    # Hatches: polyline path with bulges, edge paths with every edge type, an OCS hatch.
    h = msp.add_hatch()
    h.paths.add_polyline_path([(0, 0, 1), (4, 0, 0), (4, 3, 0), (0, 3, -0.4)], is_closed=True)
    h = msp.add_hatch()
    ep = h.paths.add_edge_path()
    ep.add_line((0, 0), (10, 0))
    ep.add_arc((10, 5), 5, -90, 90)
    ep.add_ellipse((5, 10), (5, 0), 0.4, 0, 180)
    ep.add_line((0, 10), (0, 0))
    h = msp.add_hatch()
    ep = h.paths.add_edge_path()
    ep.add_arc((0, 0), 3, 30, 200, ccw=False)
    ep.add_spline(control_points=[(0, 0), (2, 5), (5, -3), (8, 2)], degree=3)
    h = msp.add_hatch(dxfattribs={"extrusion": (0, 0, -1), "elevation": (0, 0, 2)})
    h.paths.add_polyline_path([(1, 1), (5, 1), (3, 4)], is_closed=True)

    # Blocks: nested, rotated, scaled, mirrored, arrays, attributes.
    inner = doc.blocks.new("INNER", base_point=(1, 1))
    inner.add_line((1, 1), (3, 1))
    inner.add_arc((2, 2), 1, 0, 180)
    outer = doc.blocks.new("OUTER")
    outer.add_blockref("INNER", (10, 0), dxfattribs={"xscale": 2, "yscale": 2, "rotation": 90})
    outer.add_circle((0, 0), 0.5)
    outer.add_attdef("TAG", (50, 50), dxfattribs={"height": 1})
    msp.add_blockref("INNER", (5, 5))
    msp.add_blockref("OUTER", (0, 0), dxfattribs={"xscale": 0.5, "yscale": 0.5, "rotation": 90})
    msp.add_blockref("OUTER", (3, 3), dxfattribs={"xscale": -1, "yscale": 2, "rotation": 30})
    msp.add_blockref("INNER", (3, 0), dxfattribs={"extrusion": (0, 0, -1)})
    msp.add_blockref("INNER", (0, 0), dxfattribs={"column_count": 3, "row_count": 2, "column_spacing": 10,
                                                  "row_spacing": 5, "rotation": 20})
    ref = msp.add_blockref("OUTER", (100, 100))
    ref.add_attrib("TAG", "Value", (90, 100), dxfattribs={"height": 2})
    ref.add_attrib("TAG2", "Right", (120, 100), dxfattribs={"height": 2}).set_placement(
        (120, 100), align=TextEntityAlignment.BOTTOM_RIGHT)

    # Dimensions with their blocks.
    msp.add_linear_dim(base=(0, 5), p1=(0, 0), p2=(10, 0)).render()
    msp.add_linear_dim(base=(20, 5), p1=(15, 0), p2=(22, 3), angle=30).render()
    msp.add_radius_dim(center=(50, 50), radius=5, angle=45).render()

    # Images and wipeouts.
    image_def = doc.add_image_def(filename="test.png", size_in_pixel=(640, 360))
    msp.add_image(image_def, insert=(0, 0), size_in_units=(6.4, 3.6), rotation=30)
    msp.add_wipeout([(0, 0), (4, 1), (3, 5)])

    # Leaders, multi-lines, meshes, multileaders.
    msp.add_leader([(0, 0), (5, 5), (10, 5)])
    msp.add_mline([(0, 0), (10, 0), (10, 10)])
    msp.add_mline([(0, 0), (5, 8), (12, 3)], dxfattribs={"scale_factor": 3})
    mesh = msp.add_mesh()
    with mesh.edit_data() as data:
        data.vertices = [(0, 0, 0), (3, 0, 0), (3, 4, 1), (0, 4, 1)]
        data.faces = [(0, 1, 2, 3)]
    ml = msp.add_multileader_mtext("Standard")
    ml.set_content("Note", char_height=1)
    ml.add_leader_line(mleader.ConnectionSide.left, [Vec2(-10, -5)])
    ml.build(insert=Vec2(0, 0))

    # Entities that add nothing.
    msp.add_xline((0, 0), (1, 1))
    msp.add_ray((0, 0), (1, 1))

    # Seeded random variants of the curve entities.
    for _ in range(60):
        msp.add_arc(rnd_point(r), r.uniform(0.1, 50), r.uniform(-360, 360), r.uniform(-360, 360),
                    dxfattribs={"extrusion": rnd_extrusion(r)})
    for _ in range(20):
        msp.add_circle(rnd_point(r), r.uniform(0.1, 50), dxfattribs={"extrusion": rnd_extrusion(r)})
    for _ in range(60):
        ratio = r.uniform(0.05, 1.0)
        major = Vec3(r.uniform(-40, 40), r.uniform(-40, 40), 0)
        ext = (0, 0, 1) if r.random() < 0.7 else (0, 0, -1)
        msp.add_ellipse(rnd_point(r), major, ratio, r.uniform(0, 2 * math.pi), r.uniform(0, 2 * math.pi),
                        dxfattribs={"extrusion": ext})
    for _ in range(40):
        pts = [(r.uniform(-50, 50), r.uniform(-50, 50), r.uniform(-1.5, 1.5) if r.random() < 0.7 else 0)
               for _ in range(r.randint(2, 8))]
        msp.add_lwpolyline(pts, format="xyb", close=r.random() < 0.5,
                           dxfattribs={"extrusion": rnd_extrusion(r), "elevation": r.uniform(-5, 5)})
    for _ in range(40):
        degree = r.choice([2, 3, 3, 3])
        pts = [rnd_point(r, 50) for _ in range(r.randint(degree + 1, 12))]
        msp.add_open_spline(pts, degree=degree)
    for _ in range(30):
        block = doc.blocks.new("R%d" % _)
        block.add_ellipse(rnd_point(r, 10), (r.uniform(1, 5), r.uniform(-5, 5), 0), r.uniform(0.2, 1))
        block.add_lwpolyline([rnd_point(r, 10)[:2] + (r.uniform(-1, 1),) for _ in range(4)], format="xyb")
        if _ > 0:
            scale = r.uniform(0.2, 2)
            block.add_blockref("R%d" % (_ - 1), rnd_point(r, 10),
                               dxfattribs={"rotation": r.uniform(0, 360), "xscale": scale, "yscale": scale})
        if _ > 3 and _ % 3 == 0:  # a non-uniform reference to a small block
            block.add_blockref("R%d" % r.randint(0, 2), rnd_point(r, 10),
                               dxfattribs={"rotation": r.uniform(0, 360), "xscale": r.uniform(0.2, 2),
                                           "yscale": r.uniform(0.2, 2)})
        scale = r.uniform(0.2, 2)
        msp.add_blockref("R%d" % _, rnd_point(r), dxfattribs={"rotation": r.uniform(0, 360), "xscale": scale,
                                                              "yscale": scale})
        msp.add_blockref("R%d" % _, rnd_point(r), dxfattribs={"rotation": r.uniform(0, 360),
                                                              "xscale": r.uniform(-2, 2), "yscale": r.uniform(0.2, 2)})
    doc.saveas(path)
    return doc


def probe(exe, path):
    out = subprocess.run([exe, path], check=True, capture_output=True, text=True).stdout
    boxes, in_order = {}, []
    for line in out.splitlines():
        parts = line.split()
        box = None if parts[2] == "empty" else tuple(float(v) for v in parts[2:6])
        boxes[parts[0]] = box
        in_order.append(box)
    return boxes, in_order


def sampled_spline(e):
    """ezdxf measures a SPLINE exactly only for non-rational cubics; others through an approximation.
    The reference for those: the curve itself, densely sampled."""
    try:
        tool = e.construction_tool()
        n = 5000
        return BoundingBox(tool.points([tool.max_t * i / n for i in range(n + 1)]))
    except Exception:
        return None


def walked_insert(doc, insert):
    """Reference for a block reference: its entities' flattened vertices (0.001 drawing units at most off
    the curves), carried through the composed matrices of the nested references. ezdxf's own extents
    re-create nested references as INSERTs, which cannot represent a non-uniformly scaled rotated child."""
    box = BoundingBox()

    def walk(ref, m, depth):
        if depth > 32 or ref.dxf.name not in doc.blocks:
            return
        mm = ref.matrix44() @ m
        for e in doc.blocks[ref.dxf.name]:
            if e.dxftype() == "ATTDEF":
                continue
            if e.dxftype() == "INSERT":
                if e.mcount > 1:
                    return None
                walk(e, mm, depth + 1)
                for a in e.attribs:
                    box.extend(mm.transform_vertices(disassemble.make_primitive(a, 0.001).vertices()))
                continue
            box.extend(mm.transform_vertices(disassemble.make_primitive(e, 0.001).vertices()))

    walk(insert, Matrix44(), 0)
    for a in insert.attribs:
        box.extend(disassemble.make_primitive(a, 0.001).vertices())
    return box


def reference(doc, e):
    kind = e.dxftype()
    if kind == "SPLINE" and (e.dxf.degree != 3 or e.weights):
        return sampled_spline(e), 1e-6
    if kind == "INSERT" and e.mcount <= 1 and not uniform_nesting(doc, e):
        return walked_insert(doc, e), CURVE
    return bbox.extents([e], fast=False), None


def uniform_nesting(doc, insert, depth=0):
    """True when every reference in the nesting is uniformly scaled (ezdxf's extents are exact then)."""
    sx, sy = abs(insert.dxf.xscale), abs(insert.dxf.yscale)
    if abs(sx - sy) > 1e-12 * max(sx, sy, 1):
        return False
    if depth > 32 or insert.dxf.name not in doc.blocks:
        return True
    return all(uniform_nesting(doc, e, depth + 1) for e in doc.blocks[insert.dxf.name] if e.dxftype() == "INSERT")


def compare(doc, probed, stats, failures, label):
    boxes, in_order = probed
    entities = list(doc.modelspace())
    # Files without handles (R12): ezdxf makes its own, so match by position when the counts agree.
    by_position = "-" in boxes and len(in_order) == len(entities)
    for index, e in enumerate(entities):
        handle = e.dxf.handle
        kind = e.dxftype()
        mine = in_order[index] if by_position else boxes.get(handle, "missing")
        ref, tolerance = reference(doc, e)
        if ref is None:
            continue
        s = stats.setdefault(kind, {"n": 0, "max": 0.0, "bad": 0})
        s["n"] += 1
        if kind in NOTHING or not ref.has_data:
            if mine not in (None, "missing") and kind in NOTHING:
                failures.append("%s %s %s: expected nothing, got %s" % (label, kind, handle, mine))
                s["bad"] += 1
            continue
        if mine in (None, "missing"):
            s["bad"] += 1
            failures.append("%s %s %s: no extents, ezdxf %s %s" % (label, kind, handle, ref.extmin, ref.extmax))
            continue
        theirs = (ref.extmin.x, ref.extmin.y, ref.extmax.x, ref.extmax.y)
        size = max(theirs[2] - theirs[0], theirs[3] - theirs[1], 1e-9)
        dev = max(abs(a - b) for a, b in zip(mine, theirs)) / max(size, 1.0)
        s["max"] = max(s["max"], dev)
        if dev > (tolerance or TOLERANCE.get(kind, CURVE)):
            s["bad"] += 1
            failures.append("%s %s %s: mine %s ezdxf %s (relative %.3g)" % (label, kind, handle,
                            ["%.6g" % v for v in mine], ["%.6g" % v for v in theirs], dev))


def report(stats, failures):
    print("%-14s %6s %12s %6s" % ("type", "count", "max dev", "over"))
    for kind in sorted(stats):
        s = stats[kind]
        print("%-14s %6d %12.3g %6d" % (kind, s["n"], s["max"], s["bad"]))
    for f in failures[:60]:
        print("MISMATCH", f)
    if len(failures) > 60:
        print("... %d more" % (len(failures) - 60))


def point_decimals(path, work):
    """ezdxf reads "2,5" as 2; the engine reads the decimal comma as a decimal point. ezdxf gets a copy of
    such a file with decimal points, so both measure the same drawing."""
    with open(path, "rb") as f:
        data = f.read()
    fixed = re.sub(rb"(?m)^([ \t]*[-+]?[0-9]+),([0-9]+[ \t]*\r?)$", rb"\1.\2", data)
    if fixed == data:
        return path
    copy = os.path.join(work, "points_" + os.path.basename(path))
    with open(copy, "wb") as f:
        f.write(fixed)
    return copy


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        print(__doc__)
        return 2
    exe, work = args[0], args[1]
    corpus = None
    max_files = 100
    if "--corpus" in args:
        corpus = args[args.index("--corpus") + 1]
    if "--max-files" in args:
        max_files = int(args[args.index("--max-files") + 1])
    os.makedirs(work, exist_ok=True)
    path = os.path.join(work, "extents_cases.dxf")
    build(path)
    doc = ezdxf.readfile(path)
    stats, failures = {}, []
    compare(doc, probe(exe, path), stats, failures, "generated")
    print("generated drawing: %s" % path)
    report(stats, failures)
    status = 1 if failures else 0
    if corpus:
        files = sorted(os.path.join(d, f) for d, _, fs in os.walk(corpus) for f in fs if f.lower().endswith(".dxf"))
        files = files[:: max(1, len(files) // max_files)][:max_files]
        cstats, cfail = {}, []
        for f in files:
            try:
                cdoc, _ = recover.readfile(point_decimals(f, work))
            except Exception as exc:  # unreadable for ezdxf: nothing to compare with
                print("skipped %s: %s" % (f, exc))
                continue
            compare(cdoc, probe(exe, f), cstats, cfail, os.path.basename(f))
        print("\ncorpus: %d files from %s" % (len(files), corpus))
        report(cstats, cfail)
        status = status or (1 if cfail else 0)
    return status


if __name__ == "__main__":
    sys.exit(main())
