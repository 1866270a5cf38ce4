#!/usr/bin/python3
# -*- coding: utf-8 -*-
"""Writes vdmq.ini files in the shapes Windows tools save them in.

Run:  /usr/bin/python3 tests/data/settings/make_settings.py

notepad-unicode.ini     Notepad's "Unicode": UTF-16 little-endian behind the
                        byte-order mark FF FE, CRLF line ends (what
                        Python's "utf-16" codec writes on a little-endian
                        machine, byte for byte)
notepad-unicode-be.ini  Notepad's "Unicode big endian": FE FF, UTF-16BE
notepad-utf8.ini        Notepad's "UTF-8" before Windows 10 1903: EF BB BF
classic-mac.ini         CR alone ending each line, in the system code page
                        (GBK), as old Mac editors and some converters leave it
gedit-utf8.ini          gedit's default: UTF-8 without a byte-order mark, LF,
                        a line end after the last line
vim-utf8.ini            written by vim itself (when installed) from a UTF-8
                        buffer with fileencoding=utf-8, fileformat=unix,
                        nobomb: the same shape as gedit's
notepad10-utf8.ini      Notepad's "UTF-8" since Windows 10 1903 (its default):
                        no byte-order mark, CRLF, no line end after the last
                        line unless one was typed
utf16-nobom.ini         UTF-16 little-endian with no byte-order mark, CRLF,
                        as `iconv -t UTF-16LE` and .NET's
                        UnicodeEncoding(false, false) write it: refused

Each holds the same settings, none of them the defaults:
  File=澜人发(2009)12号  Area=澜坪县人事局  Date=2009/7/1
  Start=9  End=120  yjkd=70  excelFileName=D:\\名册\\2009年调资.xls
"""
import codecs
import os
import shutil
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

LINES = [
    "; 工资变动审批表打印的设置",
    "[xtcs]",
    "File=澜人发(2009)12号",
    "Area=澜坪县人事局",
    "Date=2009/7/1",
    "Start=9",
    "End=120",
    "yjkd=70",
    "excelFileName=D:\\名册\\2009年调资.xls",
]


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


if __name__ == "__main__":
    text = "\r\n".join(LINES) + "\r\n"
    write("notepad-unicode.ini", text.encode("utf-16"))
    write("notepad-unicode-be.ini", codecs.BOM_UTF16_BE + text.encode("utf-16-be"))
    write("notepad-utf8.ini", codecs.BOM_UTF8 + text.encode("utf-8"))
    write("classic-mac.ini", ("\r".join(LINES) + "\r").encode("gbk"))
    unix = "\n".join(LINES) + "\n"
    write("gedit-utf8.ini", unix.encode("utf-8"))
    write("notepad10-utf8.ini", "\r\n".join(LINES).encode("utf-8"))
    write("utf16-nobom.ini", text.encode("utf-16-le"))
    if shutil.which("vim"):
        with tempfile.TemporaryDirectory() as tmp:
            src = os.path.join(tmp, "in.txt")
            with open(src, "wb") as f:
                f.write(unix.encode("utf-8"))
            out = os.path.join(HERE, "vim-utf8.ini")
            subprocess.run(["vim", "-u", "NONE", "-i", "NONE", "-N", "-es",
                            "-c", "set encoding=utf-8 fileencoding=utf-8 fileformat=unix nobomb",
                            "-c", "write! " + out, "-c", "qall!", src], check=True)
    else:
        print("make_settings: vim is not installed; vim-utf8.ini kept as it is")
    print("make_settings: wrote the fixtures in", HERE)
