#!/usr/bin/python3
# -*- coding: utf-8 -*-
"""Writes samples/roster.xls, the sample roster of post and pay changes.

Run:  /usr/bin/python3 samples/make_roster.py [OUT.xls]

The roster is laid out the way a personnel office keeps it: a title row
merged across the sheet, the basis and the reporting unit, two rows of
column headings, staff from row 7.  Every person and unit in it is made up.

The totals (columns I and Q) and the monthly change (column Y) are formulas.
xlwt leaves a formula's stored result empty and relies on the spreadsheet
program to recalculate on opening; a reader that takes the stored result
(as vdmq does, like any program that does not evaluate formulas) would then
see empty totals.  So the FORMULA records written here also carry the result,
computed by this script from the same figures, exactly as a spreadsheet
program stores it after a recalculation, and ask for a recalculation on open.
"""
import os
import struct
import sys

import xlwt
from xlwt import BIFFRecords, Cell, Formula

# ---------------------------------------------------------------------------
# Stored formula results: xlwt's FormulaCell writes 0xFFFF000000000003 (an
# empty text) as the result; write the real number instead.
_results = {}  # (row0, col0) -> float


def _formula_biff(self):
    value = _results.get((self.rowx, self.colx))
    if value is None:
        raise RuntimeError("formula at row %d col %d has no result" % (self.rowx + 1, self.colx + 1))
    rpn = self.frmla.rpn()
    rec = BIFFRecords.FormulaRecord(self.rowx, self.colx, self.xf_idx, rpn, 0)
    # Result of the formula (an IEEE double), option flags: calculate on open.
    rec._rec_data = struct.pack('<3HdHL', self.rowx, self.colx, self.xf_idx, float(value), 0x0002, 0) + rpn
    return rec.get()


Cell.FormulaCell.get_biff_data = _formula_biff

# ---------------------------------------------------------------------------
# Pay scales.  Post grades are numbered upwards (a higher number is the
# higher post), as the opinion text compares them.
POST_SALARY = {4: 480, 5: 510, 6: 550, 7: 590, 8: 680, 9: 730, 10: 780, 11: 930, 12: 1040, 13: 1180}
GRADE_SALARY = {1: 80, 2: 91, 3: 102, 4: 113, 5: 125, 6: 137, 7: 151, 8: 165, 9: 181, 10: 197,
                11: 215, 12: 233, 13: 253, 14: 273, 15: 295, 16: 317, 17: 341, 18: 365, 19: 391,
                20: 417, 21: 443, 22: 471, 23: 499, 24: 527, 25: 555, 26: 583, 27: 613}

TEMPLATE = ("经局务会研究，同意该同志由&zw1调任&zw2，岗位工资由&gw1元调整为&gw2元，"
            "薪级工资不变，月增资&zz元，从&ym起执行。")

