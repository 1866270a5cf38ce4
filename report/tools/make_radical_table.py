#!/usr/bin/python3
"""Writes report/core/radicals.inc: the CJK radicals (U+2E80..U+2FDF) that
the form's faces draw with the glyph of an ideograph, and that ideograph.

Qt's PDF writer maps each glyph back to the lowest code point the font
shows it for.  Noto Serif/Sans CJK SC draw 长 and ⻓, 马 and ⻢, 户 and ⼾ ...
with one glyph, so without mending the PDF's text says ⻓ where the form
says 长.  The table is read from the faces themselves rather than from
Unicode's decompositions: those send ⼾ to 戶 where the SC faces mean 户,
and the supplement's radicals (⻓) have none.

    report/tools/make_radical_table.py

Needs python3-fonttools and fonts-noto-cjk; run again when the faces
change.  The build does not need it.
"""
import collections
import glob
import os
import subprocess
import sys

from fontTools.ttLib import TTCollection

FACES = "/usr/share/fonts/opentype/noto/Noto*CJK-*.ttc"
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "core", "radicals.inc")


def ideograph(cp):
    # A map entry is rewritten in place, four hex digits for four: BMP only.
    return 0x3400 <= cp <= 0x4DBF or 0x4E00 <= cp <= 0x9FFF


table = collections.defaultdict(set)
faces = []
for path in sorted(glob.glob(FACES)):
    if not ("Regular" in path or path.endswith("-Bold.ttc")):
        continue  # the form uses regular and bold
    for font in TTCollection(path, lazy=True).fonts:
        family = font["name"].getDebugName(1)
        if family not in ("Noto Serif CJK SC", "Noto Sans CJK SC"):
            continue
        faces.append("%s %s" % (family, font["name"].getDebugName(2)))
        shown = collections.defaultdict(list)
        for cp, glyph in font.getBestCmap().items():
            shown[glyph].append(cp)
        for cps in shown.values():
            lowest = min(cps)
            if 0x2E80 <= lowest <= 0x2FDF:
                ideographs = [cp for cp in cps if ideograph(cp)]
                if len(ideographs) == 1:
                    table[lowest].add(ideographs[0])

if not faces:
    sys.exit("make_radical_table: no Noto CJK SC face in " + FACES)
clash = {cp: ids for cp, ids in table.items() if len(ids) > 1}
if clash:
    sys.exit("make_radical_table: the faces disagree on %s" % ", ".join("U+%04X" % cp for cp in clash))
version = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "fonts-noto-cjk"],
                         capture_output=True, text=True).stdout or "unknown"
with open(OUT, "w", encoding="utf-8") as out:
    out.write("// Made by report/tools/make_radical_table.py from fonts-noto-cjk %s\n" % version)
    out.write("// (%s); do not edit.\n" % ", ".join(faces))
    out.write("// {radical, the ideograph whose glyph it shares}, by radical.\n")
    for cp in sorted(table):
        ideo = next(iter(table[cp]))
        out.write("{0x%04X, 0x%04X},  // %s %s\n" % (cp, ideo, chr(cp), chr(ideo)))
print("make_radical_table: %d radicals from %d faces" % (len(table), len(faces)))
