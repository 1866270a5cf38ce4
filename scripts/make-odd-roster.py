#!/usr/bin/python3
# -*- coding: utf-8 -*-
"""Writes a roster of texts at the edges of the form's byte rules, for
scripts/record-outputs: year-month texts whose point after the fourth byte
splits a two- or four-byte character, first four bytes that end inside a
character, opinions whose line cuts fall on four-byte characters, letters in
templates and in the replacements, GBK characters whose second byte is a
letter, blanks of every kind, numbers that are not numbers, a blank former
unit and post (the form shows the former grade instead).

Run:  /usr/bin/python3 scripts/make-odd-roster.py OUT.xls
"""
import os
import sys

import xlwt

# The worked example and the sheet's layout, as the print-run rosters have them.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "printrun"))
from make_rosters import BASE, FIRST, put_row, sheet  # noqa: E402

# Characters of GBK whose second byte is a small Latin letter.
LETTER_TRAIL = b"\x81\x61\x81\x7a\x8e\x6d".decode("gb18030")
TIGER = "\U00020BB7"  # four bytes in GB18030
PUA = "\ue000"

ROWS = [
    {},                                                     # the worked example
    {30: "a中文"},                                           # 5 bytes: the point splits 文
    {30: "x" + TIGER + "y"},                                 # 6 bytes: the point splits a four-byte character
    {30: "晋升岗"},                                          # 6 bytes: three characters, whole
    {30: "ab中c", 4: "中文字", 5: "1976年3", 6: "x中ab"},     # year-months of every length
    {8: "a中文09", 2: "王" + TIGER},                          # first four bytes end inside 文; bad month
    {8: TIGER + "2009"},                                     # first four bytes: the four-byte character
    {8: "2009年7月"},                                         # the month piece holds half of 年
    {8: "20097"},                                            # 2009.7: the month piece is ".7"
    {8: "209912"},                                           # the month after is in 2100
    {31: None, 10: "七级职员（管理岗位）兼任第一中学教务处副主任"},  # blank former post: the grade shows
    {31: "   ", 10: "专业技术十级"},                          # blanks only: the grade shows
    {31: "abc中学" + LETTER_TRAIL, 33: "同意&zw1调&ZW1为&zw2，&zw1；月增&zz元，从&ym起。"},
    {33: "经研究同意，" + (TIGER + "字") * 30 + "。"},            # line cuts on four-byte characters
    {33: "  " + ("一二三四五六七八九十" * 3) + "x" + TIGER * 12 + "end  "},
    {2: "　王\t伟 ", 7: "第一中学 - 中学高级教师 兼 教研组长 兼 年级组长 兼 班主任"},
    {2: "赵" + PUA, 13: "五百", 21: "590元", 11: "1,234.00", 19: "7x"},
    {7: "第一中学\r\n中学高级教师", 29: "大学\n本科"},
    {14: None, 22: "68"},                                   # a blank former 10 % pay
    {10: "八", 18: "七", 11: "680", 19: "590"},              # lowered, words as grades
]


def main(path):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = sheet(wb)
    for i, changes in enumerate(ROWS):
        values = dict(BASE)
        values.update(changes)
        put_row(ws, FIRST + i, values, 1)
    wb.save(path)


if __name__ == "__main__":
    main(sys.argv[1])
