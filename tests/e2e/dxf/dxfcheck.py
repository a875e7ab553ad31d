"""Helpers for the DXF checks: running plenvo-merge, reading its output with ezdxf, and comparing blocks and
extents with the source drawings."""
import collections
import io
import os
import re
import subprocess
from pathlib import Path

import ezdxf
from ezdxf import bbox

# ezdxf measures text with matplotlib's fonts when it can; the simple estimate is the same on every machine.
ezdxf.options.use_matplotlib = False

ROOT = Path(__file__).resolve().parents[3]
SAMPLES = ROOT / "samples"
PRINT_FRAME_LAYER = "打印图框"
UNICODE_ESCAPE = re.compile(r"\\U\+([0-9A-Fa-f]{4})")
TEXT_TYPES = {"TEXT", "MTEXT", "ATTRIB", "ATTDEF", "DIMENSION", "LEADER", "MULTILEADER", "MLEADER"}


def merge_tool():
    exe = os.environ.get("PLENVO_MERGE")
    if not exe:
        exe = str(ROOT / "build" / "native" / "src" / "cli" / "plenvo-merge")
    assert Path(exe).is_file(), f"plenvo-merge not built: {exe} (set PLENVO_MERGE)"
    return exe


def run_merge(args, timeout=600):
    """Runs plenvo-merge; fails the test on a crash (a signal) whatever the exit status asked for."""
    proc = subprocess.run([merge_tool(), *map(str, args)], capture_output=True, timeout=timeout)
    proc.stdout_text = proc.stdout.decode("utf-8", "replace")
    proc.stderr_text = proc.stderr.decode("utf-8", "replace")
    assert proc.returncode >= 0, f"plenvo-merge died by signal {-proc.returncode}:\n{proc.stderr_text}"
    assert proc.returncode in (0, 1, 2), f"unexpected exit {proc.returncode}:\n{proc.stderr_text}"
    return proc


def read_clean(path):
    """Reads a written DXF strictly (no recover mode) and requires ezdxf's audit to find no error."""
    doc = ezdxf.readfile(str(path))
    auditor = doc.audit()
    errors = [f"{e.code}: {e.message}" for e in auditor.errors if not escaped_name_report(e.message)]
    assert not errors, f"{path}: audit errors:\n" + "\n".join(errors[:20])
    return doc


def escaped_name_report(message):
    """R2000-R2004 files write a name with characters outside their code page as \\U+XXXX escapes (AutoCAD
    reads them back as those characters); ezdxf 0.18 takes them literally and calls the name invalid. Such a
    report is not an error when the decoded name is a valid one."""
    m = re.match(r'Invalid layer name "(.*)" in ', message)
    if not m or "\\U+" not in m.group(1):
        return False
    return not any(c in decoded(m.group(1)) for c in '<>/\\":;?*|=`')


def read_source(path):
    """A source drawing as ezdxf sees it, with text styles it uses but lacks added (so that ezdxf can measure
    those texts, as the merge can)."""
    doc = read_source_file(path)
    used = {e.dxf.get("style") for e in doc.entitydb.values() if e.dxftype() in TEXT_TYPES and e.dxf.hasattr("style")}
    for name in sorted(n for n in used if n and n not in doc.styles):
        try:
            doc.styles.new(name)
        except Exception:  # noqa: BLE001 - a name ezdxf refuses stays unmeasured
            pass
    return doc


def read_source_file(path):
    """Recover mode for sloppy files; decimal commas ("0,5", seen in real files and read by the engine) are
    turned into points first, since ezdxf's recover mode would cut "2,5" to 2."""
    try:
        return ezdxf.readfile(str(path))
    except ezdxf.DXFStructureError:
        pass
    from ezdxf import recover
    lines = Path(path).read_bytes().decode("latin-1").splitlines()
    for k in range(0, len(lines) - 1, 2):
        code = lines[k].strip()
        if code.isdigit() and (10 <= int(code) <= 59 or 110 <= int(code) <= 149 or 210 <= int(code) <= 239):
            lines[k + 1] = re.sub(r"^(\s*-?\d+),(\d+\s*)$", r"\1.\2", lines[k + 1])
    return recover.read(io.BytesIO("\n".join(lines).encode("latin-1")))[0]


