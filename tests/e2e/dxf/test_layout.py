"""Every arrangement puts every drawing where the layout rules say, with frames exactly on the moved
extents: generated drawings of known sizes (no text, so extents are exact) merged by plenvo-merge and
measured again with ezdxf."""
import ezdxf
import pytest

from dxfcheck import (PRINT_FRAME_LAYER, SAMPLES, close, decoded, extents, frame_box, frames, on_frame_layer, read_clean,
                      run_merge, top_level, type_counts)
from layout_model import Settings, frame_sheet_origins, targets

TOL = 1e-6
# (width, height, min_x, min_y): sizes differ so fixed pitches and actual sizes give different answers, and
# the drawings do not start at their origin, so the move must start from their lower-left corner.
SIZES = [(100, 60, 10, 5), (300, 200, -50, 20), (200, 80, 0, 0), (50, 120, 7.5, -30), (420, 297, 0, 0),
         (80, 80, 1000, 1000), (10, 300, -5, -5), (250, 40, 3, 4), (120, 90, 0, 0), (60, 60, -60, -60),
         (330, 150, 25, 25), (90, 200, 0, 10), (140, 70, 12.25, 0)]


def make_part(path, w, h, x0, y0):
    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    msp.add_lwpolyline([(x0, y0), (x0 + w, y0), (x0 + w, y0 + h), (x0, y0 + h)], close=True)
    msp.add_circle((x0 + w / 2, y0 + h / 2), min(w, h) / 4, dxfattribs={"layer": "HOLES"})
    msp.add_line((x0, y0), (x0 + w, y0 + h), dxfattribs={"color": 3})
    doc.saveas(str(path))


@pytest.fixture(scope="module")
def parts(tmp_path_factory):
    folder = tmp_path_factory.mktemp("parts")
    paths = []
    for k, (w, h, x0, y0) in enumerate(SIZES):
        path = folder / f"part{k + 1}.dxf"  # part10 after part9: the folder is read in natural order
        make_part(path, w, h, x0, y0)
        paths.append(path)
    return folder, paths


CASES = [
    # id, command-line options, the same settings for the model, drawings, explode
    ("row", [], Settings("row"), 5, False),
    ("row-actual", ["--actual-size", "--spacing", "30"], Settings("row", spacing=30, actual_size=True), 6, False),
    ("column", ["--mode", "column", "--sheet", "400x300"],
     Settings("column", sheet_length=400, sheet_width=300), 5, False),
    ("column-actual", ["--mode", "column", "--actual-size", "--spacing", "0"],
     Settings("column", spacing=0, actual_size=True), 5, False),
    ("grid", ["--mode", "grid", "--per-row", "4", "--spacing", "20", "--sheet", "300x250"],
     Settings("grid", spacing=20, per_row=4, sheet_length=300, sheet_width=250), 13, False),
    ("grid-negative-spacing", ["--mode", "grid", "--per-row", "3", "--spacing", "-10"],
     Settings("grid", spacing=-10, per_row=3), 7, False),
    ("pages", ["--mode", "pages"], Settings("pages", sheet_length=105, sheet_width=95), 13, False),
    ("pages-2x1", ["--mode", "pages", "--cells", "2x1", "--sheet", "150x100", "--spacing", "10"],
     Settings("pages", spacing=10, sheet_length=150, sheet_width=100, columns=2, rows=1), 5, False),
    ("row-explode", ["--explode"], Settings("row"), 4, True),
    ("grid-explode", ["--mode", "grid", "--per-row", "2", "--explode"], Settings("grid", per_row=2), 5, True),
]