# name, sex, born, started work, service from, present unit and post, appointed,
# former post grade, present post grade, former salary grade, present salary grade,
# flag, education, reason, former unit and post, former post appointed, template
# Year-months are given as the office types them: a number, or text ("t" prefix).
STAFF = [
    ("李明远", "男", 197603, "t199808", "t199808", "一中中学高级教师", 200907, 7, 8, 15, 15, 1, "大学本科", "职务晋升", "一中中学一级教师", 200309, ""),
    ("王秀兰", "女", 198011, "t200207", "t200207", "一中中学一级教师", 200907, 6, 7, 10, 10, "", "大学本科", "职务晋升", "一中中学二级教师", 200409, ""),
    ("张卫东", "男", 196805, "t198707", "t198707", "第二中学副校长", 200909, 9, 10, 18, 20, 1, "研究生", "职务晋升", "二中教务处主任", 200502, ""),
    ("刘芳", "女", 197209, "t199307", "t199307", "三小教务处副主任", 200908, 9, 8, 16, 16, "t1", "大学本科", "岗位调整", "三小教务处主任", 200609, ""),
    ("陈志刚", "男", 197901, "t200107", "t200107", "二中中学一级教师", 200907, 6, 7, 11, 11, "", "大学本科", "职务晋升", "二中中学二级教师", 200509, ""),
    ("杨丽华", "女", 197507, "t199608", "t199608", "教育局教研室主任", 200910, 8, 9, 14, 14, 1, "研究生", "竞聘上岗", "一中中学高级教师", 200412, TEMPLATE),
    ("赵国强", "男", 196612, "t198608", "t198508", "四中中学高级教师", 200907, 7, 8, 21, 21, 0, "大学专科", "职务晋升", "四中中学一级教师", 199909, ""),
    ("黄晓燕", "女", 198304, "t200507", "t200507", "实小小学高级教师", 200907, 5, 6, 8, 8, "", "大学本科", "职务晋升", "实小小学一级教师", 200609, ""),
    ("周建军", "男", 197110, "t199207", "t199207", "职中高级讲师", 200909, 7, 8, 17, 17, "t1 ", "大学本科", "职务晋升", "职中讲师", 200310, ""),
    ("吴海燕", "女", 197806, "t200007", "t200007", "三小小学高级教师", 200908, 5, 6, 12, 12, "", "大学专科", "职务晋升", "三小小学一级教师", 200309, ""),
    ("徐文斌", "男", 198109, "t200407", "t200407", "一中中学一级教师", 200907, 6, 7, 9, 9, "", "研究生", "职务晋升", "一中中学二级教师", 200609, ""),
    ("孙玉梅", "女", 196903, "t198909", "t198909", "实验小学副校长", 200909, 8, 9, 19, 19, "", "大学本科", "职务晋升", "实小教导处主任", 200403, ""),
    ("马俊杰", "男", 198207, "t200507", "t200507", "二中中学二级教师", 200907, 4, 5, 7, 7, 1, "大学本科", "转正定级", "第二中学见习教师", 200507, ""),
    ("朱红霞", "女", 197412, "t199507", "t199507", "四中中学高级教师", 200910, 7, 8, 16, 16, "", "大学本科", "职务晋升", "四中中学一级教师", 200211, ""),
    ("胡德明", "男", 196708, "t198808", "t198808", "教育局办公室主任", 200908, 9, 10, 20, 20, "", "大学本科", "职务晋升", "局办公室副主任", 200106, ""),
    ("郭晓琳", "女", 198502, "t200707", "t200707", "三小小学一级教师", 200907, 4, 5, 5, 5, "", "大学专科", "职务晋升", "三小小学二级教师", 200809, ""),
    ("何志勇", "男", 197304, "t199407", "t199407", "职业中学讲师", 200909, 6, 7, 14, 15, 1, "大学本科", "职务晋升", "职业中学助理讲师", 200109, ""),
    ("林静", "女", 197911, "t200107", "t200107", "一中中学一级教师", 200907, 6, 7, 11, 11, "", "大学本科", "职务晋升", "一中中学二级教师", 200409, ""),
    ("罗春生", "男", 196510, "t198507", "t198507", "二中中学高级教师", 200907, 7, 8, 22, 22, "", "大学专科", "职务晋升", "二中中学一级教师", 199709, ""),
    ("高雅琴", "女", 198108, "t200307", "t200307", "实小小学高级教师", 200908, 5, 6, 9, 9, "", "大学本科", "职务晋升", "实小小学一级教师", 200509, ""),
]

FIRST_DATA_ROW = 7  # 1-based
NCOLS = 33

# Column headings: (first column, last column, heading) for row 5; the
# columns under a group get their own heading in row 6; single columns span
# rows 5 and 6.
SINGLE = {1: "序号", 2: "姓名", 3: "性别", 4: "出生年月", 5: "参加工作时间", 6: "连续工龄推算时间",
          7: "现单位及职务（岗位）", 8: "现职任职时间", 25: "月增资", 26: "年度考核",
          27: "备注", 28: "打印标志", 29: "学历", 30: "变动原因", 31: "原单位及职务（岗位）",
          32: "原职任职时间", 33: "审批意见（可用模板）"}
GROUPS = [(9, 16, "原工资情况"), (17, 24, "现工资情况")]
SUB = ["合计", "岗位等级", "岗位工资", "薪级", "薪级工资", "10%工资(或补贴)", "见习期工资", "执行时间"]


def col_letter(c):
    s = ""
    while c:
        c, r = divmod(c - 1, 26)
        s = chr(65 + r) + s
    return s


def next_month(ym):
    y, m = divmod(ym, 100)
    return (y + 1) * 100 + 1 if m == 12 else ym + 1


def style(bold=False, size=11, halign="center", border=True, wrap=True, num=None):
    st = xlwt.XFStyle()
    f = xlwt.Font()
    f.name = "宋体"
    f.bold = bold
    f.height = size * 20
    f.charset = xlwt.Font.CHARSET_SYS_DEFAULT
    st.font = f
    a = xlwt.Alignment()
    a.horz = {"center": xlwt.Alignment.HORZ_CENTER, "left": xlwt.Alignment.HORZ_LEFT,
              "right": xlwt.Alignment.HORZ_RIGHT}[halign]
    a.vert = xlwt.Alignment.VERT_CENTER
    a.wrap = 1 if wrap else 0
    st.alignment = a
    if border:
        b = xlwt.Borders()
        b.left = b.right = b.top = b.bottom = xlwt.Borders.THIN
        st.borders = b
    if num:
        st.num_format_str = num
    return st


def ym_value(v):
    """A year-month as the office typed it: number, or text for "t..."."""
    if isinstance(v, str) and v.startswith("t"):
        return v[1:]
    return v