def extents(entities, skip_text=False):
    """(min_x, min_y, max_x, max_y) of entities, or None when they draw nothing. An entity ezdxf cannot
    measure (a text whose style the file lacks) is left out."""
    entities = [e for e in entities if not (skip_text and e.dxftype() in TEXT_TYPES)]
    try:
        box = bbox.extents(entities)
    except Exception:  # noqa: BLE001 - measured one by one below
        box = ezdxf.math.BoundingBox()
        for e in entities:
            try:
                box.extend(bbox.extents([e]))
            except Exception:  # noqa: BLE001
                pass
    # A circle or arc of radius 0 still stands at its centre (ezdxf leaves it out; a CAD program does not).
    for e in entities:
        if e.dxftype() in ("CIRCLE", "ARC") and e.dxf.radius == 0:
            box.extend([e.dxf.center])
    if not box.has_data:
        return None
    return (box.extmin.x, box.extmin.y, box.extmax.x, box.extmax.y)


ANCHORS = ("insert", "defpoint", "defpoint2", "defpoint3", "defpoint4", "defpoint5", "text_midpoint",
           "align_point")


def text_anchors(layout):
    """(min_x, min_y) of the points that place the texts and dimensions of a layout, or None: where their
    reach starts whatever font draws them (a dimension without its block has only these)."""
    xs, ys = [], []
    for e in layout:
        if e.dxftype() not in TEXT_TYPES:
            continue
        points = [e.dxf.get(a) for a in ANCHORS if e.dxf.hasattr(a)]
        if e.dxftype() == "LEADER":
            points += list(e.vertices)
        for p in points:
            xs.append(p[0])
            ys.append(p[1])
    return (min(xs), min(ys)) if xs else None


def top_level(doc, dxftype):
    return [e for e in doc.modelspace() if e.dxftype() == dxftype]


def decoded(name):
    """A name or text with its \\U+XXXX escapes decoded (ezdxf 0.18 keeps them in table names)."""
    return UNICODE_ESCAPE.sub(lambda u: chr(int(u.group(1), 16)), name)


def on_frame_layer(entity):
    return decoded(entity.dxf.layer) == PRINT_FRAME_LAYER


def frames(doc):
    return [e for e in doc.modelspace() if e.dxftype() == "LWPOLYLINE" and on_frame_layer(e)]


def frame_box(polyline):
    pts = [(p[0], p[1]) for p in polyline.get_points("xy")]
    assert polyline.closed, "frame not closed"
    assert len(pts) == 4, f"frame has {len(pts)} vertices"
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    x0, y0, x1, y1 = min(xs), min(ys), max(xs), max(ys)
    # vertex order: lower-left, upper-left, upper-right, lower-right
    assert pts == [(x0, y0), (x0, y1), (x1, y1), (x1, y0)], f"frame vertices out of order: {pts}"
    return (x0, y0, x1, y1)


def close(a, b, tol):
    return all(abs(p - q) <= tol for p, q in zip(a, b))


def type_counts(entities):
    return collections.Counter(e.dxftype() for e in entities)


def compare_block_tree(src_doc, src_layout, dst_doc, dst_block, where, mapping=None, depth=0):
    """Requires that dst_block holds the same entities as src_layout (type by type, in order) and that every
    nested INSERT of the source refers to a block that again holds the same entities, whatever name the
    merge gave it. Returns {source block name: merged block name}."""
    if mapping is None:
        mapping = {}
    src = [e for e in src_layout]
    dst = [e for e in dst_block]
    assert type_counts(dst) == type_counts(src), (
        f"{where}: entity counts differ: source {dict(type_counts(src))} merged {dict(type_counts(dst))}")
    if depth > 16:
        return mapping

    def refs(entities):
        # the block each reference uses, and each dimension's picture block (None for a dimension without)
        out = []
        for e in entities:
            if e.dxftype() == "INSERT":
                out.append(e.dxf.name)
            elif e.dxftype() == "DIMENSION" and e.dxf.hasattr("geometry"):
                out.append(e.dxf.geometry)
            elif e.dxftype() == "DIMENSION":
                out.append(None)
        return out

    for sname, dname in zip(refs(src), refs(dst)):
        if sname is None or src_doc.blocks.get(sname) is None:
            continue  # no block in the source: nothing to compare
        if sname in mapping:
            assert mapping[sname] == dname, f"{where}: source block {sname} became both {mapping[sname]} and {dname}"
            continue
        mapping[sname] = dname
        sblock, dblock = src_doc.blocks.get(sname), dst_doc.blocks.get(dname) if dname else None
        assert dblock is not None, f"{where}: merged block {dname} (from {sname}) missing"
        compare_block_tree(src_doc, sblock, dst_doc, dblock, f"{where} > {sname}", mapping, depth + 1)
    return mapping


def has_text(doc, layout, depth=0):
    for e in layout:
        if e.dxftype() in TEXT_TYPES:
            return True
        if e.dxftype() == "INSERT" and depth < 16:
            if e.attribs:
                return True
            block = doc.blocks.get(e.dxf.name)
            if block is not None and has_text(doc, block, depth + 1):
                return True
    return False
