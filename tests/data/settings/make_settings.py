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

Each holds the same settings, none of them the defaults:
  File=澜人发(2009)12号  Area=澜坪县人事局  Date=2009/7/1
  Start=9  End=120  yjkd=70  excelFileName=D:\\名册\\2009年调资.xls
"""
import codecs
import os

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
    print("make_settings: wrote the fixtures in", HERE)