def build(path):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("调资花名册")
    title = style(bold=True, size=18, border=False, wrap=False)
    plain_l = style(border=False, halign="left", wrap=False)
    plain_r = style(border=False, halign="right", wrap=False)
    head = style(bold=True, size=10)
    cell = style(size=10)
    cell_l = style(size=10, halign="left")
    num = style(size=10, num="0")

    ws.write_merge(0, 0, 0, NCOLS - 1, "澜坪市教育系统2009年度职务（岗位）变动人员工资调整花名册", title)
    ws.write_merge(1, 1, 0, NCOLS - 1, "依据：澜人发(2007)71号", style(border=False, wrap=False))
    ws.write_merge(2, 2, 0, 15, "填报单位（盖章）：澜坪市教育局人事股", plain_l)
    ws.write_merge(2, 2, 16, NCOLS - 1, "填报日期：2009年8月20日", plain_r)
    ws.write_merge(3, 3, 16, NCOLS - 1, "金额单位：元", plain_r)
    for c, text in SINGLE.items():
        ws.write_merge(4, 5, c - 1, c - 1, text, head)
    for first, last, text in GROUPS:
        ws.write_merge(4, 4, first - 1, last - 1, text, head)
        for i, sub in enumerate(SUB):
            ws.write(5, first - 1 + i, sub, head)

    ws.row(0).height_mismatch = True
    ws.row(0).height = 600
    for r in (4, 5):
        ws.row(r).height_mismatch = True
        ws.row(r).height = 560
    widths = {1: 5, 2: 8, 3: 5, 4: 9, 5: 9, 6: 9, 7: 24, 8: 9, 25: 7, 26: 7, 27: 7, 28: 6,
              29: 9, 30: 10, 31: 24, 32: 9, 33: 60}
    for c in range(1, NCOLS + 1):
        ws.col(c - 1).width = 256 * widths.get(c, 8)

    sums = {c: 0 for c in (9, 11, 13, 17, 19, 21, 25)}
    for i, p in enumerate(STAFF):
        (name, sex, born, started, service, post2, appointed, g1, g2, x1, x2, flag,
         edu, reason, post1, appointed1, template) = p
        r = FIRST_DATA_ROW - 1 + i  # 0-based
        row1 = r + 1
        k, s = POST_SALARY[g1], POST_SALARY[g2]
        m, u = GRADE_SALARY[x1], GRADE_SALARY[x2]
        n, v = round(k / 10), round(s / 10)
        total1 = k + m + n
        total2 = s + u + v
        values = {
            1: i + 1, 2: name, 3: sex, 4: ym_value(born), 5: ym_value(started), 6: ym_value(service),
            7: post2, 8: ym_value(appointed),
            10: g1, 11: k, 12: x1, 13: m, 14: n, 15: "", 16: next_month(appointed1),
            18: g2, 19: s, 20: x2, 21: u, 22: v, 23: "", 24: str(next_month(appointed)),
            26: "合格", 27: "", 28: ym_value(flag) if isinstance(flag, str) else flag,
            29: edu, 30: reason, 31: post1, 32: appointed1, 33: template,
        }
        formulas = {
            9: ("%s%d+%s%d+%s%d" % ("K", row1, "M", row1, "N", row1), total1),
            17: ("%s%d+%s%d+%s%d" % ("S", row1, "U", row1, "V", row1), total2),
            25: ("Q%d-I%d" % (row1, row1), total2 - total1),
        }
        for c, val in ((9, total1), (11, k), (13, m), (17, total2), (19, s), (21, u), (25, total2 - total1)):
            sums[c] += val
        for c in range(1, NCOLS + 1):
            if c in formulas:
                text, result = formulas[c]
                _results[(r, c - 1)] = result
                ws.write(r, c - 1, Formula(text), num)
                continue
            val = values.get(c, "")
            st = cell_l if c in (7, 31, 33) else (num if isinstance(val, (int, float)) else cell)
            if val == "":
                ws.write(r, c - 1, None, st)
            else:
                ws.write(r, c - 1, val, st)

    # Sums at the foot, as offices add them; the print run never flags them.
    foot = FIRST_DATA_ROW + len(STAFF) - 1  # 0-based row of the sum line
    ws.write_merge(foot, foot, 0, 7, "合    计", head)
    for c in (9, 11, 13, 17, 19, 21, 25):
        letter = col_letter(c)
        _results[(foot, c - 1)] = sums[c]
        ws.write(foot, c - 1, Formula("SUM(%s%d:%s%d)" % (letter, FIRST_DATA_ROW, letter, foot)), num)
    ws.write_merge(foot + 2, foot + 2, 0, 15, "审核人：                 制表人：", plain_l)

    ws.set_panes_frozen(True)
    ws.set_horz_split_pos(6)
    ws.set_vert_split_pos(3)
    wb.save(path)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "roster.xls")
    build(out)
    print("make_roster: wrote", out)
