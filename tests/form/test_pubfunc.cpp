#include <gtest/gtest.h>

#include "form/PubFunc.h"
#include "platform/gbtext.h"
#include "qstring_helpers.h"

using namespace vdmq;

namespace {

TEST(PubFunc, Trim)
{
    EXPECT_EQ(Trim(QString()), "");
    EXPECT_EQ(Trim(QStringLiteral(" \t\r\n")), "");
    EXPECT_EQ(Trim(QStringLiteral("\x01 a b \x1F")), "a b");
    // Characters above U+0020 (the full-width space among them) stay.
    EXPECT_EQ(Trim(QStringLiteral("　中 ")), QStringLiteral("　中"));
}

TEST(PubFunc, UpperCaseChangesOnlyLatinSmallLetters)
{
    // 0x81 0x61 and 0x81 0x7A are GBK characters whose second byte is 'a'/'z';
    // the four-byte 㐀 holds no letter but must come through as is; the
    // full-width ａ is no Latin small letter of the form's rule.
    const QString dbcs = fromGb("\x81\x61x\x81\x7A");
    EXPECT_EQ(UpperCase(dbcs), fromGb("\x81\x61X\x81\x7A"));
    EXPECT_EQ(UpperCase(QStringLiteral("abc-XYZ{}`")), "ABC-XYZ{}`");
    EXPECT_EQ(UpperCase(QStringLiteral("王㐀abａ")), QStringLiteral("王㐀ABａ"));
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
        {"７８", false, 0},  // full-width digits are no digits of the syntax
        {"7８", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int v = 12345;
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(TryStrToInt(text, v), c.ok);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
            EXPECT_EQ(StrToInt(text), c.value);
        } else {
            EXPECT_EQ(v, 12345);
            try {
                StrToInt(text);
                ADD_FAILURE() << "no error";
            } catch (const EConvertError& e) {
                EXPECT_EQ(errorText(e), QStringLiteral("'%1' is not a valid integer value").arg(text));
                EXPECT_EQ(e.text(), text);
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
        EXPECT_EQ(FormatYearMonth(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
    // Length counts bytes of GB18030: three Chinese characters are six, and
    // the point after the fourth byte may cut a character, whose halves
    // print as U+FFFD each; a four-byte character cut after its second byte
    // shows that byte, a digit.
    const std::pair<const char*, const char*> bytes[] = {
        {"晋升到", "晋升.到"},    {"a中文", "a中\uFFFD.\uFFFD"},
        {" ab中c ", "ab中.c"},    {"x\U00020BB7y", "x\uFFFD4\uFFFD.5y"},  // 𠮷 is 95 34 B2 35
        {"晋升岗位", "晋升岗位"},                                         // eight bytes
    };
    for (const auto& [in, out] : bytes)
        EXPECT_EQ(FormatYearMonth(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
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
        EXPECT_EQ(ShiftYearMonth(QString::fromUtf8(c.text), c.direction, r), c.ok);
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
            ShiftYearMonth(QString::fromUtf8(text), +1, r);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.text(), QString::fromUtf8(piece));
            EXPECT_EQ(errorText(e), QStringLiteral("'%1' is not a valid integer value").arg(QString::fromUtf8(piece)));
        }
        EXPECT_EQ(r.Year, "keep");
        EXPECT_EQ(r.Month, "me");
    }
    // The year is converted first: both pieces bad names the year piece.
    TPny r;
    try {
        ShiftYearMonth(QStringLiteral("abcdef"), 0, r);
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
            ShiftYearMonth(QString::fromUtf8(text), +1, r);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.text().toStdString(), piece);
            EXPECT_EQ(errorText(e).toStdString(), std::string("'") + piece + "' is not a valid integer value");
        }
    }
    // Leading blanks are part of the whole-number syntax.
    EXPECT_TRUE(ShiftYearMonth(QStringLiteral("2009 7"), 0, r));
    EXPECT_EQ(r.Month, "07");
}

// The month of effect is read from the bytes the year-month display makes,
// halves of a character it cuts included: the error names what that text
// holds, as the form has always named it.
TEST(PubFunc, ShiftShownYearMonth)
{
    TPny r;
    EXPECT_TRUE(ShiftShownYearMonth(QStringLiteral(" 200912 "), +1, r));
    EXPECT_EQ(r.Year, "2010");
    EXPECT_EQ(r.Month, "01");
    EXPECT_TRUE(ShiftShownYearMonth(QStringLiteral("2009.07"), +1, r));
    EXPECT_EQ(r.Month, "08");
    const std::pair<const char*, const char*> cases[] = {
        {"20097", ".7"},          // 2009.7
        {"209年", "209\uFFFD."},  // 209 C4 . EA: the year piece ends inside 年
        {"2009年7月", "年7"},     // seven bytes: shown as typed
        {"", ""},
    };
    for (const auto& [cell, piece] : cases) {
        SCOPED_TRACE(cell);
        try {
            ShiftShownYearMonth(QString::fromUtf8(cell), +1, r);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(errorText(e).toStdString(), std::string("'") + piece + "' is not a valid integer value");
        }
    }
}

TEST(PubFunc, ReplaceFirst)
{
    struct Case {
        QString source, pattern, replacement, result;
    };
    const QString letterTrail = fromGb("\x81\x61");  // a GBK character whose second byte is 'a'
    const Case cases[] = {
        {"a&ZW1b", "&zw1", "x", "aXb"},
        {"&zw1/&zw1", "&zw1", "ab", "AB/&zw1"},
        {"keep small &zw1", "&ZW2", "x", "keep small &zw1"},
        {"small &zw1 small", "&zw1", "科a", "small 科A small"},
        {"abc", "", "x", "abc"},
        {"", "&zw1", "x", ""},
        {"&ym", "&ym", " 年  月", " 年  月"},
        // The pattern "a" matches no part of the character 0x81 0x61; the
        // standalone 'a' after it is the first occurrence.
        {letterTrail + "a", "A", "z", letterTrail + "Z"},
        {"\U00020BB7&zw1", "&zw1", "\U00020BB7", "\U00020BB7\U00020BB7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.source + " / " + c.pattern).toStdString());
        EXPECT_EQ(ReplaceFirst(c.source, c.pattern, c.replacement), c.result);
    }
}

struct CopyCase {
    QString text;
    int count;
    QString result;
    int countAfter;
};

TEST(PubFunc, CopyLeftDbcs)
{
    const QString three = QStringLiteral("工资表");        // 6 bytes
    const QString rare = QString::fromUtf8("\U0002003E");  // 𠀾, 4 bytes
    const CopyCase cases[] = {
        {three, 5, "工资", 4},
        {three, 6, three, 6},
        {three, 1, "", 0},
        {three, 0, "", 0},
        {three, -3, "", -3},
        {three, 99, three, 99},
        {"ab中", 3, "ab", 2},
        {"a", 5, "a", 5},
        {"a", 0, "", 0},
        {"", 3, "", 3},
        // GBK characters whose second byte lies in the lead range.
        {fromGb("\x81\x81\x81\x81") + "a", 3, fromGb("\x81\x81"), 2},
        {fromGb("\x81\x81") + "a" + fromGb("\x81\x81"), 3, fromGb("\x81\x81") + "a", 3},
        // A four-byte character is never split, whichever byte the cut hits.
        {"a" + rare + "b", 1, "a", 1},
        {"a" + rare + "b", 2, "a", 1},
        {"a" + rare + "b", 3, "a", 1},
        {"a" + rare + "b", 4, "a", 1},
        {"a" + rare + "b", 5, "a" + rare, 5},
        {"a" + rare + "b", 6, "a" + rare + "b", 6},
        {rare + rare, 7, rare, 4},
        // U+0080 and U+FFFD are four bytes in GB18030 too.
        {QString(QChar(0x80)) + "a", 3, "", 0},
        {QString(QChar(0xFFFD)) + "ab", 5, QString(QChar(0xFFFD)) + "a", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " of " + c.text.toStdString());
        int n = c.count;
        EXPECT_EQ(CopyLeftDbcs(c.text, n), c.result);
        EXPECT_EQ(n, c.countAfter);
    }
}

}  // namespace
