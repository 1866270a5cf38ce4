#!/usr/bin/python3
"""Writes the roster reader's test workbooks and, beside each, the values
that an independent reader (xlrd for .xls, openpyxl for .xlsx) finds in
it, as <name>.json.

    /usr/bin/python3 tests/data/roster/make_fixtures.py          # xlwt/openpyxl files
    /usr/bin/python3 tests/data/roster/make_fixtures.py --office # also formula and
                                                                 # Excel 95 files (needs soffice)

The generated files are committed; CI only reads them.  The --office files
need a spreadsheet program to compute formula results; they were made once
and are only rewritten when asked.
"""
import datetime
import io
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

import openpyxl
import xlrd
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))


def path(name):
    return os.path.join(HERE, name)


# ---- expected values --------------------------------------------------------

def number_text(v):
    if v == 0:
        return "0"
    s = "%.15g" % v
    return s.replace("e", "E")


def date_text(y, mo, d, h, mi, s, time_only=False):
    t = "%d:%02d:%02d" % (h, mi, s)
    if time_only:
        return t
    out = "%d/%d/%d" % (y, mo, d)
    if (h, mi, s) != (0, 0, 0):
        out += " " + t
    return out


def dump_xls(name):
    book = xlrd.open_workbook(path(name), formatting_info=True)
    sh = book.sheet_by_index(0)
    cells = []
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            t, v = cell.ctype, cell.value
            if t in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            if t == xlrd.XL_CELL_TEXT:
                cells.append([r + 1, c + 1, "s", v, v])
            elif t == xlrd.XL_CELL_NUMBER:
                cells.append([r + 1, c + 1, "n", v, number_text(v)])
            elif t == xlrd.XL_CELL_DATE:
                if book.datemode == 1:
                    dt = xlrd.xldate.xldate_as_datetime(v, 1)
                    tup = (dt.year, dt.month, dt.day, dt.hour, dt.minute, dt.second)
                else:
                    tup = xlrd.xldate_as_tuple(v, book.datemode)
                time_only = tup[0] == 0 and book.datemode == 0
                cells.append([r + 1, c + 1, "d", v, date_text(*tup, time_only=time_only)])
            elif t == xlrd.XL_CELL_BOOLEAN:
                cells.append([r + 1, c + 1, "b", bool(v), "True" if v else "False"])
            elif t == xlrd.XL_CELL_ERROR:
                cells.append([r + 1, c + 1, "e", xlrd.error_text_from_code[v], None])
    merges = [[rlo + 1, clo + 1, rhi, chi] for (rlo, rhi, clo, chi) in sh.merged_cells]
    write_expected(name, sh.name, book.datemode == 1, cells, merges)


