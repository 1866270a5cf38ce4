#include <gtest/gtest.h>

#include "platform/gbtext.h"
#include "platform/roster.h"

#include <functional>
#include <stdexcept>

using namespace vdmq;

namespace {

struct RoundTrip {
    const char* utf8;
    std::string gbBytes;
};

// GBK characters must come out as their GBK bytes; characters beyond GBK
// as their four-byte GB18030 form, never as '?'.
TEST(GbText, KnownBytesBothWays)
{
    const RoundTrip cases[] = {
        {"", ""},
        {"abc 123", "abc 123"},
        {"中文", "\xD6\xD0\xCE\xC4"},
        {"澜人发(2007)71号", "\xC0\xBD\xC8\xCB\xB7\xA2(2007)71\xBA\xC5"},
        {"，（）。", "\xA3\xAC\xA3\xA8\xA3\xA9\xA1\xA3"},
        {"䶮", "\xFE\x9F"},          // two bytes in GB18030, not in GBK
        {"㐀", "\x81\x39\xEE\x39"},  // Extension A
        {"𠀾", "\x95\x32\x88\x38"},  // Extension B, outside the BMP
        {"€", "\xA2\xE3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(gb(c.utf8), c.gbBytes);
        EXPECT_EQ(utf8FromGb(c.gbBytes), c.utf8);
        EXPECT_EQ(fromGb(c.gbBytes), QString::fromUtf8(c.utf8));
        EXPECT_EQ(toGb(QString::fromUtf8(c.utf8)), c.gbBytes);
    }
}

TEST(GbText, MalformedInputBecomesReplacementAndGoesOn)
{
    // A lone lead byte at the end, then an invalid pair in the middle.
    EXPECT_EQ(fromGb("ab\x81"), QString::fromUtf8("ab\xEF\xBF\xBD"));
    EXPECT_EQ(fromGb(std::string("a\xFF"
                                 "b",
                                 3)),
              QString::fromUtf8("a\xEF\xBF\xBD"
                                "b"));
    // Invalid UTF-8 on the way in becomes U+FFFD in GB18030, not a '?'.
    EXPECT_EQ(gbFromUtf8("x\xC3"), "x\x84\x31\xA4\x37");
}

TEST(GbText, CharLengths)
{
    const std::string s = "a" + gb("中") + gb("㐀") + "\x81";
    const std::size_t expected[] = {1, 2, 0, 4, 0, 0, 0, 1};
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (expected[i] == 0)
            continue;  // inside a character
        EXPECT_EQ(gbCharLength(s, i), expected[i]) << i;
    }
    EXPECT_EQ(gbCharLength(s, s.size()), 0u);
    // A lead byte owns the next byte whatever it is.
    EXPECT_EQ(gbCharLength("\x81\x20", 0), 2u);
    // Lead, digit, non-lead: a two-byte character, not a four-byte one.
    EXPECT_EQ(gbCharLength("\x81\x30\x20\x30", 0), 2u);
}

TEST(GbText, OtherCodePages)
{
    struct Case {
        std::string bytes;
        int cp;
        const char* utf8;
    };
    const Case cases[] = {
        {"\xD6\xD0\xCE\xC4", 936, "中文"},
        {"\x81\x39\xEE\x39", 936, "㐀"},
        {"caf\xE9 \x80", 1252, "café €"},
        {std::string("A\0\x2D\x4E", 4), 1200, "A中"},
        {"\xE4\xB8\xAD", 65001, "中"},
        {"\xA4\xA4", 950, "中"},
        {"\x8E", 10000, "é"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cp);
        EXPECT_EQ(utf8FromCodepage(c.bytes, c.cp), c.utf8);
    }
    EXPECT_THROW(utf8FromCodepage("x", 12345), std::runtime_error);
    EXPECT_THROW(utf8FromCodepage("x", 0), std::runtime_error);
}

// An error's text is read in the encoding its type carries, never guessed:
// "涓枃" in GB18030 is the same bytes as "中文" in UTF-8, and each must
// come out as itself.
TEST(GbText, ErrorsAreReadByTheirType)
{
    struct Case {
        const char* name;
        std::function<void()> raise;
        const char* text;  // UTF-8
    };
    const Case cases[] = {
        {"system text", [] { throw GbError(gb("涓枃")); }, "涓枃"},
        {"reader error through the adapter",
         [] { throw GbEncodedError<roster::RosterError>(gb("文件不存在：/名册.xls")); }, "文件不存在：/名册.xls"},
        {"password error through the adapter",
         [] { throw GbEncodedError<roster::PasswordError>(gb("密码不正确"), true); }, "密码不正确"},
        {"reader error", [] { throw roster::RosterError("中文"); }, "中文"},
        {"engine or library error", [] { throw std::runtime_error("无法写入文件“a.pdf”"); }, "无法写入文件“a.pdf”"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.raise();
            ADD_FAILURE() << "nothing thrown";
        } catch (const std::exception& e) {
            EXPECT_EQ(errorText(e), QString::fromUtf8(c.text));
            EXPECT_EQ(errorTextGb(e), gb(c.text));
        }
    }
    // Caught as the reader's own type, with what the reader knows.
    try {
        throw GbEncodedError<roster::PasswordError>(gb("密码不正确"), true);
    } catch (const roster::PasswordError& e) {
        EXPECT_TRUE(e.wrong());
    }
}

}  // namespace
