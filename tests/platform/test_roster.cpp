// The roster reader against what independent readers (xlrd, openpyxl) find
// in the same files (tests/data/roster/*.json, written by make_fixtures.py),
// the damaged-input table and the cell-to-text rules.
#include <gtest/gtest.h>

#include "platform/roster.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

using namespace vdmq::roster;

namespace {

std::string fixture(const std::string& name) { return std::string(VDMQ_TESTDATA) + "/roster/" + name; }

QJsonObject expected(const std::string& name)
{
    QFile f(QString::fromStdString(fixture(name + ".json")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

std::string u8(const QJsonValue& v) { return v.toString().toStdString(); }

class Fixture : public ::testing::TestWithParam<const char*> {};

// The password of an encrypted fixture (make_real_world.py): none for those
// saved with Excel's built-in one.
std::unique_ptr<Password> passwordOf(const std::string& name)
{
    if (name.rfind("enc-", 0) != 0 || name.rfind("enc-velvet", 0) == 0)
        return nullptr;
    return std::make_unique<Password>(name.rfind("enc-chinese", 0) == 0 ? "工资2009" : "vdmq2009");
}

TEST_P(Fixture, ReadsCellForCellAsTheIndependentReader)
{
    const std::string name = GetParam();
    QJsonObject exp = expected(name);
    ASSERT_FALSE(exp.isEmpty()) << "missing " << name << ".json";
    auto password = passwordOf(name);
    auto book = openWorkbook(fixture(name), password.get());
    const Sheet& sh = book->firstSheet();
    EXPECT_EQ(sh.name(), u8(exp["sheet"]));
    EXPECT_EQ(book->dates1904(), exp["dates1904"].toBool());
    EXPECT_EQ(sh.rowCount(), exp["rows"].toInt());
    EXPECT_EQ(sh.columnCount(), exp["columns"].toInt());

    std::vector<std::array<int, 4>> merges, want;
    for (const Range& r : sh.merges())
        merges.push_back({r.firstRow, r.firstCol, r.lastRow, r.lastCol});
    for (const QJsonValueRef m : exp["merges"].toArray()) {
        QJsonArray a = m.toArray();
        want.push_back({a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()});
    }
    std::sort(merges.begin(), merges.end());
    EXPECT_EQ(merges, want);

    std::set<std::pair<int, int>> listed;
    for (const QJsonValueRef v : exp["cells"].toArray()) {
        QJsonArray a = v.toArray();
        int row = a[0].toInt(), col = a[1].toInt();
        listed.insert({row, col});
        std::string kind = u8(a[2]);
        Cell c = sh.cell(row, col);
        SCOPED_TRACE(name + " row " + std::to_string(row) + " col " + std::to_string(col));
        if (kind == "s") {
            ASSERT_EQ(c.type, CellType::String);
            EXPECT_EQ(c.text, u8(a[3]));
        } else if (kind == "n" || kind == "d") {
            ASSERT_EQ(c.type, CellType::Number);
            // openpyxl gives dates as date-times; its way back to a day
            // number may differ in the last bits.
            if (kind == "d")
                EXPECT_NEAR(c.number, a[3].toDouble(), 1e-9);
            else
                EXPECT_EQ(c.number, a[3].toDouble());
            EXPECT_EQ(c.isDate, kind == "d");
        } else if (kind == "b") {
            ASSERT_EQ(c.type, CellType::Boolean);
            EXPECT_EQ(c.boolean, a[3].toBool());
        } else if (kind == "e") {
            ASSERT_EQ(c.type, CellType::Error);
            EXPECT_EQ(c.text, u8(a[3]));
            EXPECT_THROW(cellText(c, book->dates1904(), row, col), CellConversionError);
            continue;
        }
        EXPECT_EQ(cellText(c, book->dates1904(), row, col), u8(a[4]));
    }
    // Nothing the independent reader did not see, where the grid is small
    // enough to walk.
    if (static_cast<long>(sh.rowCount()) * sh.columnCount() <= 200000) {
        for (int r = 1; r <= sh.rowCount() + 1; ++r)
            for (int c = 1; c <= sh.columnCount() + 1; ++c)
                if (!listed.count({r, c})) {
                    // A formula's empty-string result is a cell to us and
                    // nothing to some readers; the text is "" either way.
                    Cell x = sh.cell(r, c);
                    EXPECT_TRUE(x.type == CellType::Empty || (x.type == CellType::String && x.text.empty()))
                        << r << "," << c;
                }
    }
}

std::string testName(std::string s)
{
    for (char& ch : s)
        if (!isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return s;
}

INSTANTIATE_TEST_SUITE_P(Roster, Fixture,
                         ::testing::Values("basic.xls", "roster.xls", "dates1904.xls", "bigsst.xls", "formulas.xls",
                                           "biff5.xls", "roster.xlsx", "handmade.xlsx"),
                         [](const auto& info) { return testName(info.param); });

// Shapes other programs write (make_real_world.py), each a fault once.
INSTANTIATE_TEST_SUITE_P(RealWorld, Fixture,
                         ::testing::Values("numfmt-chinese.xls", "numfmt-chinese.xlsx", "backslash.xlsx",
                                           "partcase.xlsx", "dxfs.xlsx", "label-empty.xls", "sst-emptyv.xlsx",
                                           "both-streams.xls", "formula0406.xls", "cp-none.xls", "cp950.xls",
                                           "cp1251.xls", "cp874.xls", "cp932.xls", "cp10000.xls", "excel2.xls",
                                           "excel3.xls", "excel4.xls", "iso-dates.xlsx", "strict.xlsx",
                                           "bof-version0.xls", "biff5-sheet.xls", "inline-v.xlsx", "bare-biff8.xls",
                                           // one per scheme; enc-velvet-* open without a password
                                           "enc-agile.xlsx", "enc-standard.xlsx", "enc-velvet.xlsx", "enc-chinese.xlsx",
                                           "enc-rc4.xls", "enc-cryptoapi.xls", "enc-velvet.xls", "enc-chinese.xls",
                                           "enc-xor.xls"),
                         [](const auto& info) { return testName(info.param); });

// The same workbook read from .xls and .xlsx gives the same roster.
TEST(Roster, XlsAndXlsxAgree)
{
    auto a = openWorkbook(fixture("roster.xls"));
    auto b = openWorkbook(fixture("roster.xlsx"));
    const Sheet& sa = a->firstSheet();
    const Sheet& sb = b->firstSheet();
    for (int r = 7; r <= 46; ++r)
        for (int c = 1; c <= 32; ++c)
            EXPECT_EQ(cellText(sa.cell(r, c), false, r, c), cellText(sb.cell(r, c), false, r, c)) << r << "," << c;
}

// Damaged input, one reason each; never a crash.
struct Bad {
    const char* file;
    const char* reason;  // part of what() (UTF-8)
};

class BadInput : public ::testing::TestWithParam<Bad> {};

TEST_P(BadInput, FailsWithAReason)
{
    const Bad& b = GetParam();
    std::string path = fixture(b.file);
    try {
        auto book = openWorkbook(path);
        book->firstSheet();
        FAIL() << "opened " << b.file;
    } catch (const RosterError& e) {
        EXPECT_NE(std::string(e.what()).find(b.reason), std::string::npos) << b.file << ": " << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Roster, BadInput,
    ::testing::Values(Bad{"no-such-file.xls", "文件不存在"}, Bad{"", "文件夹"}, Bad{"bad-empty.xls", "空的"},
                      Bad{"bad-text.xls", "文本文件"}, Bad{"bad-truncated.xls", "不是Excel工作簿"},
                      Bad{"bad-garbage.xls", "不是Excel工作簿"}, Bad{"bad-encrypted.xls", "加密信息不完整"},
                      Bad{"bad-nosheet.xls", "没有工作表"}, Bad{"bad-chartfirst.xls", "图表"},
                      Bad{"bad-macrofirst.xls", "宏表"}, Bad{"bad-chartfirst.xlsx", "图表"},
                      Bad{"bad-pastend.xls", "文件不完整"}, Bad{"bad-sheetoffset.xls", "超出文件末尾"},
                      Bad{"bad-nostream.xls", "不是Excel工作簿"}),
    [](const auto& info) { return testName(info.param.file[0] ? info.param.file : "folder"); });

TEST(Roster, UnreadableFileNamesTheReason)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    std::string p = std::string(VDMQ_BINARY_DIR) + "/roster-unreadable.xls";
    std::filesystem::copy_file(fixture("basic.xls"), p, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(p, std::filesystem::perms::none);
    EXPECT_THROW(openWorkbook(p), RosterError);
    std::filesystem::permissions(p, std::filesystem::perms::owner_all);
}

// A shared-string count far beyond the strings there: read what is there.
TEST(Roster, OversizedStringCountReadsWhatIsThere)
{
    auto book = openWorkbook(fixture("sst-overcount.xls"));
    auto good = openWorkbook(fixture("bigsst.xls"));
    EXPECT_EQ(book->firstSheet().cell(750, 4).text, good->firstSheet().cell(750, 4).text);
}

// Every prefix of a workbook is either read or refused; none crashes.
TEST(Roster, EveryTruncationIsRefusedOrRead)
{
    for (const char* name : {"basic.xls", "handmade.xlsx"}) {
        std::ifstream f(fixture(name), std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        for (std::size_t n = 0; n < bytes.size(); n += 97) {
            try {
                auto book = openWorkbookFromMemory(bytes.data(), n);
                book->firstSheet().cell(1, 1);
            } catch (const RosterError&) {
            }
        }
    }
}

// A damaged directory whose root entry names siblings (a sound file's root
// has none): the workbook reads as its tree says, whatever the root names,
// and nothing of the directory is lost (the sanitizer run would say so).
TEST(Roster, RootEntryWithSiblingsReadsAsItsTree)
{
    std::ifstream f(fixture("basic.xls"), std::ios::binary);
    const std::vector<std::uint8_t> sound((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_GT(sound.size(), 1024u);
    // basic.xls: 512-byte sectors; the root is the directory's first entry,
    // its sibling fields 68 bytes in; entry 1 is "Workbook", 3 is unused.
    const std::size_t root = (std::size_t(sound[48] | sound[49] << 8 | sound[50] << 16) + 1) * 512;
    const std::uint32_t kNoStream = 0xFFFFFFFF;
    const struct {
        const char* name;
        std::uint32_t left, right;
    } cases[] = {
        {"the workbook stream as a sibling", kNoStream, 1},
        {"both siblings the workbook stream", 1, 1},
        {"an unused entry", 3, kNoStream},
        {"the root itself", 0, 0},
        {"beyond the directory", 0x7777, 0xFFFFFFFE},
    };
    const auto expected = openWorkbookFromMemory(sound.data(), sound.size());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes = sound;
        for (int i = 0; i < 4; ++i) {
            bytes[root + 68 + i] = std::uint8_t(c.left >> (8 * i));
            bytes[root + 72 + i] = std::uint8_t(c.right >> (8 * i));
        }
        std::unique_ptr<Workbook> book;
        ASSERT_NO_THROW(book = openWorkbookFromMemory(bytes.data(), bytes.size()));
        EXPECT_EQ(book->firstSheet().cell(7, 2).text, expected->firstSheet().cell(7, 2).text);
        EXPECT_EQ(book->firstSheet().rowCount(), expected->firstSheet().rowCount());
    }
}

// ---- cell to text -------------------------------------------------------------

struct Conv {
    Cell cell;
    bool dates1904;
    const char* text;
};

Cell num(double v, bool date = false)
{
    Cell c;
    c.type = CellType::Number;
    c.number = v;
    c.isDate = date;
    return c;
}

class Conversion : public ::testing::TestWithParam<Conv> {};

TEST_P(Conversion, GivesTheSpreadsheetsText)
{
    const Conv& t = GetParam();
    EXPECT_EQ(cellText(t.cell, t.dates1904, 7, 28), t.text);
}

INSTANTIATE_TEST_SUITE_P(
    Roster, Conversion,
    ::testing::Values(Conv{Cell{}, false, ""}, Conv{num(1), false, "1"}, Conv{num(930.5), false, "930.5"},
                      Conv{num(680.1 - 590.2), false, "89.9"}, Conv{num(200907), false, "200907"},
                      Conv{num(-0.0), false, "0"}, Conv{num(-12.75), false, "-12.75"},
                      Conv{num(123456789012345.0), false, "123456789012345"},
                      Conv{num(999999999999999.0), false, "999999999999999"}, Conv{num(1e15), false, "1E+15"},
                      Conv{num(0.1 + 0.2), false, "0.3"}, Conv{num(1.0 / 3), false, "0.333333333333333"},
                      Conv{num(39995, true), false, "2009/7/1"}, Conv{num(39995.5, true), false, "2009/7/1 12:00:00"},
                      Conv{num(39995.999999, true), false, "2009/7/2"}, Conv{num(0.25, true), false, "6:00:00"},
                      Conv{num(1, true), false, "1900/1/1"}, Conv{num(59, true), false, "1900/2/28"},
                      Conv{num(61, true), false, "1900/3/1"}, Conv{num(0, true), true, "1904/1/1"},
                      Conv{num(38533, true), true, "2009/7/1"}, Conv{num(-1, true), false, "-1"},
                      Conv{Cell{CellType::String, 0, false, false, " 1 "}, false, " 1 "},
                      Conv{Cell{CellType::Boolean, 0, false, true, ""}, false, "True"},
                      Conv{Cell{CellType::Boolean, 0, false, false, ""}, false, "False"}));

TEST(Roster, ErrorCellNamesRowColumnAndError)
{
    Cell e{CellType::Error, 0, false, false, "#N/A"};
    try {
        cellText(e, false, 12, 28);
        FAIL();
    } catch (const CellConversionError& x) {
        std::string m = x.what();
        EXPECT_NE(m.find("12"), std::string::npos) << m;
        EXPECT_NE(m.find("28"), std::string::npos) << m;
        EXPECT_NE(m.find("AB12"), std::string::npos) << m;
        EXPECT_NE(m.find("#N/A"), std::string::npos) << m;
    }
}

}  // namespace

// ---- number formats -------------------------------------------------------------

#include "platform/roster_internal.h"

namespace {

struct Format {
    const char* code;
    bool date;
};

class DateFormat : public ::testing::TestWithParam<Format> {};

TEST_P(DateFormat, BracketsQuotesAndGeneralDoNotMakeADate)
{
    EXPECT_EQ(detail::isDateFormatCode(GetParam().code), GetParam().date) << GetParam().code;
}

INSTANTIATE_TEST_SUITE_P(
    Roster, DateFormat,
    ::testing::Values(
        // numbers: Excel's 特殊 Chinese figures, colours, locales, conditions
        Format{"General", false}, Format{"[DBNum1][$-804]General", false}, Format{"[DBNum2][$-804]General", false},
        Format{"[$-804]General", false}, Format{"[Red]General", false}, Format{"[BLUE]GENERAL", false},
        Format{"[DBNum1][$-804]0", false}, Format{"[>=100][Red]0;[Blue]0", false}, Format{"0.00_ ", false},
        Format{"#,##0\"元\"", false}, Format{"\"第\"0\"级\"", false}, Format{"\\y0", false}, Format{"\"yyyy\"0", false},
        Format{"0.00E+00", false}, Format{"@", false}, Format{"[$¥-804]#,##0.00", false},
        Format{"_-* #,##0_-;-* #,##0_-", false},
        // dates and times, Chinese ones included
        Format{"yyyy\"年\"m\"月\"", true}, Format{"[$-804]yyyy\"年\"m\"月\"d\"日\"", true},
        Format{"[$-F800]dddd", true}, Format{"[DBNum1]yyyy\"年\"m\"月\"", true}, Format{"[h]:mm:ss", true},
        Format{"[mm]:ss", true}, Format{"h:mm:ss.000", true}, Format{"[$-804]aaaa", true},
        Format{"e\"年\"m\"月\"", true}, Format{"yyyy/m/d;@", true}, Format{"[Red]yyyy-mm-dd", true}));

TEST(DateFormat, ChineseBuiltInIdsAreDates)
{
    for (int id : {14, 22, 27, 31, 36, 45, 47, 50, 55, 58})
        EXPECT_TRUE(detail::isBuiltinDateFormat(id)) << id;
    for (int id : {0, 1, 2, 9, 10, 23, 26, 37, 44, 48, 49, 59, 164})
        EXPECT_FALSE(detail::isBuiltinDateFormat(id)) << id;
}

// ---- passwords -------------------------------------------------------------------

struct Locked {
    const char* file;
    const char* password;
};

class LockedWorkbook : public ::testing::TestWithParam<Locked> {};

TEST_P(LockedWorkbook, AsksForThePasswordAndTellsAWrongOne)
{
    const Locked& t = GetParam();
    try {
        openWorkbook(fixture(t.file));
        FAIL() << "opened without a password";
    } catch (const PasswordError& e) {
        EXPECT_FALSE(e.wrong());
        EXPECT_NE(std::string(e.what()).find("打开密码"), std::string::npos) << e.what();
    }
    Password wrong("vdmq2008");
    try {
        openWorkbook(fixture(t.file), &wrong);
        FAIL() << "opened with a wrong password";
    } catch (const PasswordError& e) {
        EXPECT_TRUE(e.wrong());
        EXPECT_NE(std::string(e.what()).find("密码不正确"), std::string::npos) << e.what();
    }
    Password right(t.password);
    auto book = openWorkbook(fixture(t.file), &right);
    EXPECT_FALSE(cellText(book->firstSheet().cell(7, 2), false, 7, 2).empty());
}

INSTANTIATE_TEST_SUITE_P(Roster, LockedWorkbook,
                         ::testing::Values(Locked{"enc-agile.xlsx", "vdmq2009"},
                                           Locked{"enc-standard.xlsx", "vdmq2009"},
                                           Locked{"enc-chinese.xlsx", "工资2009"}, Locked{"enc-rc4.xls", "vdmq2009"},
                                           Locked{"enc-cryptoapi.xls", "vdmq2009"}, Locked{"enc-xor.xls", "vdmq2009"},
                                           Locked{"enc-chinese.xls", "工资2009"}),
                         [](const auto& info) { return testName(info.param.file); });

// A prompt that answers from a list, as a user typing would.
struct ScriptedPrompt : PasswordPrompt {
    std::vector<std::string> answers;  // "" = cancel
    bool none = false;
    std::vector<bool> wrongFlags;
    std::vector<std::string> opened;
    Answer Ask(const std::string&, bool wrong, Password& out) override
    {
        wrongFlags.push_back(wrong);
        if (none)
            return Answer::None;
        if (answers.empty() || answers.front().empty())
            return Answer::Cancelled;
        out.assign(answers.front());
        answers.erase(answers.begin());
        return Answer::Given;
    }
    void Opened(const std::string&, const Password& p) override { opened.emplace_back(p.utf8()); }
};

TEST(Roster, PromptIsAskedUntilThePasswordFitsOrTheUserCancels)
{
    ScriptedPrompt p;
    p.answers = {"wrong", "vdmq2009"};
    openWorkbook(fixture("enc-cryptoapi.xls"), p);
    EXPECT_EQ(p.wrongFlags, (std::vector<bool>{false, true}));
    EXPECT_EQ(p.opened, std::vector<std::string>{"vdmq2009"});

    ScriptedPrompt cancel;
    cancel.answers = {"wrong", ""};
    EXPECT_THROW(openWorkbook(fixture("enc-agile.xlsx"), cancel), OpenCancelled);

    ScriptedPrompt none;
    none.none = true;
    EXPECT_THROW(openWorkbook(fixture("enc-xor.xls"), none), PasswordError);

    // Excel's built-in password opens without a question; a plain
    // workbook never asks.
    for (const char* f : {"enc-velvet.xls", "enc-velvet.xlsx", "roster.xls"}) {
        ScriptedPrompt quiet;
        openWorkbook(fixture(f), quiet);
        EXPECT_TRUE(quiet.wrongFlags.empty()) << f;
    }
}

// Damaged encrypted files, with the right password: read or refused with a
// reason, never a crash (the fuzz harness goes on from here).
TEST(Roster, DamagedEncryptedWorkbooksAreRefusedOrRead)
{
    Password pw("vdmq2009");
    for (const char* name :
         {"enc-agile.xlsx", "enc-standard.xlsx", "enc-rc4.xls", "enc-cryptoapi.xls", "enc-xor.xls"}) {
        std::ifstream f(fixture(name), std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        for (std::size_t n = 0; n < bytes.size(); n += 211) {
            std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
            std::vector<std::uint8_t> flipped = bytes;
            flipped[n] ^= 0x5A;
            for (auto* b : {&cut, &flipped}) {
                try {
                    auto book = openWorkbookFromMemory(b->data(), b->size(), &pw);
                    book->firstSheet().cell(7, 2);
                } catch (const RosterError&) {
                }
            }
        }
    }
}

TEST(Roster, IsoDateCellsTakeTheirCellsFormat)
{
    auto book = openWorkbook(fixture("iso-dates.xlsx"));
    const Sheet& sh = book->firstSheet();
    EXPECT_EQ(cellText(sh.cell(1, 1), false, 1, 1), "2009/7/1");
    EXPECT_EQ(cellText(sh.cell(1, 4), false, 1, 4), "2012/2/29");  // no format: still the date written
    EXPECT_EQ(cellText(sh.cell(2, 2), false, 2, 2), "12:00:00");
    EXPECT_EQ(cellText(sh.cell(2, 4), false, 2, 4), "200907");
}

}  // namespace
