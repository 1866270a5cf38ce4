#!/usr/bin/python3
# -*- coding: utf-8 -*-
"""Writes the rosters the print run and vdmq-print tests read.

Run:  /usr/bin/python3 tests/data/printrun/make_rosters.py          (all fixtures here)
      /usr/bin/python3 tests/data/printrun/make_rosters.py --bench OUT.xls ROWS
                                         (ROWS data rows from row 7, every other one flagged)
      /usr/bin/python3 tests/data/printrun/make_rosters.py --bench-varied OUT.xls ROWS
                                         (the same, each person with a name, posts, dates
                                          and figures of their own, as in an office's roster)

flags.xls   the flag column in its many spellings (selected rows 7, 11, 13, 15)
errors.xls  rows that fail: an unreadable appointment month, an error cell in
            the flag column and in a data column, between good rows
three.xls   rows 7, 9 and 11 flagged, 8 and 10 not; long, short and usual opinions
awkward.xls texts JSON must escape: quotes, backslashes, control characters,
            characters beyond the BMP, private-use characters (rows 7-9)
not_a_roster.xls  plain text with a workbook's name
many.xls    600 data rows from row 7, every other one flagged (300 forms): a
            run long enough to be killed or to fill a disk half-way
"""
import os
import sys

import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
FIRST = 7      # first data row, 1-based
NCOLS = 33
FLAG = 28

# A person whose opinion is the worked example of the fixed phrases: grade 7
# -> 8, post salary 590 -> 680, grade salary unchanged, 10 % pay 59 -> 68,
# 99 a month more, appointed July 2009.
BASE = {
    2: "李明远", 3: "男", 4: 197603, 5: "199808", 6: "199808",
    7: "第一中学中学高级教师", 8: "200907",
    9: 814, 10: 7, 11: 590, 12: 15, 13: 165, 14: 59,
    17: 913, 18: 8, 19: 680, 20: 15, 21: 165, 22: 68,
    25: 99, 29: "大学本科", 30: "职务晋升", 31: "第一中学中学一级教师", 32: 200309,
}


def person(**changes):
    p = dict(BASE)
    for k, v in changes.items():
        p[int(k[1:])] = v
    return p


def sheet(wb):
    ws = wb.add_sheet("调资花名册")
    ws.write(0, 0, "职务（岗位）变动人员工资调整花名册（测试）")
    for c in range(1, NCOLS + 1):
        ws.write(5, c - 1, "列%d" % c)
    return ws


def put_row(ws, row1, values, flag):
    """values: column -> value; flag: a value, None for empty, or ('error', code)."""
    r = row1 - 1
    for c, v in values.items():
        if isinstance(v, tuple) and v[0] == "error":
            ws.row(r).set_cell_error(c - 1, v[1])
        elif v is not None and v != "":
            ws.write(r, c - 1, v)
    if isinstance(flag, tuple):
        ws.row(r).set_cell_error(FLAG - 1, flag[1])
    elif flag is not None:
        ws.write(r, FLAG - 1, flag)


def flags(path):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = sheet(wb)
    rows = [
        (7, person(), " 1 "),                                   # selected
        (8, person(c2="不选零一"), "01"),
        (9, person(c2="不选一点零"), "1.0"),
        (10, person(c2="不选二"), 2),
        (11, person(c2="𠮷祥", c31="吉安县𠮷村小学教师"), 1),  # selected; a four-byte character
        (12, person(c2="不选空"), None),
        (13, person(c2="王秀兰"), "1\t"),                       # selected: a tab is trimmed
        (14, person(c2="不选字母"), "l"),
        (15, person(c2="张卫东", c8=200912), 1.0),              # selected: the number 1
    ]
    for row1, values, flag in rows:
        put_row(ws, row1, values, flag)
    wb.save(path)


def errors(path):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = sheet(wb)
    rows = [
        (7, person(c2="甲"), 1),
        (8, person(c2="乙", c8=None), 1),        # no appointment month: conversion error
        (9, person(c2="丙"), ("error", 0x07)),   # #DIV/0! in the flag column
        (10, person(c2="丁"), 1),
        (11, person(c2=("error", 0x2A)), 1),     # #N/A as the name
        (12, person(c2="戊"), 1),
    ]
    for row1, values, flag in rows:
        put_row(ws, row1, values, flag)
    wb.save(path)


# Printed forms are only pictures once a queue has turned them into PDF, so
# the three forms differ in how much they print: a four-line opinion, a
# one-word opinion and the usual three lines.
LONG = "经研究，" + "同意该同志由&zw1调任&zw2，岗位工资由&gw1元调整为&gw2元；" * 4 + "从&ym起执行。"


