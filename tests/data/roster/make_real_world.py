#!/usr/bin/python3
"""Writes the workbooks in the shapes that other programs write and our own
generators never did, each beside the values an independent reader finds in
it (<name>.json, as make_fixtures.py does):

  numfmt-chinese.xls/.xlsx   numbers in Chinese formats ([DBNum1][$-804]General ...)
  backslash.xlsx             zip entry names with backslashes (some Windows tools)
  partcase.xlsx              part names in other letter cases
  dxfs.xlsx                  a conditional format's <numFmt> reusing a cell format's id
  label-empty.xls            a BIFF8 LABEL of length 0 without its option byte
  sst-emptyv.xlsx            a shared-string cell <c t="s"><v/></c>
  both-streams.xls           an Excel 5 "Book" and a newer "Workbook" stream
  cp-*.xls                   Excel 5 files in other code pages, and one without CODEPAGE
  formula0406.xls            the formula records of Excel 3/4 in a BIFF8 file
  excel2.xls excel3.xls excel4.xls   Excel 2, 3 and 4 worksheets
  iso-dates.xlsx strict.xlsx ISO 8601 date cells (t="d"), transitional and strict
  bof-version0.xls           a BIFF8 workbook whose BOF gives the version 0 (third-party writers)
  biff5-sheet.xls            a BIFF5 "Book" stream holding one worksheet and no workbook globals
  inline-v.xlsx              an inline-string cell with its text in <v> instead of <is>
  bare-biff8.xls             a BIFF8 stream without the compound file around it
  enc-*.xls(x)               password-protected rosters, one per scheme

    /usr/bin/python3 tests/data/roster/make_real_world.py
    /usr/bin/python3 tests/data/roster/make_real_world.py --tolerances   # only the last four

The encrypted ones are made by other programs where one exists: the .xlsx
(ECMA-376 Agile and Standard) by the npm package officecrypto-tool, the RC4
.xls by LibreOffice.  No Debian or npm tool writes RC4 CryptoAPI or XOR .xls
files, so this script encrypts those by the published algorithm and checks
that the independent decrypters (python3-msoffcrypto-tool, officecrypto-tool)
read them back to the original.  Needs: python3-xlwt, -xlrd, -openpyxl,
-msoffcrypto-tool, nodejs/npm (officecrypto-tool is installed into a
temporary folder), libreoffice-calc-nogui and python3-uno.  The files are
committed; CI only reads them.
"""
import hashlib
import io
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

import msoffcrypto
import openpyxl
import xlrd
import xlwt
from xlwt import CompoundDoc

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_fixtures as mf  # noqa: E402

path = mf.path
rec = mf.rec
PASSWORD = "vdmq2009"
CHINESE_PASSWORD = "工资2009"


def dump_xls(name, encoding=None):
    """As make_fixtures.dump_xls, with the code page a Chinese Windows
    assumes when the file names none."""
    book = xlrd.open_workbook(path(name), formatting_info=False, encoding_override=encoding)
    saved = xlrd.open_workbook
    try:
        xlrd.open_workbook = lambda p, formatting_info=True: book
        mf.dump_xls(name)
    finally:
        xlrd.open_workbook = saved


def copy_expected(src, name):
    shutil.copyfile(path(src + ".json"), path(name + ".json"))


# ---- BIFF streams ----------------------------------------------------------------

def records(biff):
    pos, out = 0, []
    while pos + 4 <= len(biff):
        t, n = struct.unpack_from("<HH", biff, pos)
        out.append([t, bytes(biff[pos + 4:pos + 4 + n])])
        pos += 4 + n
    return out


def join(recs):
    """Records back into a stream, the sheet positions in BOUNDSHEET set
    to where the sheets now start."""
    out = bytearray()
    starts = []
    depth = 0
    for t, d in recs:
        if t == 0x0809:
            if depth == 0 and len(out) > 0:
                starts.append(len(out))
            depth += 1
        elif t == 0x000A:
            depth -= 1
        out += struct.pack("<HH", t, len(d)) + d
    pos, k = 0, 0
    while pos + 4 <= len(out):
        t, n = struct.unpack_from("<HH", out, pos)
        if t == 0x0085:
            struct.pack_into("<I", out, pos + 4, starts[k])
            k += 1
        pos += 4 + n
    return bytes(out)


def workbook_stream(xls_bytes, name="Workbook"):
    return bytes(xlrd.compdoc.CompDoc(xls_bytes).get_named_stream(name))