def dump_xlsx(name):
    book = openpyxl.load_workbook(path(name), data_only=True)
    sh = book[book.sheetnames[0]]
    cells = []
    for row in sh.iter_rows():
        for cell in row:
            v = cell.value
            if v is None:
                continue
            r, c = cell.row, cell.column
            if isinstance(v, bool):
                cells.append([r, c, "b", v, "True" if v else "False"])
            elif cell.data_type == "e":
                cells.append([r, c, "e", v, None])
            elif isinstance(v, str):
                cells.append([r, c, "s", v, v])
            elif isinstance(v, datetime.timedelta):  # elapsed time, [h]:mm:ss
                secs = round(v.total_seconds())
                cells.append([r, c, "d", v.total_seconds() / 86400,
                              date_text(0, 0, 0, secs // 3600, secs // 60 % 60, secs % 60, time_only=True)])
            elif isinstance(v, (datetime.datetime, datetime.date, datetime.time)):
                serial = openpyxl.utils.datetime.to_excel(v, book.epoch)
                if isinstance(v, datetime.time):
                    text = date_text(0, 0, 0, v.hour, v.minute, v.second, time_only=True)
                elif isinstance(v, datetime.datetime):
                    text = date_text(v.year, v.month, v.day, v.hour, v.minute, v.second)
                else:
                    text = date_text(v.year, v.month, v.day, 0, 0, 0)
                cells.append([r, c, "d", float(serial), text])
            else:
                cells.append([r, c, "n", float(v), number_text(float(v))])
    merges = [[m.min_row, m.min_col, m.max_row, m.max_col] for m in sh.merged_cells.ranges]
    write_expected(name, sh.title, book.epoch == openpyxl.utils.datetime.CALENDAR_MAC_1904, cells, merges)


def write_expected(name, sheet, dates1904, cells, merges):
    data = {
        "sheet": sheet,
        "dates1904": dates1904,
        "rows": max((c[0] for c in cells), default=0),
        "columns": max((c[1] for c in cells), default=0),
        "merges": sorted(merges),
        "cells": cells,
    }
    # one cell a line, so that a change shows as a readable diff
    with open(path(name + ".json"), "w", encoding="utf-8") as f:
        f.write("{\n")
        for k in ("sheet", "dates1904", "rows", "columns", "merges"):
            f.write("%s: %s,\n" % (json.dumps(k), json.dumps(data[k], ensure_ascii=False)))
        f.write('"cells": [\n')
        f.write(",\n".join(json.dumps(c, ensure_ascii=False) for c in cells))
        f.write("\n]}\n")


# ---- the rows of a roster shaped like the office's -----------------------------

SURNAMES = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗"
GIVEN = "伟芳娜敏静丽强磊军洋勇艳杰娟涛明超秀霞平刚桂英华"
POSTS = ["专业技术十级", "专业技术九级", "管理八级", "工勤技能三级", "专业技术七级"]


def roster_rows(n):
    rows = []
    for i in range(n):
        name = SURNAMES[i % len(SURNAMES)] + GIVEN[(i * 7) % len(GIVEN)] + (GIVEN[(i * 3) % len(GIVEN)] if i % 3 else "")
        row = [i + 1, name, "男" if i % 2 else "女", 196001 + (i % 40) * 100 + (i % 12),
               198507 + (i % 20) * 100, POSTS[i % len(POSTS)], POSTS[(i + 1) % len(POSTS)],
               200907, 930 + i * 0.5, 1030.5 + i, 680.1 + i, 590.2 + i, 89.9, 200910,
               "本科", "中级", "经济师" if i % 4 == 0 else "", 12.5 * i, 0.1 * i, -3.25 * i,
               123456789012 + i, 200907.0, 1 / 3 + i, "备注" * (i % 3), 2.5e-3 * i, 0, 100000 * i]
        while len(row) < 27:
            row.append("")
        flag = [1, "", "1", " 1 ", 2, "01", 1.0, 0][i % 8]
        row.append(flag)
        row.extend(["附加", 7, 200912 + i, "尾"])
        rows.append(row)
    return rows


HEADER = ["序号", "姓名", "性别", "出生年月", "参加工作时间", "原岗位", "现岗位", "变动时间",
          "原工资", "现工资", "薪级工资", "岗位工资", "增资额", "执行时间"]


def write_roster_xls(name):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("工资变动")
    ws.write_merge(0, 0, 0, 27, "国家机关事业单位工作人员工资变动花名册")
    ws.write_merge(1, 1, 0, 5, "单位：某某局")
    ws.write(1, 20, "2009年7月")
    for c, h in enumerate(HEADER):
        ws.write_merge(3, 4, c, c, h)
    ws.write(5, 27, "打印")
    date_style = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    for r, row in enumerate(roster_rows(40), start=6):
        for c, v in enumerate(row):
            if v == "":
                continue
            ws.write(r, c, v)
    ws.write(50, 1, datetime.date(2009, 7, 1), date_style)
    wb.save(path(name))


def write_roster_xlsx(name):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "工资变动"
    ws.cell(1, 1, "国家机关事业单位工作人员工资变动花名册")
    ws.merge_cells(start_row=1, start_column=1, end_row=1, end_column=28)
    ws.cell(2, 1, "单位：某某局")
    ws.merge_cells("A2:F2")
    for c, h in enumerate(HEADER, start=1):
        ws.cell(4, c, h)
        ws.merge_cells(start_row=4, start_column=c, end_row=5, end_column=c)
    ws.cell(6, 28, "打印")
    for r, row in enumerate(roster_rows(40), start=7):
        for c, v in enumerate(row, start=1):
            if v == "":
                continue
            ws.cell(r, c, v)
    d = ws.cell(51, 2, datetime.date(2009, 7, 1))
    d.number_format = "yyyy/m/d"
    t = ws.cell(51, 3, datetime.datetime(2010, 1, 2, 8, 5, 0))
    t.number_format = "yyyy\"年\"m\"月\"d\"日\" h:mm"
    ws.cell(51, 4, 0.25).number_format = "0.00%"
    ws.cell(51, 5, True)
    wb.save(path(name))


def write_basic_xls(name):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("名册")
    wb.add_sheet("第二页").write(0, 0, "不读")
    values = [1, 930.5, 200907, 89.9, 680.1 - 590.2, -12.75, 0.1 + 0.2, 1e15, 123456789012345,
              1234567.891, 1e-5, 3.14159265358979, 2 ** 31, -(2 ** 31) - 1, 1 / 3]
    for i, v in enumerate(values):
        ws.write(i, 0, v)
    texts = ["中文姓名", "  前后空格  ", "", "Ünïcödé ±", "𠀀生僻字", "1", "第一行\n第二行"]
    for i, t in enumerate(texts):
        ws.write(i, 1, t)
    ws.write(0, 2, True)
    ws.write(1, 2, False)
    styles = [("yyyy-mm-dd", datetime.date(2009, 7, 1)),
              ("yyyy/m/d h:mm:ss", datetime.datetime(2009, 7, 1, 14, 30, 5)),
              ("h:mm", datetime.time(8, 5)),
              ("yyyy\"年\"m\"月\"", datetime.date(1999, 12, 31)),
              ("[$-804]yyyy\"年\"m\"月\"d\"日\"", datetime.date(2012, 2, 29)),
              ("0.00", 200907.5),
              ("#,##0\"元\"", 1234.0),
              ("[Red]0.0;[Blue]-0.0", -2.5)]
    for i, (fmt, v) in enumerate(styles):
        ws.write(i, 3, v, xlwt.easyxf(num_format_str=fmt))
    ws.write_merge(20, 21, 0, 2, "合并单元格")
    ws.write(65535, 255, "最后")
    wb.save(path(name))


def write_1904_xls(name):
    wb = xlwt.Workbook(encoding="utf-8")
    wb.dates_1904 = True
    ws = wb.add_sheet("1904")
    ws.write(0, 0, datetime.date(2009, 7, 1), xlwt.easyxf(num_format_str="yyyy-mm-dd"))
    ws.write(1, 0, datetime.datetime(1904, 1, 1, 12, 0), xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm"))
    ws.write(2, 0, 200907)
    wb.save(path(name))


def write_bigsst_xls(name):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("共享字符串")
    for i in range(3000):
        # unique strings, Chinese and Latin mixed, lengths varying so
        # that continuation boundaries fall inside strings
        s = "人员%04d" % i + "工资变动审批" * (i % 7) + ("abc" * (i % 5))
        ws.write(i // 4, i % 4, s)
    wb.save(path(name))


def sst_splits(name):
    """How many SST strings continue across a CONTINUE record (in the middle of
    their characters), and whether one of them is 16-bit (Chinese)."""
    data = xlrd.compdoc.CompDoc(open(path(name), "rb").read()).get_named_stream("Workbook")
    pos, segs = 0, []
    while pos + 4 <= len(data):
        t, n = struct.unpack_from("<HH", data, pos)
        if t == 0x00FC or (t == 0x003C and segs and segs[-1] is not None):
            segs.append(data[pos + 4:pos + 4 + n])
        elif segs:
            break
        pos += 4 + n
    splits, wide = 0, 0
    seg, p = 0, 8
    count = struct.unpack_from("<I", segs[0], 4)[0]
    for _ in range(count):
        if p >= len(segs[seg]):
            seg, p = seg + 1, 0
        cch, flags = struct.unpack_from("<HB", segs[seg], p)
        p += 3
        high = flags & 1
        while cch:
            if p >= len(segs[seg]):
                seg, p = seg + 1, 1
                high = segs[seg][0] & 1
                splits += 1
                wide += high
            take = min(cch, (len(segs[seg]) - p) // (2 if high else 1))
            p += take * (2 if high else 1)
            cch -= take
    return splits, wide


# ---- byte-level variants: the damage the reader must report -------------------

def patch_once(data, old, new):
    i = data.find(old)
    assert i >= 0 and data.find(old, i + 1) < 0, old
    return data[:i] + new + data[i + len(old):]


def records(biff):
    """(offset, type, length) of every record of a BIFF stream."""
    pos = 0
    while pos + 4 <= len(biff):
        t, n = struct.unpack_from("<HH", biff, pos)
        yield pos, t, n
        pos += 4 + n


def stream_base(data):
    """Where the Workbook stream starts in a file xlwt wrote (xlwt writes it
    in one run of sectors)."""
    biff = bytes(xlrd.compdoc.CompDoc(data).get_named_stream("Workbook"))
    base = data.find(biff[:512])
    assert base >= 0 and data[base:base + len(biff)] == biff
    return biff, base


def patched(data, rtype, offset_in_record, new, nth=0):
    """`data` with bytes of the nth record of type `rtype` replaced
    (offset_in_record counts from the record header)."""
    biff, base = stream_base(data)
    found = [o for o, t, n in records(biff) if t == rtype]
    o = base + found[nth] + offset_in_record
    out = bytearray(data)
    out[o:o + len(new)] = new
    return bytes(out)


def write_bad_files(src):
    good = open(path(src), "rb").read()
    open(path("bad-empty.xls"), "wb").close()
    with open(path("bad-text.xls"), "w", encoding="utf-8") as f:
        f.write("序号,姓名,工资\n1,王伟,930.5\n")
    open(path("bad-truncated.xls"), "wb").write(good[:len(good) // 2])
    open(path("bad-garbage.xls"), "wb").write(good[:8] + bytes((i * 37 + 11) % 256 for i in range(2048)))
    # FILEPASS: the workbook-protection record WINDOWPROTECT (0x19) turned
    # into the record that announces encryption.
    open(path("bad-encrypted.xls"), "wb").write(patched(good, 0x0019, 0, b"\x2f\x00"))
    # No worksheet: the one BOUNDSHEET record turned into an unknown type.
    open(path("bad-nosheet.xls"), "wb").write(patched(good, 0x0085, 0, b"\x99\x00"))
    # First sheet a chart, or a macro sheet, as its BOUNDSHEET says.
    open(path("bad-chartfirst.xls"), "wb").write(patched(good, 0x0085, 4 + 5, b"\x02"))
    open(path("bad-macrofirst.xls"), "wb").write(patched(good, 0x0085, 4 + 5, b"\x01"))
    # A record that claims more bytes than the stream holds: the last EOF.
    biff, _ = stream_base(good)
    eofs = [o for o, t, n in records(biff) if t == 0x000A]
    open(path("bad-pastend.xls"), "wb").write(patched(good, 0x000A, 2, b"\xff\x7f", nth=len(eofs) - 1))
    # The sheet's position in BOUNDSHEET pointing past the stream.
    open(path("bad-sheetoffset.xls"), "wb").write(patched(good, 0x0085, 4, b"\xf0\xff\xff\x00"))
    # A compound file whose only stream is not a workbook.
    wname = "Workbook".encode("utf-16-le")
    i = good.find(wname)
    assert i >= 0 and good.find(wname, i + 1) < 0
    open(path("bad-nostream.xls"), "wb").write(good[:i] + "Workbooc".encode("utf-16-le") + good[i + len(wname):])


def write_sst_overcount(src, name):
    """The shared-string count claims two thousand million strings."""
    good = open(path(src), "rb").read()
    open(path(name), "wb").write(patched(good, 0x00FC, 8, struct.pack("<I", 0x7FFFFFFF)))


def write_handmade_xlsx(name):
    """Cells in the forms openpyxl never writes: inline strings, formula
    string results, errors, booleans, cells without a reference, the 1904
    date system, rich text and phonetic runs."""
    ct = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/><Override PartName="/xl/worksheets/sheet2.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/><Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/><Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/></Types>"""
    rels = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>"""
    wbx = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><workbookPr date1904="1"/><sheets><sheet name="手工表" sheetId="2" r:id="rId7"/><sheet name="第二" sheetId="1" r:id="rId1"/></sheets></workbook>"""
    wbrels = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet2.xml"/><Relationship Id="rId7" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="/xl/worksheets/sheet1.xml"/><Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/><Relationship Id="rId4" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/></Relationships>"""
    sst = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="3" uniqueCount="3"><si><t>共享</t></si><si><r><rPr><b/></rPr><t xml:space="preserve">富 </t></r><r><t>文本&amp;&lt;</t></r><rPh sb="0" eb="1"><t>フ</t></rPh></si><si><t xml:space="preserve">  空格  </t></si></sst>"""
    styles = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><numFmts count="2"><numFmt numFmtId="164" formatCode="yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;"/><numFmt numFmtId="165" formatCode="0.00_ "/></numFmts><fonts count="1"><font><sz val="11"/><name val="宋体"/></font></fonts><fills count="1"><fill><patternFill patternType="none"/></fill></fills><borders count="1"><border/></borders><cellStyleXfs count="1"><xf numFmtId="0"/></cellStyleXfs><cellXfs count="5"><xf numFmtId="0" xfId="0"/><xf numFmtId="14" xfId="0" applyNumberFormat="1"/><xf numFmtId="164" xfId="0" applyNumberFormat="1"/><xf numFmtId="165" xfId="0" applyNumberFormat="1"/><xf numFmtId="22" xfId="0" applyNumberFormat="1"/></cellXfs></styleSheet>"""
    sheet1 = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><dimension ref="A1:AB9"/><sheetData>
<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="s"><v>2</v></c><c r="D1" t="inlineStr"><is><t>内联</t></is></c><c r="E1" t="inlineStr"><is><r><t>内</t></r><r><t>联富</t></r></is></c></row>
<row r="2"><c r="A2"><v>200907</v></c><c r="B2"><v>930.5</v></c><c r="C2"><f>680.1-590.2</f><v>89.899999999999977</v></c><c r="D2" s="3"><v>1.5</v></c><c r="E2"><v>1E-3</v></c></row>
<row r="3"><c r="A3" t="str"><f>"公式"&amp;"文本"</f><v>公式文本</v></c><c r="B3" t="str"><f>""</f><v></v></c><c r="C3" t="b"><v>1</v></c><c r="D3" t="b"><v>0</v></c><c r="E3" t="e"><v>#N/A</v></c><c r="F3" t="e"><f>1/0</f><v>#DIV/0!</v></c></row>
<row r="4"><c r="A4" s="1"><v>38533</v></c><c r="B4" s="2"><v>38533</v></c><c r="C4" s="4"><v>38533.5</v></c></row>
<row><c><v>1</v></c><c><v>2</v></c><c r="E5"><v>5</v></c><c><v>6</v></c></row>
<row r="7"><c r="B7" t="s"><v>0</v></c><c r="AB7"><v>1</v></c></row>
<row r="9" spans="1:28"><c r="AB9" t="inlineStr"><is><t xml:space="preserve"> 1 </t></is></c></row>
</sheetData><mergeCells count="2"><mergeCell ref="A7:A9"/><mergeCell ref="C7:F8"/></mergeCells></worksheet>"""
    sheet2 = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData><row r="1"><c r="A1"><v>99</v></c></row></sheetData></worksheet>"""
    with zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", ct)
        z.writestr("_rels/.rels", rels)
        z.writestr("xl/workbook.xml", wbx)
        z.writestr("xl/_rels/workbook.xml.rels", wbrels)
        z.writestr("xl/sharedStrings.xml", sst)
        z.writestr("xl/styles.xml", styles)
        z.writestr("xl/worksheets/sheet1.xml", sheet1)
        z.writestr("xl/worksheets/sheet2.xml", sheet2)


def write_chartfirst_xlsx(name):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "数据"
    ws["A1"] = 1
    cs = wb.create_chartsheet("图表", 0)
    chart = openpyxl.chart.BarChart()
    chart.add_data(openpyxl.chart.Reference(ws, min_col=1, min_row=1, max_row=1))
    cs.add_chart(chart)
    wb.save(path(name))


# ---- files that need a spreadsheet program to compute ----------------------------

def write_office_files():
    """Formula results with their cached values, through LibreOffice."""
    tmp = tempfile.mkdtemp()
    try:
        src = os.path.join(tmp, "formulas.xlsx")
        wb = openpyxl.Workbook()
        ws = wb.active
        ws.title = "公式"
        ws["A1"] = 680.1
        ws["A2"] = 590.2
        ws["A3"] = "=A1-A2"
        ws["A4"] = '="工资"&"变动"'
        ws["A5"] = '=REPT("审批表",2000)'
        ws["A6"] = "=A1>A2"
        ws["A7"] = "=1/0"
        ws["A8"] = "=NA()"
        ws["A9"] = '=""'
        ws["A10"] = "=DATE(2009,7,1)"
        ws["A10"].number_format = "yyyy-mm-dd"
        ws["A11"] = "=200907+3"
        ws["A12"] = '=IF(A1>A2,1,"")'
        ws["A13"] = "=SUM(A1:A2)/3"
        ws["B1"] = "中文"
        ws["B2"] = 200907
        ws["B3"] = datetime.date(2009, 7, 1)
        ws["B3"].number_format = "yyyy/m/d"
        ws["B4"] = 930.5
        ws["B5"] = True
        ws.merge_cells("C1:D2")
        ws["C1"] = "合并"
        for r in range(7, 12):
            ws.cell(r, 28, "=IF(MOD(ROW(),2)=1,1,\"\")")
        wb.save(src)
        env = dict(os.environ, HOME=tmp, LANG="zh_CN.UTF-8")
        subprocess.run(["soffice", "--headless", "--calc", "--convert-to", "xls:MS Excel 97", "--outdir", tmp, src],
                       check=True, env=env, stdout=subprocess.DEVNULL)
        shutil.move(os.path.join(tmp, "formulas.xls"), path("formulas.xls"))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def rec(t, payload):
    return struct.pack("<HH", t, len(payload)) + payload


def write_biff5_xls(name):
    """An Excel 95 (BIFF5) workbook in code page 936, written record by
    record: no current program writes BIFF5 any more, and old rosters are
    still around.  The stream is named "Book", as Excel 95 named it."""
    gbk = lambda t: t.encode("gbk")
    s8 = lambda t: struct.pack("<B", len(gbk(t))) + gbk(t)
    glob = [rec(0x0809, struct.pack("<HHHH", 0x0500, 0x0005, 0x0DBB, 0x07CC)),
            rec(0x0042, struct.pack("<H", 936)),
            rec(0x0022, struct.pack("<H", 0))]
    for _ in range(4):
        glob.append(rec(0x0031, struct.pack("<HHHHHBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 134, 0) + s8("宋体")))
    glob.append(rec(0x041E, struct.pack("<H", 164) + s8('yyyy"年"m"月"')))
    xf = lambda fnt, fmt, typ: rec(0x00E0, struct.pack("<HHHHHHHH", fnt, fmt, typ, 0x20, 0, 0, 0, 0))
    glob += [xf(0, 0, 0xFFF5) for _ in range(15)] + [xf(0, 0, 0x0001), xf(0, 14, 0x0001),
                                                     xf(0, 164, 0x0001), xf(0, 20, 0x0001)]
    sheet_names = ["花名册", "其他"]
    bounds_at = []
    for n in sheet_names:
        bounds_at.append(sum(len(r) for r in glob))
        glob.append(rec(0x0085, struct.pack("<IBB", 0, 0, 0) + s8(n)))
    glob.append(rec(0x000A, b""))

    cells = []
    label = lambda r, c, t: cells.append(rec(0x0204, struct.pack("<HHHH", r, c, 15, len(gbk(t))) + gbk(t)))
    number = lambda r, c, v, x=15: cells.append(rec(0x0203, struct.pack("<HHHd", r, c, x, v)))
    label(0, 0, "工资变动花名册")
    for i, row in enumerate(roster_rows(12), start=6):
        for c, v in enumerate(row[:8]):
            if isinstance(v, str):
                if v:
                    label(i, c, v)
            else:
                number(i, c, float(v))
        flag = row[27]
        if isinstance(flag, str):
            if flag:
                label(i, 27, flag)
        else:
            cells.append(rec(0x027E, struct.pack("<HHHI", i, 27, 15, (int(flag) << 2) | 2)))
    number(20, 0, 39995.0, 16)
    number(20, 1, 39995.0, 17)
    number(20, 2, 0.5, 18)
    # MULRK: 930.5 as RK (value * 100, integer), 200907, 89.9 * 100
    cells.append(rec(0x00BD, struct.pack("<HH", 21, 0) + struct.pack("<HI", 15, (93050 << 2) | 3)
                     + struct.pack("<HI", 15, (200907 << 2) | 2) + struct.pack("<HI", 15, (8990 << 2) | 3)
                     + struct.pack("<H", 2)))
    cells.append(rec(0x0205, struct.pack("<HHHBB", 22, 0, 15, 1, 0)))
    cells.append(rec(0x0205, struct.pack("<HHHBB", 22, 1, 15, 0x2A, 1)))
    # formula with a string result and its STRING record; one with a number
    cells.append(rec(0x0006, struct.pack("<HHH", 23, 0, 15) + b"\x00\x00\x00\x00\x00\x00\xff\xff"
                     + struct.pack("<HIH", 0, 0, 0)))
    # (ASCII: readers disagree whether a BIFF5 STRING length counts bytes or
    # characters of a double-byte code page; LABEL lengths count bytes)
    cells.append(rec(0x0207, struct.pack("<H", len("Formula OK")) + b"Formula OK"))
    cells.append(rec(0x0006, struct.pack("<HHHdHIH", 23, 1, 15, 680.1 - 590.2, 0, 0, 0)))
    sheet1 = [rec(0x0809, struct.pack("<HHHH", 0x0500, 0x0010, 0x0DBB, 0x07CC)),
              rec(0x0000, struct.pack("<HHHHH", 0, 24, 0, 28, 0))] + cells + [rec(0x000A, b"")]
    sheet2 = [rec(0x0809, struct.pack("<HHHH", 0x0500, 0x0010, 0x0DBB, 0x07CC)),
              rec(0x0203, struct.pack("<HHHd", 0, 0, 15, 99.0)), rec(0x000A, b"")]
    g = bytearray(b"".join(glob))
    off1 = len(g)
    off2 = off1 + sum(len(r) for r in sheet1)
    for at, off in zip(bounds_at, (off1, off2)):
        struct.pack_into("<I", g, at + 4, off)
    stream = bytes(g) + b"".join(sheet1) + b"".join(sheet2)
    buf = io.BytesIO()
    xlwt.CompoundDoc.XlsDoc().save(buf, stream)
    data = bytearray(buf.getvalue())
    wname = "Workbook".encode("utf-16-le")
    i = data.find(wname)
    data[i:i + 64] = ("Book".encode("utf-16-le") + b"\0" * 64)[:64]
    struct.pack_into("<H", data, i + 64, 10)
    open(path(name), "wb").write(bytes(data))


def main():
    write_basic_xls("basic.xls")
    write_roster_xls("roster.xls")
    write_roster_xlsx("roster.xlsx")
    write_1904_xls("dates1904.xls")
    write_bigsst_xls("bigsst.xls")
    write_biff5_xls("biff5.xls")
    write_handmade_xlsx("handmade.xlsx")
    write_chartfirst_xlsx("bad-chartfirst.xlsx")
    write_bad_files("roster.xls")
    write_sst_overcount("bigsst.xls", "sst-overcount.xls")
    if "--office" in sys.argv:
        write_office_files()
    splits, wide = sst_splits("bigsst.xls")
    assert splits > 0 and wide > 0, "bigsst.xls must split a Chinese string across CONTINUE"
    for n in ("basic.xls", "roster.xls", "dates1904.xls", "bigsst.xls", "formulas.xls", "biff5.xls"):
        if os.path.exists(path(n)):
            dump_xls(n)
    for n in ("roster.xlsx", "handmade.xlsx"):
        dump_xlsx(n)


if __name__ == "__main__":
    main()