def three(path):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = sheet(wb)
    rows = {7: ("甲一", LONG, 1), 8: ("不选", "", 0), 9: ("乙二", "同意。", 1), 10: ("不选", "", 0),
            11: ("丙三", "", 1)}
    for row1, (name, template, flag) in rows.items():
        put_row(ws, row1, person(c2=name, c33=template), flag)
    wb.save(path)


# What a JSON writer must escape or pass through whole, as offices' cells
# hold them: pasted quotes and paths, control characters from other
# programs, a rare name beyond the BMP, a self-made character.
AWKWARD = [
    (7, person(c2='引"号\\', c7='第一中学"高级"教师\\路径/分隔', c30="原因\b退格\f换页\x01\x1f")),
    (8, person(c2="𠮷😀", c7="\ue000私用区", c31="制表\t符\r回车\n换行")),
    (9, person(c2="\x7f删除", c30="\u00e9\u20ac\u3000说明")),
]


def awkward(path):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = sheet(wb)
    for row1, values in AWKWARD:
        put_row(ws, row1, values, 1)
    wb.save(path)


def bench(path, count):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = sheet(wb)
    for i in range(count):
        p = person(c2="职工%04d" % (i + 1), c8="2009%02d" % (i % 12 + 1))
        put_row(ws, FIRST + i, p, 1 if i % 2 == 0 else None)
        if i % 1000 == 999:
            ws.flush_row_data()
    wb.save(path)


# An office's roster: every name different, posts from a dozen units, dates
# and pay figures that vary.  Texts that differ from form to form are what
# a print run measures and draws anew; the same seed gives the same file.
SURNAMES = ("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程"
            "苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵")
UNITS = ("第一中学", "第二中学", "实验小学", "职业中学", "教育局", "卫生院", "人民医院", "农业局", "林业站",
         "文化馆", "水利局", "财政局")
POSTS = ("中学高级教师", "中学一级教师", "小学高级教师", "主治医师", "副主任医师", "办公室主任", "科员",
         "助理讲师", "讲师", "会计师", "工程师", "馆员")


def given_name(rnd):
    """One or two characters of GB2312's first level, as given names use."""
    name = ""
    for _ in range(rnd.choice((1, 2, 2))):
        while True:
            try:
                name += bytes((rnd.randint(0xB0, 0xD7), rnd.randint(0xA1, 0xFE))).decode("gb2312")
                break
            except UnicodeDecodeError:
                pass
    return name


def bench_varied(path, count):
    import random
    rnd = random.Random(26)
    wb = xlwt.Workbook(encoding="utf-8")
    ws = sheet(wb)
    for i in range(count):
        grade, scale = rnd.randint(4, 12), rnd.randint(1, 25)
        p = person(c2=rnd.choice(SURNAMES) + given_name(rnd), c3=rnd.choice("男女"),
                   c4=rnd.randint(1960, 1988) * 100 + rnd.randint(1, 12),
                   c5="%d%02d" % (rnd.randint(1980, 2008), rnd.randint(1, 12)),
                   c6="%d%02d" % (rnd.randint(1980, 2008), rnd.randint(1, 12)),
                   c7=rnd.choice(UNITS) + rnd.choice(POSTS), c8="2009%02d" % (i % 12 + 1),
                   c10=grade, c11=rnd.randint(400, 1200), c18=grade + 1, c19=rnd.randint(400, 1300),
                   c12=scale, c13=rnd.randint(80, 600), c20=scale, c21=rnd.randint(80, 600),
                   c14=rnd.randint(40, 120), c22=rnd.randint(40, 130), c25=rnd.randint(10, 300),
                   c31=rnd.choice(UNITS) + rnd.choice(POSTS),
                   c32=rnd.randint(1995, 2008) * 100 + rnd.randint(1, 12),
                   c29=rnd.choice(("大学本科", "研究生", "大学专科", "中专")),
                   c30=rnd.choice(("职务晋升", "岗位调整", "竞聘上岗", "转正定级")))
        put_row(ws, FIRST + i, p, 1 if i % 2 == 0 else None)
        if i % 1000 == 999:
            ws.flush_row_data()
    wb.save(path)


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "--bench":
        bench(sys.argv[2], int(sys.argv[3]))
        sys.exit(0)
    if len(sys.argv) >= 2 and sys.argv[1] == "--bench-varied":
        bench_varied(sys.argv[2], int(sys.argv[3]))
        sys.exit(0)
    flags(os.path.join(HERE, "flags.xls"))
    errors(os.path.join(HERE, "errors.xls"))
    three(os.path.join(HERE, "three.xls"))
    awkward(os.path.join(HERE, "awkward.xls"))
    bench(os.path.join(HERE, "many.xls"), 600)
    with open(os.path.join(HERE, "not_a_roster.xls"), "w") as f:
        f.write("This is a text file, not a workbook.\n")
    print("make_rosters: wrote the fixtures in", HERE)
