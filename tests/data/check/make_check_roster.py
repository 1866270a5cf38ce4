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

Rows 22 to 46 are the cases of the year-months, the numbers and the blanks,
as an office types them (text or number cells, a date cell):

22  appointment month typed as the text 2009-7: prints 2009.-7, and the
    opinion's month of effect prints empty ("从  年  月起执行")
23  appointment month 200913 (a number): prints 2009.13, opinion as above
24  birth month typed as 1975.1: prints 1975..1
25  a reason for the change of three characters (six bytes): 晋升.岗
26  former appointment month 200300: prints 2003.00
27  start of work as a date cell (1998-08-01): prints 1998/8/1, clean
28  present post grade 待定: the opinion says 低任 and 降低为
29  present post salary 待定: the opinion says 降低为 and 月减资
30  monthly change 待定: the opinion says 月增资 待定 元
31  grade salaries 930.5 and 940.5: both compare as 0, the opinion says 不变
32  former total 见附表: the box shows it
33  a template that takes the present post grade, which is 待定
34  a template with the month of effect, and an appointment month 200913
35  a name of three full-width spaces (U+3000): prints nothing
36  a name followed by a tab: clean
37  a four-character name followed by three spaces: clean
38  a post that fills its box, followed by three spaces: clean
39  a post that fills its box, followed by a tab: the box is clean, but the
    tab moves the rest of the opinion's second line past the frame
40  appointment month typed as 2009年7月: the run stops; the message names
    the cell and quotes the piece in whole characters ('年7')
41  a reason for the change followed by thirty spaces: the white ground of
    the blanks covers the rule on its right (and the start of the next box)
42  an error value (#DIV/0!) in the birth month: the run stops at that cell
43  a template whose monthly change is 待定 but that does not print it: clean
44  an opinion template with the placeholders in capitals: clean
45  a reason of three characters and a letter (seven bytes): clean
46  clean
"""
import datetime
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

GRADE_TEMPLATE = "经研究，同意该同志岗位等级由&gwdj1级调整为&gwdj2级，月增资&zz元，从&ym起执行。"
MONTH_TEMPLATE = "经研究，同意该同志由&zw1调任&zw2，从&ym起执行。"
DATE_STYLE = xlwt.easyxf(num_format_str="yyyy-mm-dd")

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
    (22, {2: "钱进", 8: "2009-7"}, 1),
    (23, {2: "褚明", 8: 200913}, 1),
    (24, {2: "卫东", 4: "1975.1"}, 1),
    (25, {2: "蒋勤", 30: "晋升岗"}, 1),
    (26, {2: "沈静", 32: 200300}, 1),
    (27, {2: "韩冰", 5: ("date", datetime.date(1998, 8, 1))}, 1),
    (28, {2: "杨柳", 18: "待定"}, 1),
    (29, {2: "朱红", 19: "待定"}, 1),
    (30, {2: "秦岭", 25: "待定"}, 1),
    (31, {2: "尤佳", 13: 930.5, 21: 940.5}, 1),
    (32, {2: "许诺", 9: "见附表"}, 1),
    (33, {2: "何平", 18: "待定", 33: GRADE_TEMPLATE}, 1),
    (34, {2: "吕方", 8: 200913, 33: MONTH_TEMPLATE}, 1),
    (35, {2: "\u3000\u3000\u3000"}, 1),
    (36, {2: "施展\t"}, 1),
    (37, {2: "欧阳秀兰   "}, 1),
    (38, {2: "张弛", 7: "第一中学高级教师   "}, 1),
    (39, {2: "孔亮", 7: "第一中学高级教师\t"}, 1),
    (40, {2: "曹操", 8: "2009年7月"}, 1),
    (41, {2: "严肃", 30: "职务晋升" + " " * 30}, 1),
    (42, {2: "华山", 4: ("error", 0x07)}, 1),
    (43, {2: "金鑫", 25: "待定", 33: MONTH_TEMPLATE}, 1),
    (44, {2: "魏巍", 33: "同意该同志由&ZW1调任&ZW2，月增资&ZZ元，从&YM起执行。"}, 1),
    (45, {2: "陶然", 30: "晋升岗A"}, 1),
    (46, {2: "姜山"}, 1),
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
            if isinstance(v, tuple) and v[0] == "date":
                ws.write(r, c - 1, v[1], DATE_STYLE)
            elif isinstance(v, tuple) and v[0] == "error":
                ws.row(r).set_cell_error(c - 1, v[1])
            elif v is not None and v != "":
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
