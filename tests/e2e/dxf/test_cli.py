"""plenvo-merge as a user meets it: usage errors, files it cannot read, and never writing over an input."""
import os
import random
import shutil

import pytest

from dxfcheck import SAMPLES, extents, read_clean, run_merge, top_level

GOOD = ["bracket.dxf", "gasket_r12.dxf", "shaft_r2018.dxf"]


@pytest.fixture
def good(tmp_path):
    paths = []
    for name in GOOD:
        shutil.copy(SAMPLES / name, tmp_path / name)
        paths.append(tmp_path / name)
    return paths


@pytest.mark.parametrize("args, message", [
    (["--bogus", "a.dxf", "-o", "x.dxf"], "unknown option '--bogus'"),
    (["a.dxf"], "no output file"),
    (["-o", "x.dxf"], "no input drawings"),
    (["a.dxf", "-o"], "-o needs a value"),
    (["--mode", "diagonal", "a.dxf", "-o", "x.dxf"], "--mode must be row, column, grid or pages"),
    (["--mode", "grid", "--per-row", "0", "a.dxf", "-o", "x.dxf"], "--per-row must be at least 1"),
    (["--mode", "grid", "--per-row", "-3", "a.dxf", "-o", "x.dxf"], "--per-row must be at least 1"),
    (["--mode", "pages", "--cells", "0x3", "a.dxf", "-o", "x.dxf"], "--cells must be at least 1x1"),
    (["--mode", "pages", "--cells", "4x0.5", "a.dxf", "-o", "x.dxf"], "--cells must be at least 1x1"),
    (["--spacing", "abc", "a.dxf", "-o", "x.dxf"], "--spacing expects a number"),
    (["--sheet", "420", "a.dxf", "-o", "x.dxf"], "--sheet expects LENGTHxWIDTH"),
    (["--frames=yes", "a.dxf", "-o", "x.dxf"], "--frames takes no value"),
])
def test_usage_errors(tmp_path, args, message):
    proc = run_merge(args)
    assert proc.returncode == 2, proc.stderr_text
    assert message in proc.stderr_text
    assert not (tmp_path / "x.dxf").exists()


def test_help_and_window_style_numbers(good, tmp_path):
    proc = run_merge(["--help"])
    assert proc.returncode == 0 and "Usage: plenvo-merge" in proc.stdout_text and "--mode" in proc.stdout_text
    # 50.9 reads as 50 and full-width digits count, as in the main window's boxes.
    out = tmp_path / "o.dxf"
    proc = run_merge(["--spacing", "50.9", "--sheet", "１００x１００", *good[:2], "-o", out])
    assert proc.returncode == 0, proc.stderr_text
    second = top_level(read_clean(out), "INSERT")[1]
    assert abs(extents([second])[0] - 150.0) < 1e-6


def test_output_never_replaces_an_input(good, tmp_path):
    """-o naming an input (directly, through .., or through a symbolic link) is refused; nothing changes."""
    before = good[0].read_bytes()
    link = tmp_path / "link.dxf"
    os.symlink(good[0], link)
    for output in (good[0], tmp_path / "sub" / ".." / GOOD[0], link):
        (tmp_path / "sub").mkdir(exist_ok=True)
        proc = run_merge([*good, "-o", output])
        assert proc.returncode == 2, (output, proc.stderr_text)
        assert "is also an input" in proc.stderr_text
        assert good[0].read_bytes() == before
    # Merging into a target and writing the result over it is refused too.
    proc = run_merge(["--target", good[1], good[0], "-o", good[1]])
    assert proc.returncode == 2 and "is also an input" in proc.stderr_text


def bad_files(folder):
    rng = random.Random(1234)
    sample = (SAMPLES / "bracket.dxf").read_bytes()
    huge = sample.replace(b"160.0\n", b"1e999\n").replace(b" 10\n0.0\n", b" 10\n-1e308\n", 3)
    cases = {
        "empty.dxf": b"",
        "truncated.dxf": sample[: len(sample) // 2],
        "binary.dxf": bytes(rng.randrange(256) for _ in range(20000)),
        "garbage.dxf": b"hello\nthis is not a drawing\n\x00\x01\x02\n",
        "huge_numbers.dxf": huge,
        "huge_counts.dxf": b"  0\nSECTION\n  2\nENTITIES\n  0\nLWPOLYLINE\n  8\n0\n 90\n99999999999\n 10\n1e400\n 20\nnan\n"
                           b"  0\nENDSEC\n  0\nEOF\n",
        "only_section.dxf": b"  0\nSECTION\n",
        "dwg_renamed.dxf": b"AC1015" + bytes(rng.randrange(256) for _ in range(2000)),
    }
    paths = {}
    for name, data in cases.items():
        path = folder / name
        path.write_bytes(data)
        paths[name] = path
    return paths


@pytest.mark.parametrize("bad", ["empty.dxf", "truncated.dxf", "binary.dxf", "garbage.dxf", "huge_numbers.dxf",
                                 "huge_counts.dxf", "only_section.dxf", "dwg_renamed.dxf", "missing.dxf"])
def test_bad_input_is_named_and_the_rest_merge(good, tmp_path, bad):
    paths = bad_files(tmp_path)
    bad_path = paths.get(bad, tmp_path / bad)
    out = tmp_path / "out.dxf"
    proc = run_merge([good[0], bad_path, good[1], good[2], "-o", out])
    text = proc.stderr_text
    assert proc.returncode == 1, f"exit {proc.returncode}:\n{text}"
    assert bad in text, f"the failed file is not named:\n{text}"
    assert "merged 3 of 4 drawings" in proc.stdout_text
    read_clean(out)
    body = out.read_bytes().lower()
    for word in (b"\ninf", b"\n-inf", b"\nnan", b"\n1e999", b"e+308"):
        assert word not in body, f"non-finite number {word!r} written"


def test_unicode_names_and_folders(tmp_path):
    """Chinese folder and file names go through as UTF-8; the GBK sample keeps its text."""
    folder = tmp_path / "图纸 文件夹"
    folder.mkdir()
    shutil.copy(SAMPLES / "title_block_中文.dxf", folder / "标题栏10.dxf")
    shutil.copy(SAMPLES / "bracket.dxf", folder / "标题栏9.DXF")
    out = tmp_path / "合并 结果.dxf"
    proc = run_merge(["-v", folder, "-o", out])
    assert proc.returncode == 0, proc.stderr_text
    assert proc.stderr_text.index("标题栏9.DXF") < proc.stderr_text.index("标题栏10.dxf")
    doc = read_clean(out)
    shown = {e.dxf.text for e in doc.query("TEXT")}
    for block in doc.blocks:
        shown |= {e.dxf.text for e in block.query("TEXT")}
    assert "支架零件图" in shown and "Q235 钢板" in shown


def test_part_frame_that_cannot_be_read(good, tmp_path):
    """Pages with a part frame that is not there: the drawings are merged, the part frame is named, exit 1."""
    out = tmp_path / "out.dxf"
    proc = run_merge(["--mode", "pages", "--part-frame", tmp_path / "no_frame.dxf", *good, "-o", out])
    assert proc.returncode == 1, proc.stderr_text
    assert "part frame" in proc.stderr_text and "no_frame.dxf" in proc.stderr_text
    assert "merged 3 of 3 drawings" in proc.stdout_text
    assert len(top_level(read_clean(out), "INSERT")) == 3