@pytest.mark.parametrize("frames_on", [False, True], ids=["plain", "frames"])
@pytest.mark.parametrize("case_id, options, settings, count, explode", CASES, ids=[c[0] for c in CASES])
def test_arrangement(parts, tmp_path, case_id, options, settings, count, explode, frames_on):
    _folder, paths = parts
    out = tmp_path / "merged.dxf"
    args = [*options, *(["--frames"] if frames_on else []), *paths[:count], "-o", out]
    proc = run_merge(args)
    assert proc.returncode == 0, proc.stderr_text
    assert f"merged {count} of {count} drawing" in proc.stdout_text

    doc = read_clean(out)
    assert doc.layers.has_entry(PRINT_FRAME_LAYER) and doc.layers.get(PRINT_FRAME_LAYER).color == 1
    inserted = [(x0, y0, x0 + w, y0 + h) for (w, h, x0, y0) in SIZES[:count]]
    expected = [(tx, ty, tx + (b[2] - b[0]), ty + (b[3] - b[1])) for (tx, ty), b in zip(targets(settings, inserted), inserted)]
    origins = frame_sheet_origins(settings, count)

    inserts = top_level(doc, "INSERT")
    if explode:
        # Each drawing's pieces lie loose where the drawing was placed; no reference is left.
        assert inserts == []
        loose = [e for e in doc.modelspace() if e.dxf.layer != PRINT_FRAME_LAYER]
        assert type_counts(loose) == {"LWPOLYLINE": count, "CIRCLE": count, "LINE": count}
        # Exploded pieces follow one another drawing by drawing, three per drawing.
        placed = [extents(loose[3 * k:3 * k + 3]) for k in range(count)]
    else:
        assert len(inserts) == count + len(origins)
        placed = [extents([e]) for e in inserts[:count]]
        for k, ins in enumerate(inserts[:count]):
            assert type_counts(doc.blocks.get(ins.dxf.name)) == {"LWPOLYLINE": 1, "CIRCLE": 1, "LINE": 1}, k
    for k, (got, want) in enumerate(zip(placed, expected)):
        assert close(got, want, TOL), f"drawing {k + 1}: at {got}, expected {want}"

    # Part frames: one per page, inserted with their top-left corner at the page's origin.
    part_frame = extents(ezdxf.readfile(str(SAMPLES.parent / "resources" / "part_frame.dxf")).modelspace())
    frame_refs = inserts[count:] if not explode else []
    if not explode:
        assert len(frame_refs) == len(origins)
        for ref, (ox, oy) in zip(frame_refs, origins):
            want = (ox + part_frame[0], oy + part_frame[1], ox + part_frame[2], oy + part_frame[3])
            assert close(extents([ref]), want, TOL), f"part frame at {extents([ref])}, expected {want}"

    drawn = frames(doc)
    if not frames_on:
        assert drawn == []
        return
    for f in drawn:
        assert f.dxf.color == 1
    boxes = [frame_box(f) for f in drawn]
    if settings.mode == "pages":
        # No frame around the parts of a page; one around each part frame.
        assert len(boxes) == len(origins)
        for got, ref in zip(boxes, frame_refs):
            assert close(got, extents([ref]), TOL)
    else:
        assert len(boxes) == count
        for k, (got, want) in enumerate(zip(boxes, expected)):
            assert close(got, want, TOL), f"frame {k + 1}: {got}, expected {want}"


def test_folder_input_is_natural_order(parts, tmp_path):
    """A folder contributes its DXF files as part1, part2, ..., part9, part10, ... (not part1, part10, ...)."""
    folder, _paths = parts
    out = tmp_path / "merged.dxf"
    (folder / "notes.txt").write_text("not a drawing")
    proc = run_merge(["--mode", "grid", "--per-row", "100", "--spacing", "0", "--sheet", "1000x1000", folder,
                      "-o", out])
    assert proc.returncode == 0, proc.stderr_text
    doc = read_clean(out)
    inserts = top_level(doc, "INSERT")
    assert len(inserts) == len(SIZES)
    for k, ins in enumerate(inserts):
        w, h, _x0, _y0 = SIZES[k]
        x0, y0, x1, y1 = extents([ins])
        assert close((x0, y0, x1 - x0, y1 - y0), (k * 1000, 0, w, h), TOL), f"slot {k} holds the wrong drawing"


def make_framed_target(path):
    """A drawing that already has the frame layer, in another colour, with one frame on it."""
    doc = ezdxf.new("R2010")
    doc.layers.add(PRINT_FRAME_LAYER, color=5)
    doc.modelspace().add_circle((0, 0), 10)
    doc.modelspace().add_lwpolyline([(0, 0), (0, 5), (5, 5), (5, 0)], close=True,
                                    dxfattribs={"layer": PRINT_FRAME_LAYER})
    doc.saveas(str(path))
    return path


@pytest.mark.parametrize("target_name", ["bracket.dxf", "gasket_r12.dxf", "shaft_r2018.dxf", "framed"])
def test_merge_into_existing_target(parts, tmp_path, target_name):
    """--target keeps the existing drawing's entities (and its frame layer, now colour 1), adds the merge,
    and leaves the target file alone."""
    _folder, paths = parts
    target = make_framed_target(tmp_path / "framed.dxf") if target_name == "framed" else SAMPLES / target_name
    before = target.read_bytes()
    out = tmp_path / "merged.dxf"
    proc = run_merge(["--target", target, "--frames", *paths[:3], "-o", out])
    assert proc.returncode == 0, proc.stderr_text
    assert target.read_bytes() == before
    source = ezdxf.readfile(str(target))
    doc = read_clean(out)
    kept = list(doc.modelspace())[:len(source.modelspace())]
    assert type_counts(kept) == type_counts(source.modelspace())
    assert len(top_level(doc, "INSERT")) == 3 + len(top_level(source, "INSERT"))
    assert len(frames(doc)) == 3 + len(frames(source))
    assert [layer.color for layer in doc.layers if decoded(layer.dxf.name) == PRINT_FRAME_LAYER] == [1]
    # The merged drawings sit where a new drawing would have them: the target does not shift the layout.
    for k, ins in enumerate(top_level(doc, "INSERT")[-3:]):
        assert close(extents([ins])[:2], (k * 470, 0), TOL)
