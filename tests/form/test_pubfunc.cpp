#include <gtest/gtest.h>

#include "form/PubFunc.h"
#include "platform/gbtext.h"

using namespace vdmq;

namespace {

TEST(PubFunc, Trim)
{
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim(" \t\r\n"), "");
    EXPECT_EQ(Trim("\x01 a b \x1F"), "a b");
    // Bytes above 0x20 (a full-width space is two of them) stay.
    EXPECT_EQ(Trim(gb("　中 ")), gb("　中"));
}

TEST(PubFunc, UpperCaseLeavesMultiByteCharactersAlone)
{
    // 0x81 0x61 and 0x81 0x7A are GBK characters whose second byte is 'a'/'z';
    // the four-byte 㐀 holds no letter but must come through as is.
    const std::string dbcs = "\x81\x61x\x81\x7A";
    EXPECT_EQ(UpperCase(dbcs), "\x81\x61X\x81\x7A");
    EXPECT_EQ(UpperCase("abc-XYZ{}`"), "ABC-XYZ{}`");
    EXPECT_EQ(UpperCase(gb("王㐀ab")), gb("王㐀AB"));
}

struct IntCase {
    const char* text;
    bool ok;
    int value;
};

TEST(PubFunc, WholeNumberSyntax)
{
    const IntCase cases[] = {
        {"0", true, 0},
        {"78", true, 78},
        {"  7", true, 7},
        {"+7", true, 7},
        {"-7", true, -7},
        {"007", true, 7},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999", false, 0},
        {"$1F", true, 31},
        {"x1f", true, 31},
        {"X10", true, 16},
        {"0x10", true, 16},
        {"0XfF", true, 255},
        {"-$10", true, -16},
        {"$7FFFFFFF", true, 2147483647},
        {"$80000000", false, 0},
        {"$", false, 0},
        {"0x", false, 0},
        {"1F", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"+", false, 0},
        {"7 ", false, 0},
        {"\t7", false, 0},
        {"- 7", false, 0},
        {"930.5", false, 0},
        {"1e3", false, 0},
        {"abc", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int v = 12345;
        EXPECT_EQ(TryStrToInt(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
            EXPECT_EQ(StrToInt(c.text), c.value);
        } else {
            EXPECT_EQ(v, 12345);
            try {
                StrToInt(c.text);
                ADD_FAILURE() << "no error";
            } catch (const EConvertError& e) {
                EXPECT_EQ(std::string(e.what()), std::string("'") + c.text + "' is not a valid integer value");
                EXPECT_EQ(e.text(), c.text);
            }
        }
    }
}

TEST(PubFunc, FormatYearMonth)
{
    const std::pair<const char*, const char*> cases[] = {
        {"200907", "2009.07"},    {"20097", "2009.7"},    {"2009.07", "2009.07"}, {"", ""},
        {"  200907 ", "2009.07"}, {"2009071", "2009071"}, {" 2009 ", " 2009 "},   {"2009", "2009"},
        {"abcdef", "abcd.ef"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(FormatYearMonth(in), out) << in;
    // Length counts bytes: three Chinese characters are six bytes.
    EXPECT_EQ(FormatYearMonth(gb("晋升到")), gb("晋升") + "." + gb("到"));
}

struct ShiftCase {
    const char* text;
    int direction;
    bool ok;
    const char* year;
    const char* month;
};

TEST(PubFunc, ShiftYearMonth)
{
    const ShiftCase cases[] = {
        {"2009.12", +1, true, "2010", "01"},  {"200912", +1, true, "2010", "01"},  {"2009.01", -1, true, "2008", "12"},
        {"200907", 0, true, "2009", "07"},    {"2009.07", +1, true, "2009", "08"}, {"200907", -1, true, "2009", "06"},
        {"209912", +1, true, "2100", "01"},   {"190101", -1, true, "1900", "12"},  {"190012", +1, false, "", ""},
        {"210001", -1, false, "", ""},        {"200913", 0, false, "", ""},        {"200900", 0, false, "", ""},
        {"2009-1", 0, false, "", ""},          // the month reads as -1
        {"2009.071", +1, true, "2009", "08"},  // seven bytes or more: positions 6-7
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.direction));
        TPny r;
        EXPECT_EQ(ShiftYearMonth(c.text, c.direction, r), c.ok);
        EXPECT_EQ(r.Year, c.year);
        EXPECT_EQ(r.Month, c.month);
    }
}

TEST(PubFunc, ShiftYearMonthConversionErrors)
{
    // Each: the text, and the piece the error names.
    const std::pair<const char*, const char*> cases[] = {
        {"2009.7", ".7"},              // the five-character form after the year-month display
        {"2009", ""},                  // four bytes: the month piece is empty
        {"200", ""},        {"", ""},  // the year piece is empty
        {"ab0907", "ab09"}, {"2009ab", "ab"},
    };
    for (const auto& [text, piece] : cases) {
        SCOPED_TRACE(text);
        TPny r{"keep", "me"};
        try {
            ShiftYearMonth(text, +1, r);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.text(), piece);
            EXPECT_EQ(std::string(e.what()), std::string("'") + piece + "' is not a valid integer value");
        }
        EXPECT_EQ(r.Year, "keep");
        EXPECT_EQ(r.Month, "me");
    }
    // The year is converted first: both pieces bad names the year piece.
    TPny r;
    try {
        ShiftYearMonth("abcdef", 0, r);
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.text(), "abcd");
    }
    // A piece that begins or ends inside a Chinese character is named in
    // whole characters: the message never shows half of one.
    const std::pair<const char*, const char*> chinese[] = {
        {"2009年7月", "年7"},  // the month piece is the second byte of 年 and the 7
        {"200年7", "200年"},   // the year piece ends on the first byte of 年
        {"2009年07", "年0"},
        {"二〇〇九年七月", "二〇"},
    };
    for (const auto& [text, piece] : chinese) {
        SCOPED_TRACE(text);
        try {
            ShiftYearMonth(gb(text), +1, r);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(utf8FromGb(e.text()), piece);
            EXPECT_EQ(errorText(e).toStdString(), std::string("'") + piece + "' is not a valid integer value");
        }
    }
    // Leading blanks are part of the whole-number syntax.
    EXPECT_TRUE(ShiftYearMonth("2009 7", 0, r));
    EXPECT_EQ(r.Month, "07");
}

