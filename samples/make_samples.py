#!/usr/bin/python3
"""Writes the project's sample drawings (samples/*.dxf): small parts in the DXF releases and encodings the
merge must handle. Run once with Debian's python3-ezdxf; the DXF files are committed.

    /usr/bin/python3 samples/make_samples.py [OUT_DIR]
"""
import math
import os
import sys

import ezdxf
from ezdxf.enums import TextEntityAlignment

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))


def new(version, encoding_page=None):
    doc = ezdxf.new(version, setup=True)
    doc.header["$INSUNITS"] = 4  # millimetres
    if encoding_page:
        doc.encoding = encoding_page  # also sets $DWGCODEPAGE
    return doc


def layer(doc, name, color, linetype="CONTINUOUS"):
    if name not in doc.layers:
        doc.layers.add(name, color=color, linetype=linetype)


def bracket():
    """An L-shaped bracket with rounded outer corner, four holes and centre lines (R2000)."""
    doc = new("R2000")
    msp = doc.modelspace()
    layer(doc, "OUTLINE", 7)
    layer(doc, "CENTER", 1, "CENTER")
    # Outline with a bulged (rounded) corner: bulge = tan(angle/4) for a quarter arc.
    b = math.tan(math.radians(90) / 4)
    msp.add_lwpolyline([(0, 0, 0), (160, 0, 0), (160, 20, 0), (40, 20, 0), (20, 40, b), (20, 120, 0),
                        (0, 120, 0)], format="xyb", close=True, dxfattribs={"layer": "OUTLINE"})
    for x, y in [(60, 10), (130, 10), (10, 70), (10, 105)]:
        msp.add_circle((x, y), 4.5, dxfattribs={"layer": "OUTLINE"})
        msp.add_line((x - 7, y), (x + 7, y), dxfattribs={"layer": "CENTER"})
        msp.add_line((x, y - 7), (x, y + 7), dxfattribs={"layer": "CENTER"})
    msp.add_text("BRACKET B-01", height=5, dxfattribs={"layer": "OUTLINE"}).set_placement(
        (40, 60), align=TextEntityAlignment.LEFT)
    doc.saveas(os.path.join(OUT, "bracket.dxf"))


def flange():
    """A round flange: rim, bore, six bolt holes as INSERTs of block BOLT, a diameter dimension (R2010)."""
    doc = new("R2010")
    msp = doc.modelspace()
    layer(doc, "PART", 7)
    layer(doc, "DIM", 3)
    bolt = doc.blocks.new("BOLT")
    bolt.add_circle((0, 0), 6, dxfattribs={"layer": "PART"})
    bolt.add_circle((0, 0), 9, dxfattribs={"layer": "PART", "color": 4})
    msp.add_circle((0, 0), 100, dxfattribs={"layer": "PART"})
    msp.add_circle((0, 0), 40, dxfattribs={"layer": "PART"})
    msp.add_arc((0, 0), 70, 0, 360 / 12, dxfattribs={"layer": "PART"})
    for k in range(6):
        a = math.radians(60 * k + 30)
        msp.add_blockref("BOLT", (75 * math.cos(a), 75 * math.sin(a)), dxfattribs={"layer": "PART"})
    dim = msp.add_diameter_dim(center=(0, 0), radius=100, angle=135, dimstyle="EZ_RADIUS",
                               dxfattribs={"layer": "DIM"})
    dim.render()
    doc.saveas(os.path.join(OUT, "flange.dxf"))


def plate_with_holes():
    """A rectangular plate with a 4 x 3 hole pattern, a hatched pocket and a note in MTEXT (R2004)."""
    doc = new("R2004")
    msp = doc.modelspace()
    layer(doc, "PLATE", 7)
    layer(doc, "HATCH", 8)
    msp.add_lwpolyline([(0, 0), (300, 0), (300, 200), (0, 200)], close=True, dxfattribs={"layer": "PLATE"})
    for i in range(4):
        for j in range(3):
            msp.add_circle((45 + 70 * i, 40 + 60 * j), 8, dxfattribs={"layer": "PLATE"})
    pocket = [(120, 70), (180, 70), (180, 130), (120, 130)]
    msp.add_lwpolyline(pocket, close=True, dxfattribs={"layer": "PLATE"})
    hatch = msp.add_hatch(color=8, dxfattribs={"layer": "HATCH"})
    hatch.set_pattern_fill("ANSI31", scale=2)
    hatch.paths.add_polyline_path(pocket, is_closed=True)
    msp.add_mtext("PLATE P-300\\PMATERIAL S235, t=10", dxfattribs={"layer": "PLATE", "char_height": 6,
                                                                     "insert": (10, 190), "width": 150})
    doc.saveas(os.path.join(OUT, "plate_with_holes.dxf"))


