#!/usr/bin/python3
# -*- coding: utf-8 -*-
"""Checks that the sample roster reads back, through vdmq-print --fields, as
the figures make_roster.py meant to write: the flagged rows and no others,
the formula totals (stored results, not empty), year-months typed as
numbers and as text, and the two kinds of opinion.

Run:  /usr/bin/python3 samples/check_sample.py VDMQ_PRINT [ROSTER]
"""
import json
import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import make_roster as mr  # noqa: E402

DOC_NO = "澜人发(2007)71号"


def expected_rows():
    """Row number -> the captions the generator's figures should give."""
    rows = {}
    for i, p in enumerate(mr.STAFF):
        (name, sex, born, started, service, post2, appointed, g1, g2, x1, x2, flag,
         edu, reason, post1, appointed1, template) = p
        if str(flag).lstrip("t").strip() != "1":
            continue
        k, s = mr.POST_SALARY[g1], mr.POST_SALARY[g2]
        m, u = mr.GRADE_SALARY[x1], mr.GRADE_SALARY[x2]
        n, v = round(k / 10), round(s / 10)

        def ym(x):
            t = str(mr.ym_value(x))
            return t[:4] + "." + t[4:]
        rows[mr.FIRST_DATA_ROW + i] = {
            "l_xm": name, "l_xb": sex, "l_whcd": edu, "lb_bdyy": reason,
            "l_csny": ym(born), "l_gzny": ym(started), "l_tsny": ym(service),
            "zw0": post2, "zw2": post2, "zw1": post1,
            "l_ny2": ym(appointed), "lb_ndkh": str(mr.ym_value(appointed))[:4], "l_ny1": ym(appointed1),
            "l_gw1": str(g1), "m_gw1": str(k), "l_xj1": str(x1), "m_xj1": str(m), "l_bt1": str(n),
            "l_gw2": str(g2), "m_gw2": str(s), "l_xj2": str(x2), "m_xj2": str(u), "l_bt2": str(v),
            "l_ph1": str(k + m + n), "l_ph2": str(s + u + v), "l_tmp1": "",
        }
    return rows


# Whole opinions, as the four opinion lines put together again.
OPINIONS = {
    # The fixed phrases with equal grade salaries.
    7: "根据澜人发(2007)71号文件规定，该同志职务由一中中学一级教师晋升为一中中学高级教师，"
       "拟同意其岗位工资由7 590 元晋升到8 680 元，薪级工资不变，（提高工资10%部分由 59 元增加到 68 元），"
       "月增资 99 元，从 2009 年 08 月起执行。",
    # A lower post: the lowering words, and a pay cut.
    10: "根据澜人发(2007)71号文件规定，该同志职务由三小教务处主任低任为三小教务处副主任，"
        "拟同意其岗位工资由9 730 元降低为8 680 元，薪级工资不变，（提高工资10%部分由 73 元降低为 68 元），"
        "月减资 -55 元，从 2009 年 09 月起执行。",
    # The grade salary set anew.
    9: "根据澜人发(2007)71号文件规定，该同志职务由二中教务处主任晋升为第二中学副校长，"
       "拟同意其岗位工资由9 730 元晋升到10 780 元，薪级工资重新确定为 417 元，（提高工资10%部分由 73 元增加到 78 元），"
       "月增资 107 元，从 2009 年 10 月起执行。",
    # The template of the sample.
    12: "经局务会研究，同意该同志由一中中学高级教师调任教育局教研室主任，岗位工资由680元调整为730元，"
        "薪级工资不变，月增资55元，从2009 年 11 月起执行。",
}


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    tool = sys.argv[1]
    roster = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "roster.xls")
    out = subprocess.run([tool, roster, "--start", "7", "--end", "40", "--doc-no", DOC_NO,
                          "--width", "78", "--date", "2009-08-20", "--fields"],
                         capture_output=True, text=True)
    failures = []
    if out.returncode != 0:
        failures.append("exit status %d: %s" % (out.returncode, out.stderr.strip()))
    got = {}
    for line in out.stdout.splitlines():
        if line.strip():
            rec = json.loads(line)
            got[rec["row"]] = rec["captions"]
    want = expected_rows()
    if sorted(got) != sorted(want):
        failures.append("rows %s, expected %s" % (sorted(got), sorted(want)))
    for row, fields in sorted(want.items()):
        caps = got.get(row, {})
        for label, value in fields.items():
            if caps.get(label) != value:
                failures.append("row %d %s: %r, expected %r" % (row, label, caps.get(label), value))
    for row, text in sorted(OPINIONS.items()):
        caps = got.get(row, {})
        joined = "".join(caps.get(y, "") for y in ("y1", "y2", "y3", "y4"))
        if joined != text:
            failures.append("row %d opinion:\n  %s\nexpected\n  %s" % (row, joined, text))
        if caps.get("Lb_year") != "2009 年 8 月 20 日":
            failures.append("row %d Lb_year: %r" % (row, caps.get("Lb_year")))
    for f in failures:
        print("check_sample: " + f)
    print("check_sample: %d rows, %s" % (len(got), "ok" if not failures else "%d failures" % len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