TEST(PubFunc, ReplaceFirst)
{
    struct Case {
        std::string source, pattern, replacement, result;
    };
    const Case cases[] = {
        {"a&ZW1b", "&zw1", "x", "aXb"},
        {"&zw1/&zw1", "&zw1", "ab", "AB/&zw1"},
        {"keep small &zw1", "&ZW2", "x", "keep small &zw1"},
        {"small &zw1 small", "&zw1", gb("科a"), "small " + gb("科A") + " small"},
        {"abc", "", "x", "abc"},
        {"", "&zw1", "x", ""},
        {"&ym", "&ym", gb(" 年 ") + gb(" 月"), gb(" 年 ") + gb(" 月")},
        // The pattern "a" must not match the second byte of 0x81 0x61; the
        // standalone 'a' after it is the first occurrence.
        {"\x81\x61"
         "a",
         "A", "z", "\x81\x61Z"},
        // Nor may it match across characters: 0x81 0x26 then "zw1" is not "&zw1".
        {"\x81&zw1 &zw1", "&zw1", "x", "\x81&zw1 X"},
        // Nor a lead byte taken as the start of a match inside a four-byte character.
        {gb("𠀾") + "5",
         "\x88\x38"
         "5",
         "x", gb("𠀾") + "5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " / " + c.pattern);
        EXPECT_EQ(ReplaceFirst(c.source, c.pattern, c.replacement), c.result);
    }
}

struct CopyCase {
    std::string text;
    int count;
    std::string result;
    int countAfter;
};

TEST(PubFunc, CopyLeftDbcs)
{
    const std::string three = gb("工资表");  // 6 bytes
    const std::string rare = gb("𠀾");       // 4 bytes
    const CopyCase cases[] = {
        {three, 5, gb("工资"), 4},
        {three, 6, three, 6},
        {three, 1, "", 0},
        {three, 0, "", 0},
        {three, -3, "", -3},
        {three, 99, three, 99},
        {"ab" + gb("中"), 3, "ab", 2},
        {"a", 5, "a", 5},
        {"a", 0, "", 0},
        {"", 3, "", 3},
        // A second byte in the lead range never starts a character.
        {"\x81\x81\x81\x81"
         "a",
         3, "\x81\x81", 2},
        {"\x81\x81"
         "a\x81\x81",
         3,
         "\x81\x81"
         "a",
         3},
        // A four-byte character is never split, whichever byte the cut hits.
        {"a" + rare + "b", 1, "a", 1},
        {"a" + rare + "b", 2, "a", 1},
        {"a" + rare + "b", 3, "a", 1},
        {"a" + rare + "b", 4, "a", 1},
        {"a" + rare + "b", 5, "a" + rare, 5},
        {"a" + rare + "b", 6, "a" + rare + "b", 6},
        {rare + rare, 7, rare, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " of " + std::to_string(c.text.size()));
        int n = c.count;
        EXPECT_EQ(CopyLeftDbcs(c.text, n), c.result);
        EXPECT_EQ(n, c.countAfter);
    }
}

}  // namespace