def chinese_title_block():
    """A title block in Chinese, written in the GBK code page (ANSI_936) as R2000 files are (R2000)."""
    doc = new("R2000", "gbk")
    msp = doc.modelspace()
    layer(doc, "标题栏", 7)
    layer(doc, "文字", 2)
    doc.styles.new("宋体", dxfattribs={"font": "simsun.ttf"})
    msp.add_lwpolyline([(0, 0), (180, 0), (180, 56), (0, 56)], close=True, dxfattribs={"layer": "标题栏"})
    for y in (14, 28, 42):
        msp.add_line((0, y), (180, y), dxfattribs={"layer": "标题栏"})
    msp.add_line((60, 0), (60, 56), dxfattribs={"layer": "标题栏"})
    rows = [("图名", "支架零件图"), ("材料", "Q235 钢板"), ("比例", "1:1"), ("设计", "张工")]
    for k, (label, value) in enumerate(rows):
        y = 56 - 14 * (k + 1) + 4
        msp.add_text(label, height=5, dxfattribs={"layer": "文字", "style": "宋体", "insert": (5, y)})
        msp.add_text(value, height=5, dxfattribs={"layer": "文字", "style": "宋体", "insert": (65, y)})
    doc.saveas(os.path.join(OUT, "title_block_中文.dxf"))


def gasket_r12():
    """A gasket in the oldest release still in use, R12 (AC1009): POLYLINE, ARC, CIRCLE, TEXT."""
    doc = new("R12")
    msp = doc.modelspace()
    layer(doc, "GASKET", 5)
    msp.add_polyline2d([(0, 20), (0, 100), (20, 120), (140, 120), (160, 100), (160, 20), (140, 0), (20, 0)],
                       close=True, dxfattribs={"layer": "GASKET"})
    msp.add_circle((80, 60), 30, dxfattribs={"layer": "GASKET"})
    for x, y in [(20, 20), (140, 20), (140, 100), (20, 100)]:
        msp.add_circle((x, y), 6, dxfattribs={"layer": "GASKET"})
    msp.add_arc((80, 60), 40, 200, 340, dxfattribs={"layer": "GASKET"})
    msp.add_text("GASKET R12", height=6, dxfattribs={"layer": "GASKET", "insert": (50, 105)})
    doc.saveas(os.path.join(OUT, "gasket_r12.dxf"))


def shaft_r2018():
    """A shaft in the newest release (R2018, AC1032, UTF-8): SPLINE, ELLIPSE, a block with an attribute."""
    doc = new("R2018")
    msp = doc.modelspace()
    layer(doc, "SHAFT", 7)
    layer(doc, "TAGS", 6)
    msp.add_lwpolyline([(0, -15), (60, -15), (60, -20), (200, -20), (200, 20), (60, 20), (60, 15), (0, 15)],
                       close=True, dxfattribs={"layer": "SHAFT"})
    msp.add_spline([(200, 20), (215, 12), (225, 0), (215, -12), (200, -20)], dxfattribs={"layer": "SHAFT"})
    msp.add_ellipse((30, 0), major_axis=(10, 0), ratio=0.5, dxfattribs={"layer": "SHAFT"})
    tag = doc.blocks.new("PART_TAG")
    tag.add_circle((0, 0), 8, dxfattribs={"layer": "TAGS"})
    tag.add_attdef("NO", (0, 0), dxfattribs={"height": 5, "layer": "TAGS"}).set_placement(
        (0, 0), align=TextEntityAlignment.MIDDLE_CENTER)
    ref = msp.add_blockref("PART_TAG", (130, 45), dxfattribs={"layer": "TAGS"})
    ref.add_auto_attribs({"NO": "7"})
    msp.add_text("Welle Ø40 – shaft", height=5, dxfattribs={"layer": "TAGS", "insert": (80, -35)})
    doc.saveas(os.path.join(OUT, "shaft_r2018.dxf"))


def nested_assembly():
    """Blocks inside blocks whose names clash with flange.dxf's (BOLT) but draw something else (R2000)."""
    doc = new("R2000")
    msp = doc.modelspace()
    layer(doc, "ASM", 7)
    bolt = doc.blocks.new("BOLT")  # not flange.dxf's BOLT: a hexagon head
    bolt.add_lwpolyline([(8 * math.cos(math.radians(60 * k)), 8 * math.sin(math.radians(60 * k)))
                         for k in range(6)], close=True, dxfattribs={"layer": "ASM"})
    bolt.add_circle((0, 0), 4, dxfattribs={"layer": "ASM"})
    joint = doc.blocks.new("JOINT")
    joint.add_lwpolyline([(-30, -10), (30, -10), (30, 10), (-30, 10)], close=True, dxfattribs={"layer": "ASM"})
    joint.add_blockref("BOLT", (-18, 0))
    joint.add_blockref("BOLT", (18, 0))
    for k in range(3):
        msp.add_blockref("JOINT", (40, 30 + 45 * k), dxfattribs={"rotation": 0})
    msp.add_blockref("JOINT", (130, 75), dxfattribs={"rotation": 90, "xscale": 1.5, "yscale": 1.5})
    msp.add_line((0, 0), (170, 0), dxfattribs={"layer": "ASM"})
    doc.saveas(os.path.join(OUT, "nested_assembly.dxf"))


if __name__ == "__main__":
    for make in (bracket, flange, plate_with_holes, chinese_title_block, gasket_r12, shaft_r2018,
                 nested_assembly):
        make()
    print("samples written to", OUT)
