"""Real drawings (Debian's librecad-data and openscad-testing-data, fetched at test time) and the project's
samples, merged in batches: the merged file passes ezdxf's audit, keeps every entity of every source
(per type, in the drawing and in each block it uses, renamed or not), each drawing's content has the
source's extents, moved, and each drawing sits where the grid arrangement puts it."""
import re

import pytest

from dxfcheck import (SAMPLES, close, compare_block_tree, extents, has_text, read_clean, read_source, run_merge,
                      text_anchors, top_level)
from layout_model import Settings, targets

BATCH = 50
GRID = Settings("grid", spacing=50, per_row=8, sheet_length=2000, sheet_width=2000)
GRID_ARGS = ["--mode", "grid", "--per-row", "8", "--spacing", "50", "--sheet", "2000x2000"]
UNICODE_ESCAPE = re.compile(r"\\U\+([0-9A-Fa-f]{4})")


def real_files(test_data):
    files = sorted(test_data.glob("openscad-testing-data/**/*.dxf")) + sorted(test_data.glob("librecad-data/**/*.dxf"))
    assert len(files) > 1300, f"only {len(files)} real files in {test_data}"
    return files


def selection(test_data):
    """Every openscad file, every Cyrillic (ANSI_1251) LibreCAD file, every 8th other LibreCAD file."""
    chosen = []
    for k, path in enumerate(real_files(test_data)):
        if "openscad" in str(path) or b"ANSI_1251" in path.read_bytes()[:4000] or k % 8 == 0:
            chosen.append(path)
    return chosen


def batches(test_data):
    chosen = selection(test_data)
    # The samples join the first batch: R12, R2018, GBK text and a BOLT block that clashes with another's.
    first = sorted(SAMPLES.glob("*.dxf"))
    groups = [first + chosen[:BATCH]]
    groups += [chosen[i:i + BATCH] for i in range(BATCH, len(chosen), BATCH)]
    return groups


def texts(doc, layout, depth=0):
    """Every text string a layout shows (nested blocks included), with \\U+XXXX escapes decoded."""
    out = []
    for e in layout:
        t = e.dxftype()
        if t in ("TEXT", "ATTRIB", "ATTDEF"):
            out.append(e.dxf.text)
        elif t == "MTEXT":
            out.append(e.text)
        elif t == "INSERT" and depth < 16:
            out.extend(a.dxf.text for a in e.attribs)
            block = doc.blocks.get(e.dxf.name)
            if block is not None:
                out.extend(texts(doc, block, depth + 1))
    return [UNICODE_ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), s) for s in out]


def size_of(box):
    return max(box[2] - box[0], box[3] - box[1], 1.0)


@pytest.fixture(scope="module")
def data(test_data):
    return test_data


def check_batch(paths, out):
    proc = run_merge([*GRID_ARGS, *paths, "-o", out])
    assert proc.returncode == 0, proc.stderr_text
    merged = read_clean(out)
    inserts = top_level(merged, "INSERT")
    assert len(inserts) == len(paths)

    sources = [read_source(p) for p in paths]
    src_boxes = [extents(s.modelspace()) for s in sources]
    # The layout of a grid does not depend on the sizes: every slot is known in advance.
    slots = targets(GRID, [b or (0, 0, 0, 0) for b in src_boxes])
    problems = []
    for path, src, src_box, ins, slot in zip(paths, sources, src_boxes, inserts, slots):
        name = path.name
        block = merged.blocks.get(ins.dxf.name)
        assert block is not None, f"{name}: block {ins.dxf.name} missing"
        compare_block_tree(src, src.modelspace(), merged, block, name)
        assert texts(merged, block) == texts(src, src.modelspace()), f"{name}: texts differ"
        if src_box is None:
            continue
        # The block holds the source's content: the same extents up to a shift (ezdxf measures the block's
        # own entities; its INSERT transform loses ellipses in 0.18, so the shift is applied here).
        # Where the source has text, its geometry is compared (the texts themselves are compared above, and
        # ezdxf may not measure a source text whose style the source lacks and the merge supplied).
        text = has_text(src, src.modelspace())
        blk_box = extents(block, skip_text=text)
        cmp_box = extents(src.modelspace(), skip_text=text)
        size = size_of(src_box)
        tol = 1e-6 * max(size, abs(blk_box[0]) if blk_box else 0, abs(ins.dxf.insert.x), abs(ins.dxf.insert.y))
        if cmp_box is None:
            continue
        if blk_box is None or not close([b - blk_box[k % 2] for k, b in enumerate(blk_box)],
                                        [b - cmp_box[k % 2] for k, b in enumerate(cmp_box)], tol):
            problems.append(f"{name}: block extents {blk_box}, source {cmp_box}")
            continue
        # The block is placed by the reference: world = block - base point + insertion point (scale 1, no
        # rotation). Its lower-left must sit in its slot.
        dx = ins.dxf.insert.x - block.base_point.x
        dy = ins.dxf.insert.y - block.base_point.y
        lower_left = (blk_box[0] + dx, blk_box[1] + dy)
        if not text:
            if not close(lower_left, slot, tol):
                problems.append(f"{name}: lower-left at {lower_left}, slot {slot}")
            continue
        # With text the two extents differ by how far each thinks the text reaches, which only the font
        # decides. What must hold: no geometry left of or below the slot, and the slot no further from the
        # geometry than a few times the reach ezdxf estimates for the text.
        geo = cmp_box
        geo_ll = lower_left
        # How far below/left of the geometry the texts reach: ezdxf's estimate, or their anchor points.
        anchors = text_anchors(src.modelspace()) or (src_box[0], src_box[1])
        reach = (geo[0] - min(src_box[0], anchors[0]), geo[1] - min(src_box[1], anchors[1]))
        for axis in (0, 1):
            if geo_ll[axis] < slot[axis] - tol or geo_ll[axis] - slot[axis] > 3 * reach[axis] + tol:
                problems.append(f"{name}: geometry lower-left {geo_ll}, slot {slot}, text reach {reach}")
                break
    assert not problems, "\n".join(problems)


@pytest.mark.parametrize("index", range(8))
def test_real_batch(data, tmp_path, index):
    groups = batches(data)
    if index >= len(groups):
        pytest.skip(f"only {len(groups)} batches")
    check_batch(groups[index], tmp_path / f"batch{index}.dxf")


def test_batches_cover_the_selection(data):
    # The parametrised batches above must reach every selected file.
    assert len(batches(data)) <= 8


def test_all_real_files_in_one_merge(data, tmp_path):
    """All 1,368 real files at once: every one merged, the result readable and audit-clean."""
    paths = real_files(data)
    out = tmp_path / "all.dxf"
    proc = run_merge([*GRID_ARGS, "--frames", *paths, "-o", out], timeout=900)
    assert proc.returncode == 0, proc.stderr_text
    assert f"merged {len(paths)} of {len(paths)} drawings" in proc.stdout_text
    merged = read_clean(out)
    assert len(top_level(merged, "INSERT")) == len(paths)
