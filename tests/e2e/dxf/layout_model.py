"""Where each drawing of a merge must land, worked out here from the arrangement rules and nothing of the
program's code, so the checks compare two independent answers.

Extents are (min_x, min_y, max_x, max_y) tuples as measured right after inserting at the origin.
"""
from dataclasses import dataclass
import math


@dataclass
class Settings:
    mode: str = "row"          # row | column | grid | pages
    spacing: int = 50
    per_row: int = 10
    sheet_length: int = 420
    sheet_width: int = 297
    columns: int = 4
    rows: int = 3
    actual_size: bool = False


def targets(settings, extents):
    """The lower-left target of every drawing, in order."""
    s, L, W = settings.spacing, settings.sheet_length, settings.sheet_width
    out = []
    if settings.mode == "row":
        cursor, last_width = 0.0, 0.0
        for i, (x0, _y0, x1, _y1) in enumerate(extents):
            if i > 0:
                cursor += (last_width if settings.actual_size else L) + s
            out.append((cursor, 0.0))
            # settled: the moved drawing's right edge minus the cursor, i.e. its own width
            last_width = (cursor + (x1 - x0)) - cursor
    elif settings.mode == "column":
        cursor, last_height = 0.0, 0.0
        for i, (_x0, y0, _x1, y1) in enumerate(extents):
            if i > 0:
                cursor -= (last_height if settings.actual_size else W) + s
            h = y1 - y0
            last_height = h
            out.append((0.0, cursor - h))
    elif settings.mode == "grid":
        n = settings.per_row
        for k in range(len(extents)):
            out.append(((k % n) * (L + s), -(k // n) * (W + s)))
    elif settings.mode == "pages":
        a, b = settings.columns, settings.rows
        for k in range(len(extents)):
            p, q = divmod(k, a * b)
            r, c = divmod(q, a)
            out.append((p * (a * L + s) + c * L, -r * W))
    else:
        raise ValueError(settings.mode)
    return out


def frame_sheet_origins(settings, count):
    """Insertion points of the part frames (pages only): the top-left corner of each page."""
    if settings.mode != "pages":
        return []
    a, b, L, W, s = settings.columns, settings.rows, settings.sheet_length, settings.sheet_width, settings.spacing
    pages = math.ceil(count / (a * b))
    return [((j - 1) * (a * L + s), W) for j in range(1, pages + 1)]
