"""The Python layout model against the worked examples of the arrangement rules: if the model were wrong,
every placement check built on it would be wrong in the same way."""
import pytest

from layout_model import Settings, frame_sheet_origins, targets


def box(w, h):
    return (0.0, 0.0, float(w), float(h))


@pytest.mark.parametrize("settings, sizes, expected", [
    (Settings("row"), [box(10, 10)] * 3, [(0, 0), (470, 0), (940, 0)]),
    (Settings("row", actual_size=True), [box(100, 1), box(300, 1), box(200, 1)], [(0, 0), (150, 0), (500, 0)]),
    (Settings("column"), [box(1, 10), box(1, 200)], [(0, -10), (0, -547)]),
    (Settings("column", actual_size=True), [box(1, 100), box(1, 200)], [(0, -100), (0, -350)]),
])
def test_row_and_column(settings, sizes, expected):
    assert targets(settings, sizes) == expected


def test_grid_wraps_after_per_row():
    t = targets(Settings("grid"), [box(1, 1)] * 11)
    assert t[9] == (4230, 0) and t[10] == (0, -347)


def test_pages_fill_rows_then_pages():
    s = Settings("pages", sheet_length=105, sheet_width=95)
    t = targets(s, [box(1, 1)] * 13)
    assert (t[0], t[3], t[4], t[11], t[12]) == ((0, 0), (315, 0), (0, -95), (315, -190), (470, 0))
    assert frame_sheet_origins(s, 13) == [(0, 95), (470, 95)]
    assert frame_sheet_origins(s, 12) == [(0, 95)]
    one_row = Settings("pages", sheet_length=105, sheet_width=95, rows=1)
    assert targets(one_row, [box(1, 1)] * 5)[4] == (4 * 105 + 50, 0)