def ole(streams):
    """A compound file holding the given streams (name -> bytes) at its
    root, each in sectors of its own (padded to the mini-stream cutoff)."""
    names = list(streams)
    data = [streams[n] + b"\0" * max(0, 4096 - len(streams[n])) for n in names]
    sec = 512
    nsect = [(len(d) + sec - 1) // sec for d in data]
    first, at = [], 0
    for n in nsect:
        first.append(at)
        at += n
    dir_sect = at
    total = at + 1
    nfat = 1
    while (total + nfat) > nfat * 128:
        nfat += 1
    fat_start = total
    fat = [0xFFFFFFFF] * (nfat * 128)
    for f, n in zip(first, nsect):
        for i in range(n):
            fat[f + i] = f + i + 1 if i < n - 1 else 0xFFFFFFFE
    fat[dir_sect] = 0xFFFFFFFE
    for i in range(nfat):
        fat[fat_start + i] = 0xFFFFFFFD

    def entry(name, typ, child, left, right, start, size):
        u = (name + "\0").encode("utf-16-le") if name else b""
        return (u + b"\0" * (64 - len(u)) + struct.pack("<HBB", len(u), typ, 1)
                + struct.pack("<iii", left, right, child) + b"\0" * 16 + struct.pack("<I", 0) + b"\0" * 16
                + struct.pack("<IQ", start, size))

    # Directory tree: sorted by (length, upper-case name); a chain of right
    # siblings is a valid (if unbalanced) tree.
    order = sorted(range(len(names)), key=lambda i: (len(names[i]), names[i].upper()))
    ents = [entry("Root Entry", 5, order[0] + 1, -1, -1, 0xFFFFFFFE, 0)]
    right = {order[k]: order[k + 1] + 1 for k in range(len(order) - 1)}
    for i, n in enumerate(names):
        ents.append(entry(n, 2, -1, -1, right.get(i, -1), first[i], len(data[i])))
    while len(ents) < 4:
        ents.append(b"\0" * 64 + struct.pack("<HBB", 0, 0, 0) + struct.pack("<iii", -1, -1, -1) + b"\0" * 48)
    difat = [fat_start + i for i in range(nfat)] + [0xFFFFFFFF] * (109 - nfat)
    header = (bytes([0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1]) + b"\0" * 16
              + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 6
              + struct.pack("<IIIIIIIII", 0, nfat, dir_sect, 0, 4096, 0xFFFFFFFE, 0, 0xFFFFFFFE, 0)
              + struct.pack("<109I", *difat))
    body = b"".join(d + b"\0" * (n * sec - len(d)) for d, n in zip(data, nsect))
    body += b"".join(ents[:4])
    body += struct.pack("<%dI" % len(fat), *fat)
    return header + body


def xls_from_stream(stream):
    buf = io.BytesIO()
    CompoundDoc.XlsDoc().save(buf, stream)
    return buf.getvalue()


# ---- faults of reading -------------------------------------------------------------

# code, value
CHINESE_FORMATS = [('[DBNum1][$-804]General', 7), ('[DBNum2][$-804]General', 200907), ('[$-804]General', 7),
                   ('[Red]General', 930.5), ('[BLUE]GENERAL', 12), ('[DBNum1][$-804]0', 7),
                   ('[$-804]yyyy"年"m"月"d"日"', 39995), ('[$-F800]dddd', 39995), ('[h]:mm:ss', 0.75),
                   ('yyyy"年"m"月"', 40179), ('"第"0"级"', 7), ('\\y0', 7), ('@', 7),
                   ('[>=100][Red]0;[Blue]0', 150)]


def write_numfmt(name_xls, name_xlsx):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("格式")
    x = openpyxl.Workbook()
    xs = x.active
    xs.title = "格式"
    for i, (fmt, v) in enumerate(CHINESE_FORMATS):
        ws.write(i, 0, fmt)
        ws.write(i, 1, v, xlwt.easyxf(num_format_str=fmt))
        xs.cell(i + 1, 1, fmt)
        xs.cell(i + 1, 2, v).number_format = fmt
    wb.save(path(name_xls))
    x.save(path(name_xlsx))


def rezip(src, name, rename):
    with zipfile.ZipFile(path(src)) as zin, zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            zout.writestr(rename(item.filename), zin.read(item.filename))


def write_dxfs(name):
    """Cells formatted 0.0"元" under id 164; a conditional format's own
    <numFmt> that Excel numbered 164 too, with a date code."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "条件格式"
    for r in range(1, 6):
        ws.cell(r, 1, 200907 + r).number_format = '0.0"元"'
        ws.cell(r, 2, 39995 + r).number_format = "yyyy-mm-dd"
    tmp = path(name + ".tmp")
    wb.save(tmp)
    with zipfile.ZipFile(tmp) as zin, zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            data = zin.read(item.filename)
            if item.filename == "xl/styles.xml":
                s = data.decode("utf-8")
                assert 'numFmtId="164" formatCode="0.0&quot;' in s, s
                dxfs = ('<dxfs count="1"><dxf><numFmt numFmtId="164" formatCode="yyyy/m/d"/>'
                        '<fill><patternFill><bgColor rgb="FFFFFF00"/></patternFill></fill></dxf></dxfs>')
                if "<dxfs" in s:
                    s = s.replace('<dxfs count="0"/>', dxfs).replace("<dxfs/>", dxfs)
                else:
                    s = s.replace("</cellStyles>", "</cellStyles>" + dxfs)
                assert "yyyy/m/d" in s
                data = s.encode("utf-8")
            zout.writestr(item, data)
    os.remove(tmp)


def write_label_empty(name):
    """The first NUMBER cell of basic.xls as a LABEL of length 0 without the
    option byte (and a record of no meaning filling the rest)."""
    recs = records(workbook_stream(open(path("basic.xls"), "rb").read()))
    i = next(k for k, (t, d) in enumerate(recs) if t == 0x0203)
    row, col, xf = struct.unpack_from("<HHH", recs[i][1])
    recs[i:i + 1] = [[0x0204, struct.pack("<HHHH", row, col, xf, 0)]]
    open(path(name), "wb").write(xls_from_stream(join(recs)))


def write_formula0406(name):
    """Formula records with the ids of Excel 3 and 4 in a BIFF8 stream: one
    with a number, one with a text result and its STRING record."""
    recs = records(workbook_stream(open(path("basic.xls"), "rb").read()))
    nums = [k for k, (t, d) in enumerate(recs) if t == 0x0203]
    a, b = nums[1], nums[2]
    row, col, xf = struct.unpack_from("<HHH", recs[a][1])
    value = recs[a][1][6:14]
    recs[a] = [0x0406, struct.pack("<HHH", row, col, xf) + value + struct.pack("<HIH", 0, 0, 0)]
    row, col, xf = struct.unpack_from("<HHH", recs[b][1])
    text = "公式结果"
    recs[b:b + 1] = [[0x0406, struct.pack("<HHH", row, col, xf) + b"\x00\x00\x00\x00\x00\x00\xff\xff"
                      + struct.pack("<HIH", 0, 0, 0)],
                     [0x0207, struct.pack("<HB", len(text), 1) + text.encode("utf-16-le")]]
    open(path(name), "wb").write(xls_from_stream(join(recs)))


def write_sst_emptyv(name):
    src = path("handmade.xlsx")
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            data = zin.read(item.filename)
            if item.filename == "xl/worksheets/sheet1.xml":
                s = data.decode("utf-8")
                s = s.replace('<c r="B7" t="s"><v>0</v></c>', '<c r="B7" t="s"><v/></c><c r="C7" t="s" s="1"><v></v></c>')
                data = s.encode("utf-8")
            zout.writestr(item, data)


def write_both_streams(name):
    """Excel 5's "Book" (biff5.xls) and a later "Workbook" (basic.xls) in
    one file, as a workbook re-saved by a later Excel may have."""
    book = workbook_stream(open(path("biff5.xls"), "rb").read(), "Book")
    wbk = workbook_stream(open(path("basic.xls"), "rb").read())
    open(path(name), "wb").write(ole({"Book": book, "Workbook": wbk}))


def biff5_with_codepage(name, codepage, codec, texts):
    glob = [rec(0x0809, struct.pack("<HHHH", 0x0500, 0x0005, 0x0DBB, 0x07CC))]
    if codepage is not None:
        glob.append(rec(0x0042, struct.pack("<H", codepage)))
    glob.append(rec(0x0022, struct.pack("<H", 0)))
    enc = lambda t: t.encode(codec)
    for _ in range(4):
        glob.append(rec(0x0031, struct.pack("<HHHHHBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0) + b"\x05Arial"))
    xf = lambda: rec(0x00E0, struct.pack("<HHHHHHHH", 0, 0, 0xFFF5, 0x20, 0, 0, 0, 0))
    glob += [xf() for _ in range(16)]
    at = sum(len(r) for r in glob)
    sname = enc(texts[0])
    glob.append(rec(0x0085, struct.pack("<IBB", 0, 0, 0) + struct.pack("<B", len(sname)) + sname))
    glob.append(rec(0x000A, b""))
    cells = []
    for i, t in enumerate(texts):
        b = enc(t)
        cells.append(rec(0x0204, struct.pack("<HHHH", i, 0, 15, len(b)) + b))
        cells.append(rec(0x0203, struct.pack("<HHHd", i, 1, 15, 200907.0 + i)))
    sheet = [rec(0x0809, struct.pack("<HHHH", 0x0500, 0x0010, 0x0DBB, 0x07CC))] + cells + [rec(0x000A, b"")]
    g = bytearray(b"".join(glob))
    struct.pack_into("<I", g, at + 4, len(g))
    stream = bytes(g) + b"".join(sheet)
    data = bytearray(xls_from_stream(stream))
    wname = "Workbook".encode("utf-16-le")
    i = data.find(wname)
    data[i:i + 64] = ("Book".encode("utf-16-le") + b"\0" * 64)[:64]
    struct.pack_into("<H", data, i + 64, 10)
    open(path(name), "wb").write(bytes(data))


CODEPAGES = [("cp-none.xls", None, "gbk", ["工资名册", "岗位工资", "薪级"]),
             ("cp950.xls", 950, "cp950", ["薪資名冊", "崗位工資", "薪級"]),
             ("cp1251.xls", 1251, "cp1251", ["Ведомость", "Оклад", "Разряд"]),
             ("cp874.xls", 874, "cp874", ["เงินเดือน", "ตำแหน่ง", "ระดับ"]),
             ("cp932.xls", 932, "cp932", ["給与台帳", "職務給", "号俸"]),
             ("cp10000.xls", 10000, "mac_roman", ["Gehälter", "Stufe ÄÖÜ", "Café"])]


# Excel 2, 3 and 4 worksheets, record by record.
OLD_FORMATS = ["General", "0", "0.00", "yyyy-mm-dd", "h:mm:ss", '"第"0"级"']


def write_old_xls(name, version, codepage=936):
    gbk = lambda t: t.encode("gbk")
    s8 = lambda t: struct.pack("<B", len(gbk(t))) + gbk(t)
    out = []
    bof = {2: 0x0009, 3: 0x0209, 4: 0x0409}[version]
    out.append(rec(bof, struct.pack("<HH", {2: 2, 3: 3, 4: 4}[version], 0x0010) + (b"" if version == 2 else b"\0\0")))
    if codepage is not None:
        out.append(rec(0x0042, struct.pack("<H", codepage)))
    out.append(rec(0x0022, struct.pack("<H", 0)))
    for fmt in OLD_FORMATS:
        if version == 4:
            out.append(rec(0x041E, b"\0\0" + s8(fmt)))
        else:
            out.append(rec(0x001E, s8(fmt)))
    if version == 2:
        out.append(rec(0x0031, struct.pack("<HH", 200, 0) + s8("Arial")))
    else:
        out.append(rec(0x0231, struct.pack("<HHH", 200, 0, 0x7FFF) + s8("Arial")))
    # one style per format (Excel 3/4); Excel 2 cells carry the format
    if version == 3:
        for f in range(len(OLD_FORMATS)):
            out.append(rec(0x0243, struct.pack("<BBBBHHHH", 0, f, 0x01, 0, 0, 0, 0, 0)))
    elif version == 4:
        for f in range(len(OLD_FORMATS)):
            out.append(rec(0x0443, struct.pack("<BBHHHHHH", 0, f, 0x01, 0, 0, 0, 0, 0)))

    def number(r, c, v, f):
        if version == 2:
            return rec(0x0003, struct.pack("<HHBBB", r, c, 0, f, 0) + struct.pack("<d", v))
        return rec(0x0203, struct.pack("<HHH", r, c, f) + struct.pack("<d", v))

    def label(r, c, t):
        if version == 2:
            return rec(0x0004, struct.pack("<HHBBB", r, c, 0, 0, 0) + s8(t))
        return rec(0x0204, struct.pack("<HHHH", r, c, 0, len(gbk(t))) + gbk(t))

    def formula(r, c, result, f):
        if version == 2:
            return rec(0x0006, struct.pack("<HHBBB", r, c, 0, f, 0) + result + struct.pack("<BB", 0, 0))
        return rec(0x0206 if version == 3 else 0x0406, struct.pack("<HHH", r, c, f) + result + struct.pack("<HIH", 0, 0, 0))

    def string(t):
        if version == 2:
            return rec(0x0007, s8(t))
        return rec(0x0207, struct.pack("<H", len(gbk(t))) + gbk(t))

    out.append(label(0, 0, "工资变动花名册（Excel %d）" % version))
    for i, row in enumerate(mf.roster_rows(8), start=6):
        for c, v in enumerate(row[:8]):
            if isinstance(v, str):
                if v:
                    out.append(label(i, c, v))
            else:
                out.append(number(i, c, float(v), 1 if float(v).is_integer() else 2))
        flag = row[27]
        if isinstance(flag, str):
            if flag:
                out.append(label(i, 27, flag))
        elif version == 2:
            out.append(rec(0x0002, struct.pack("<HHBBBH", i, 27, 0, 1, 0, int(flag))))
        else:
            out.append(rec(0x027E, struct.pack("<HHHI", i, 27, 1, (int(flag) << 2) | 2)))
    out.append(number(15, 0, 39995.0, 3))
    out.append(number(15, 1, 0.5, 4))
    out.append(number(15, 2, 7.0, 5))
    b = 7 if version == 2 else 6
    out.append(rec(0x0005 if version == 2 else 0x0205,
                   struct.pack("<HHBBB" if version == 2 else "<HHH", *((16, 0, 0, 0, 0) if version == 2 else (16, 0, 0)))
                   + struct.pack("<BB", 1, 0)))
    out.append(formula(17, 0, struct.pack("<d", 680.1 - 590.2), 2))
    out.append(formula(17, 1, b"\x00\x00\x00\x00\x00\x00\xff\xff", 0))
    # (ASCII: whether a STRING length counts bytes or characters of a
    # double-byte code page, readers disagree)
    out.append(string("Formula OK"))
    out.append(formula(17, 2, struct.pack("<d", 39995.0), 3))
    out.append(rec(0x000A, b""))
    del b
    open(path(name), "wb").write(b"".join(out))


ISO_SHEET = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<worksheet xmlns="{main}"><sheetData>
<row r="1"><c r="A1" t="d" s="1"><v>2009-07-01T00:00:00</v></c><c r="B1" t="d" s="2"><v>2009-07-01T14:30:05</v></c><c r="C1" t="d" s="3"><v>08:05:00</v></c><c r="D1" t="d"><v>2012-02-29</v></c><c r="E1" t="d" s="1"><v>1900-01-01</v></c></row>
<row r="2"><c r="A2" t="d" s="2"><v>2010-01-02T08:05:00.500</v></c><c r="B2" t="d" s="3"><v>12:00:00</v></c><c r="C2" t="d" s="1"><v>1900-03-01</v></c><c r="D2"><v>200907</v></c></row>
</sheetData></worksheet>"""
ISO_STYLES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<styleSheet xmlns="{main}"><numFmts count="1"><numFmt numFmtId="164" formatCode="yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;"/></numFmts><cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="14" applyNumberFormat="1"/><xf numFmtId="22" applyNumberFormat="1"/><xf numFmtId="21" applyNumberFormat="1"/></cellXfs></styleSheet>"""


def write_iso(name, strict):
    if strict:
        main, rel, pkg = ("http://purl.oclc.org/ooxml/spreadsheetml/main",
                          "http://purl.oclc.org/ooxml/officeDocument/relationships",
                          "http://schemas.openxmlformats.org/package/2006/relationships")
    else:
        main, rel, pkg = ("http://schemas.openxmlformats.org/spreadsheetml/2006/main",
                          "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
                          "http://schemas.openxmlformats.org/package/2006/relationships")
    ct = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
          '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
          '<Default Extension="xml" ContentType="application/xml"/>'
          '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
          '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
          '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/></Types>')
    rels = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="%s">'
            '<Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>' % (pkg, rel))
    wbx = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<workbook xmlns="%s" xmlns:r="%s">'
           '<sheets><sheet name="日期" sheetId="1" r:id="rId1"/></sheets></workbook>' % (main, rel))
    wbrels = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="%s">'
              '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
              '<Relationship Id="rId2" Type="%s/styles" Target="styles.xml"/></Relationships>' % (pkg, rel, rel))
    with zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", ct)
        z.writestr("_rels/.rels", rels)
        z.writestr("xl/workbook.xml", wbx)
        z.writestr("xl/_rels/workbook.xml.rels", wbrels)
        z.writestr("xl/styles.xml", ISO_STYLES.replace("{main}", main))
        z.writestr("xl/worksheets/sheet1.xml", ISO_SHEET.replace("{main}", main))


# ---- encrypted rosters ----------------------------------------------------------------

def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    i = j = 0
    out = bytearray()
    for b in data:
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out.append(b ^ s[(s[i] + s[j]) & 0xFF])
    return bytes(out)


PLAIN = {0x0809, 0x002F, 0x0194, 0x0195, 0x00E1, 0x0196, 0x0138}


def encrypted_runs(stream):
    pos = 0
    while pos + 4 <= len(stream):
        t, n = struct.unpack_from("<HH", stream, pos)
        d = pos + 4
        if t == 0x0085:
            if n > 4:
                yield d + 4, d + n, n
        elif t not in PLAIN and n:
            yield d, d + n, n
        pos = d + n


def with_filepass(stream, filepass):
    recs = records(stream)
    recs.insert(1, [0x002F, filepass])
    return join(recs)


def cryptoapi_xls(src_xls, name, password, key_bits, salt):
    plain = workbook_stream(open(path(src_xls), "rb").read())
    csp = "Microsoft Enhanced Cryptographic Provider v1.0\0".encode("utf-16-le")
    header = struct.pack("<IIIIIIII", 0x04, 0, 0x6801, 0x8004, key_bits, 1, 0, 0) + csp
    h0 = hashlib.sha1(salt + password.encode("utf-16-le")).digest()

    def key(block):
        h = hashlib.sha1(h0 + struct.pack("<I", block)).digest()
        return h[:5] + b"\0" * 11 if key_bits == 40 else h[:key_bits // 8]

    verifier = hashlib.md5(salt).digest()
    enc = rc4(key(0), verifier + hashlib.sha1(verifier).digest())
    ver = struct.pack("<I", 16) + salt + enc[:16] + struct.pack("<I", 20) + enc[16:]
    fp = struct.pack("<HHHII", 1, 4, 2, 0x04, len(header)) + header + ver
    stream = bytearray(with_filepass(plain, fp))
    ks, cur = b"", -1
    for a, b, _ in encrypted_runs(bytes(stream)):
        for p in range(a, b):
            if p // 1024 != cur:
                cur = p // 1024
                ks = rc4(key(cur), b"\0" * 1024)
            stream[p] ^= ks[p % 1024]
    open(path(name), "wb").write(xls_from_stream(bytes(stream)))


XOR_INITIAL = [0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139, 0xD40F, 0x84F9,
               0x280C, 0xA96A, 0x4EC3]
XOR_MATRIX = [
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF,
    0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40,
    0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A,
    0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0,
    0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10,
    0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC,
    0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4]
XOR_PAD = [0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80, 0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00]


def xor_xls(src_xls, name, password):
    pw = password.encode("latin-1")
    key = XOR_INITIAL[len(pw) - 1]
    el = 0x68
    for ch in reversed(pw):
        for _ in range(7):
            if ch & 0x40:
                key ^= XOR_MATRIX[el]
            ch = (ch << 1) & 0xFF
            el -= 1
    v = 0
    for b in list(reversed(pw)) + [len(pw)]:
        v = ((((v >> 14) & 1) | ((v << 1) & 0x7FFF)) ^ b)
    verifier = v ^ 0xCE4B
    ror = lambda b: ((b >> 1) | (b << 7)) & 0xFF
    hi, lo = key >> 8, key & 0xFF
    arr = [0] * 16
    i = len(pw)
    if i % 2:
        arr[i] = ror(XOR_PAD[0] ^ hi)
        i -= 1
        arr[i] = ror(pw[-1] ^ lo)
    while i > 0:
        i -= 1
        arr[i] = ror(pw[i] ^ hi)
        i -= 1
        arr[i] = ror(pw[i] ^ lo)
    i, pad = 15, 15 - len(pw)
    while pad > 0:
        arr[i] = ror(XOR_PAD[pad] ^ hi)
        i, pad = i - 1, pad - 1
        arr[i] = ror(XOR_PAD[pad] ^ lo)
        i, pad = i - 1, pad - 1
    plain = workbook_stream(open(path(src_xls), "rb").read())
    stream = bytearray(with_filepass(plain, struct.pack("<HHH", 0, key, verifier)))
    for a, b, n in encrypted_runs(bytes(stream)):
        for p in range(a, b):
            x = stream[p]
            stream[p] = (((x << 5) | (x >> 3)) & 0xFF) ^ arr[(p + n) % 16]
    open(path(name), "wb").write(xls_from_stream(bytes(stream)))


OFFICECRYPTO = os.path.join(tempfile.gettempdir(), "vdmq-officecrypto")


def node_crypto(mode, src, out, password, kind="agile"):
    if not os.path.isdir(os.path.join(OFFICECRYPTO, "node_modules", "officecrypto-tool")):
        subprocess.run(["npm", "install", "--no-save", "--prefix", OFFICECRYPTO, "officecrypto-tool@0.0.19"],
                       check=True, stdout=subprocess.DEVNULL)
    js = """
const oc = require('officecrypto-tool'); const fs = require('fs');
const [mode, src, out, pw, kind] = process.argv.slice(1);
(async () => {
  const input = fs.readFileSync(src);
  const output = mode === 'encrypt' ? oc.encrypt(input, kind === 'standard' ? {password: pw, type: 'standard'} : {password: pw})
                                    : await oc.decrypt(input, {password: pw});
  fs.writeFileSync(out, output);
})().catch(e => { console.error(e); process.exit(1); });
"""
    env = dict(os.environ, NODE_PATH=os.path.join(OFFICECRYPTO, "node_modules"))
    subprocess.run(["node", "-e", js, mode, src, out, password, kind], check=True, env=env)


def msoff_decrypt(name, password):
    f = msoffcrypto.OfficeFile(open(path(name), "rb"))
    f.load_key(password=password)
    out = io.BytesIO()
    f.decrypt(out)
    return out.getvalue()


def libreoffice_rc4(src, name, password):
    import uno
    from com.sun.star.beans import PropertyValue

    def pv(n, v):
        p = PropertyValue()
        p.Name, p.Value = n, v
        return p
    tmp = tempfile.mkdtemp()
    pipe = "vdmqfix%d" % os.getpid()
    proc = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore", "--nologo",
                             "-env:UserInstallation=file://%s/profile" % tmp, "--accept=pipe,name=%s;urp;" % pipe],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        for _ in range(120):
            try:
                ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except Exception:
                time.sleep(0.5)
        desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(path(src)), "_blank", 0, (pv("Hidden", True),))
        doc.storeToURL(uno.systemPathToFileUrl(path(name)), (pv("FilterName", "MS Excel 97"), pv("Password", password)))
        doc.close(True)
        try:
            desktop.terminate()
        except Exception:
            pass
        proc.wait(timeout=60)
    finally:
        if proc.poll() is None:
            proc.kill()
        shutil.rmtree(tmp, ignore_errors=True)


def expected_from_plain(name, plain, ext):
    """<name>.json from the bytes an independent decrypter gave back."""
    tmp = path(name + ".plain" + ext)
    open(tmp, "wb").write(plain)
    try:
        (mf.dump_xls if ext == ".xls" else mf.dump_xlsx)(os.path.basename(tmp))
        os.replace(tmp + ".json", path(name + ".json"))
    finally:
        os.remove(tmp)


def write_encrypted():
    tmp = tempfile.mkdtemp()
    try:
        # .xlsx: officecrypto-tool; msoffcrypto must give the package back
        for name, pw, kind in [("enc-agile.xlsx", PASSWORD, "agile"), ("enc-standard.xlsx", PASSWORD, "standard"),
                               ("enc-velvet.xlsx", "VelvetSweatshop", "agile"),
                               ("enc-chinese.xlsx", CHINESE_PASSWORD, "agile")]:
            node_crypto("encrypt", path("roster.xlsx"), path(name), pw, kind)
            assert msoff_decrypt(name, pw) == open(path("roster.xlsx"), "rb").read(), name
            copy_expected("roster.xlsx", name)
        # .xls RC4: LibreOffice
        libreoffice_rc4("roster.xls", "enc-rc4.xls", PASSWORD)
        expected_from_plain("enc-rc4.xls", msoff_decrypt("enc-rc4.xls", PASSWORD), ".xls")
        # .xls RC4 CryptoAPI (128 and 40 bit) and XOR: by the algorithm,
        # read back by both independent decrypters
        cryptoapi_xls("roster.xls", "enc-cryptoapi.xls", PASSWORD, 128, bytes(range(16)))
        cryptoapi_xls("roster.xls", "enc-velvet.xls", "VelvetSweatshop", 40, bytes(range(100, 116)))
        cryptoapi_xls("roster.xls", "enc-chinese.xls", CHINESE_PASSWORD, 128, bytes(range(50, 66)))
        xor_xls("roster.xls", "enc-xor.xls", PASSWORD)
        for name, pw, src in [("enc-cryptoapi.xls", PASSWORD, "roster.xls"),
                              ("enc-velvet.xls", "VelvetSweatshop", "roster.xls"),
                              ("enc-chinese.xls", CHINESE_PASSWORD, "roster.xls"), ("enc-xor.xls", PASSWORD, "roster.xls")]:
            out = os.path.join(tmp, name)
            node_crypto("decrypt", path(name), out, pw)
            plains = [open(out, "rb").read()]
            if "xor" not in name:
                plains.append(msoff_decrypt(name, pw))
            for plain in plains:
                expected_from_plain(name, plain, ".xls")
                got = json.load(open(path(name + ".json"), encoding="utf-8"))
                want = json.load(open(path(src + ".json"), encoding="utf-8"))
                assert got["cells"] == want["cells"], name
    finally:
        shutil.rmtree(tmp, ignore_errors=True)



# ---- shapes the reader tolerates, whose writer is not identified ------------------

def write_bof_version0(name):
    """basic.xls with the version field of its globals' BOF set to 0, the
    record keeping its 16 bytes."""
    recs = records(workbook_stream(open(path("basic.xls"), "rb").read()))
    t, d = recs[0]
    assert t == 0x0809 and len(d) == 16
    recs[0] = [t, struct.pack("<H", 0) + d[2:]]
    open(path(name), "wb").write(xls_from_stream(join(recs)))


def write_biff5_sheet(name):
    """The first worksheet of biff5.xls alone in the "Book" stream.  Without
    the globals there are no styles: the dates read as the numbers they are."""
    recs = records(workbook_stream(open(path("biff5.xls"), "rb").read(), "Book"))
    first = next(k for k, (t, d) in enumerate(recs) if k > 0 and t == 0x0809)
    end = next(k for k in range(first, len(recs)) if recs[k][0] == 0x000A)
    stream = b"".join(struct.pack("<HH", t, len(d)) + d for t, d in recs[first:end + 1])
    open(path(name), "wb").write(ole({"Book": stream}))
    data = json.load(open(path("biff5.xls.json"), encoding="utf-8"))
    cells = [[r, c, "n", v, mf.number_text(v)] if k == "d" else [r, c, k, v, text]
             for r, c, k, v, text in data["cells"]]
    mf.write_expected(name, "Sheet1", False, cells, data["merges"])


def write_inline_v(name):
    """handmade.xlsx with one inline string given as <v>text</v>."""
    old, new = '<c r="D1" t="inlineStr"><is><t>内联</t></is></c>', '<c r="D1" t="inlineStr"><v>内联</v></c>'
    with zipfile.ZipFile(path("handmade.xlsx")) as zin, zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            data = zin.read(item.filename)
            if item.filename == "xl/worksheets/sheet1.xml":
                s = data.decode("utf-8")
                assert old in s
                data = s.replace(old, new).encode("utf-8")
            zout.writestr(item, data)
    copy_expected("handmade.xlsx", name)


def write_tolerances():
    write_bof_version0("bof-version0.xls")
    copy_expected("basic.xls", "bof-version0.xls")
    write_biff5_sheet("biff5-sheet.xls")
    write_inline_v("inline-v.xlsx")
    open(path("bare-biff8.xls"), "wb").write(workbook_stream(open(path("basic.xls"), "rb").read()))
    copy_expected("basic.xls", "bare-biff8.xls")

def main():
    if "--tolerances" in sys.argv:
        write_tolerances()
        return
    write_numfmt("numfmt-chinese.xls", "numfmt-chinese.xlsx")
    mf.dump_xls("numfmt-chinese.xls")
    mf.dump_xlsx("numfmt-chinese.xlsx")
    rezip("roster.xlsx", "backslash.xlsx", lambda n: n.replace("/", "\\"))
    copy_expected("roster.xlsx", "backslash.xlsx")
    case = {"xl/sharedStrings.xml": "xl/SharedStrings.xml", "xl/worksheets/sheet1.xml": "XL/Worksheets/Sheet1.XML",
            "[Content_Types].xml": "[content_types].xml", "_rels/.rels": "_RELS/.rels", "xl/styles.xml": "xl/Styles.xml"}
    rezip("roster.xlsx", "partcase.xlsx", lambda n: case.get(n, n))
    copy_expected("roster.xlsx", "partcase.xlsx")
    write_dxfs("dxfs.xlsx")
    mf.dump_xlsx("dxfs.xlsx")
    write_label_empty("label-empty.xls")
    mf.dump_xls("label-empty.xls")
    write_sst_emptyv("sst-emptyv.xlsx")
    mf.dump_xlsx("sst-emptyv.xlsx")
    write_both_streams("both-streams.xls")
    mf.dump_xls("both-streams.xls")
    write_formula0406("formula0406.xls")
    mf.dump_xls("formula0406.xls")
    for name, cp, codec, texts in CODEPAGES:
        biff5_with_codepage(name, cp, codec, texts)
        dump_xls(name, encoding="gbk" if cp is None else None)
    for v in (2, 3, 4):
        write_old_xls("excel%d.xls" % v, v, codepage=None if v == 3 else 936)
        dump_xls("excel%d.xls" % v, encoding="gbk")
        # Excel names the one sheet of such a file after the file; a reader
        # of bytes has no file name and calls it Sheet1.
        data = json.load(open(path("excel%d.xls.json" % v), encoding="utf-8"))
        mf.write_expected("excel%d.xls" % v, "Sheet1", data["dates1904"], data["cells"], data["merges"])
    write_iso("iso-dates.xlsx", strict=False)
    mf.dump_xlsx("iso-dates.xlsx")
    write_iso("strict.xlsx", strict=True)
    copy_expected("iso-dates.xlsx", "strict.xlsx")
    write_tolerances()
    if "--no-encrypted" not in sys.argv:
        write_encrypted()


if __name__ == "__main__":
    main()
