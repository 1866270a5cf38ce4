#!/usr/bin/python3
# -*- coding: utf-8 -*-
"""Writes check.xls, the roster the check before paper is tested on.

Run:  /usr/bin/python3 tests/data/check/make_check_roster.py

Every flagged row carries at most one kind of trouble, so a test can say
where each problem belongs and that it shows nowhere else; rows 7 and 20 are
clean, row 8 is full of trouble but not flagged.  Opinion width 78, the
default document number.

 7  clean
 8  not flagged: long post, no name, no appointment month
 9  职务(岗位) of ten characters: the box holds eight
10  no name
11  no appointment month (column H): the run stops here
12  appointment month typed as 20097: read as 2009.7, the run stops here
13  an opinion template too long for four lines
14  a reason for the change that runs over the rule on its right
15  a post salary too wide for its box: the figure would print cut
16  a former unit and post too long for its box
17  an error value (#N/A) in the flag column: the run stops here
18  a name too long for its box
19  a name of blanks only
20  clean, flagged with the text " 1 "
21  an opinion template in capitals that runs past the frame on line 1
"""
import os

import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
NCOLS = 33
FLAG = 28

# Short texts everywhere, so that only the change of each row matters.
BASE = {
    2: "李明远", 3: "男", 4: 197603, 5: "199808", 6: "199808",
    7: "一中高级教师", 8: "200907",
    9: 814, 10: 7, 11: 590, 12: 15, 13: 165, 14: 59,
    17: 913, 18: 8, 19: 680, 20: 15, 21: 165, 22: 68,
    25: 99, 29: "大学本科", 30: "职务晋升", 31: "一中一级教师", 32: 200309,
}

LONG_TEMPLATE = ("经局务会研究，同意该同志由&zw1调任&zw2，" +
                 "岗位工资、薪级工资和津贴补贴按有关规定重新核定，" * 6 +
                 "月增资&zz元，从&ym起执行。")
CAPITALS_TEMPLATE = ("WORLD BANK LOAN PROJECT MANAGEMENT OFFICE: "
                     "同意该同志由&zw1调任&zw2，月增资&zz元，从&ym起执行。")

ROWS = [
    (7, {}, 1),
    (8, {7: "澜坪市第一中学中学高级教师兼教务主任", 2: None, 8: None}, 0),
    (9, {2: "王秀兰", 7: "第一中学中学高级教师"}, 1),
    (10, {2: None}, 1),
    (11, {2: "赵海", 8: None}, 1),
    (12, {2: "孙丽", 8: 20097}, 1),
    (13, {2: "周平", 33: LONG_TEMPLATE}, 1),
    (14, {2: "吴刚", 30: "因工作需要调整岗位及工资待遇"}, 1),
    (15, {2: "郑州", 11: 1234567.5}, 1),
    (16, {2: "冯雪", 31: "澜坪市第一中学中学一级教师兼教研组长"}, 1),
    (17, {2: "陈红"}, ("error", 0x2A)),
    (18, {2: "买买提·吐尔逊"}, 1),
    (19, {2: "   "}, 1),
    (20, {2: "韩梅"}, " 1 "),
    (21, {2: "杨帆", 33: CAPITALS_TEMPLATE}, 1),
]


def main():
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("调资花名册")
    ws.write(0, 0, "职务（岗位）变动人员工资调整花名册（检查用）")
    for c in range(1, NCOLS + 1):
        ws.write(5, c - 1, "列%d" % c)
    for row1, changes, flag in ROWS:
        values = dict(BASE)
        values.update(changes)
        r = row1 - 1
        for c, v in values.items():
            if v is not None and v != "":
                ws.write(r, c - 1, v)
        if isinstance(flag, tuple):
            ws.row(r).set_cell_error(FLAG - 1, flag[1])
        else:
            ws.write(r, FLAG - 1, flag)
    path = os.path.join(HERE, "check.xls")
    wb.save(path)
    print("make_check_roster: wrote", path)


if __name__ == "__main__":
    main()
