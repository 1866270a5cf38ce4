#!/usr/bin/python3
# -*- coding: utf-8 -*-
"""Writes rare.xls, a roster whose names and posts hold rare characters
(生僻字) of every block a name may draw from.

Run:  /usr/bin/python3 tests/data/glyphs/make_rare_roster.py

Text cells go to the shared string table as Excel writes them: UTF-16,
a character beyond U+FFFF as two code units (its count included).  Opinion
width 78; every row flagged.

 7  李𠀀 (U+20000, Extension B, not in Noto CJK), in 姓名, 职务(岗位) and
    原单位及职务, and so in 现单位及职务 and the opinion
 8  刘䶮 (U+4DAE, Extension A)
 9  王𡈼 (U+2123C) and 张𠀾 (U+2003E) in the reason: Extension B in Noto CJK
10  陈𪚥 (U+2A6A5, Extension B), post at 𫠜村 (U+2B81C, Extension D)
11  黄𬌗 (U+2C317, Extension E), former post at 𮧵 (U+2E9F5, Extension F)
12  吴𪜀 (U+2A700, Extension C) in 黑体's place: 学历 (黑体) with 𠀀
13  周不 with 不 U+F967 (a compatibility ideograph drawn with the glyph of
    不 U+4E0D), post 不 (U+4E0D) in 不老村小学: both in one document
14  a post with a mixed run: 3号楼200a室管理员; 校长 (长 shares ⻓'s glyph)
15  丽 U+2F800 (compatibility supplement) and 﨎 U+FA0E in the name
16  林, U+E815 and U+E000, characters made with a private character editor
    (造字; GBK's user-defined area starts at U+E000): private use; no face
    has U+E815, it prints as an empty box; BabelStone Han keeps a glyph of
    its own at U+E000, which is not the office's character
"""
import os

import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
NCOLS = 33
FLAG = 28

BASE = {
    2: "李明远", 3: "男", 4: 197603, 5: "199808", 6: "199808",
    7: "一中高级教师", 8: "200907",
    9: 814, 10: 7, 11: 590, 12: 15, 13: 165, 14: 59,
    17: 913, 18: 8, 19: 680, 20: 15, 21: 165, 22: 68,
    25: 99, 29: "大学本科", 30: "职务晋升", 31: "一中一级教师", 32: 200309,
}

ROWS = [
    (7, {2: "李\U00020000", 7: "\U00020000村小学一级教师", 31: "\U00020000村小学二级教师"}),
    (8, {2: "刘\u4DAE"}),
    (9, {2: "王\U0002123C", 30: "张\U0002003E调入，职务晋升"}),
    (10, {2: "陈\U0002A6A5", 7: "\U0002B81C村小学教师"}),
    (11, {2: "黄\U0002C317", 31: "\U0002E9F5乡中学一级教师"}),
    (12, {2: "吴\U0002A700", 29: "大学本科\U00020000"}),
    (13, {2: "周\uF967", 7: "\u4E0D老村小学教师"}),
    (14, {2: "郑州", 7: "校长", 31: "3号楼200a室管理员"}),
    (15, {2: "\U0002F800\uFA0E"}),
    (16, {2: "林\uE815\uE000"}),
]


def main():
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("调资花名册")
    ws.write(0, 0, "职务（岗位）变动人员工资调整花名册（生僻字）")
    for c in range(1, NCOLS + 1):
        ws.write(5, c - 1, "列%d" % c)
    for row1, changes in ROWS:
        values = dict(BASE)
        values.update(changes)
        r = row1 - 1
        for c, v in values.items():
            ws.write(r, c - 1, v)
        ws.write(r, FLAG - 1, 1)
    path = os.path.join(HERE, "rare.xls")
    wb.save(path)
    print("make_rare_roster: wrote", path)


if __name__ == "__main__":
    main()
