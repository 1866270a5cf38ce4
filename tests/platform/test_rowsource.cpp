// The row source over the reader: GB18030 texts in and out, typed errors,
// and nothing read from a workbook that has been let go.
#include <gtest/gtest.h>

#include "platform/gbtext.h"
#include "platform/rowsource.h"

using namespace vdmq;

namespace {

std::string fixtureGb(const char* name) { return gb(std::string(VDMQ_TESTDATA) + "/roster/" + name); }

struct CellCase {
    const char* file;
    int row, col;
    const char* utf8;
};

class SheetCells : public ::testing::TestWithParam<CellCase> {};

TEST_P(SheetCells, ReadGb18030Text)
{
    const CellCase& t = GetParam();
    TRosterRows rows;
    rows.Open(fixtureGb(t.file));
    rows.FirstSheet();
    ASSERT_TRUE(rows.Sheet());
    EXPECT_EQ(rows.CellText(t.row, t.col), QString::fromUtf8(t.utf8));
    rows.Close();
}

INSTANTIATE_TEST_SUITE_P(Spreadsheet, SheetCells,
                         ::testing::Values(CellCase{"roster.xls", 7, 2, "王伟"}, CellCase{"roster.xls", 7, 28, "1"},
                                           CellCase{"roster.xls", 8, 28, ""}, CellCase{"roster.xls", 10, 28, " 1 "},
                                           CellCase{"roster.xls", 7, 8, "200907"},
                                           CellCase{"roster.xls", 7, 13, "89.9"},
                                           CellCase{"basic.xls", 5, 2, "𠀀生僻字"},
                                           CellCase{"formulas.xls", 3, 1, "89.9"}, CellCase{"formulas.xls", 12, 1, "1"},
                                           CellCase{"biff5.xls", 7, 2, "王伟"}, CellCase{"roster.xlsx", 7, 2, "王伟"},
                                           CellCase{"handmade.xlsx", 4, 1, "2009/7/1"}));

TEST(Spreadsheet, OpenFailureGivesAGbReasonAndLeavesNoWorkbook)
{
    TRosterRows rows;
    rows.Open(fixtureGb("roster.xls"));
    rows.FirstSheet();
    try {
        rows.Open(gb("/nonexistent/名册.xls"));
        FAIL();
    } catch (const roster::RosterError& e) {
        std::string m = utf8FromGb(e.what());
        EXPECT_NE(m.find("文件不存在"), std::string::npos) << m;
        EXPECT_NE(m.find("名册.xls"), std::string::npos) << m;
    }
    EXPECT_FALSE(rows.IsOpen());
    EXPECT_THROW(rows.CellText(7, 2), std::logic_error);
    EXPECT_THROW(rows.FirstSheet(), roster::RosterError);
    EXPECT_FALSE(rows.Sheet());
}

TEST(Spreadsheet, ChartFirstFailsAtTheFirstSheet)
{
    TRosterRows rows;
    rows.Open(fixtureGb("bad-chartfirst.xls"));
    try {
        rows.FirstSheet();
        FAIL();
    } catch (const roster::RosterError& e) {
        EXPECT_NE(utf8FromGb(e.what()).find("图表"), std::string::npos);
    }
    EXPECT_FALSE(rows.Sheet());
}

TEST(Spreadsheet, ErrorCellIsAConversionError)
{
    TRosterRows rows;
    rows.Open(fixtureGb("formulas.xls"));
    rows.FirstSheet();
    try {
        rows.CellText(8, 1);
        FAIL();
    } catch (const roster::CellConversionError& e) {
        EXPECT_NE(utf8FromGb(e.what()).find("#N/A"), std::string::npos);
    }
}

// After Close nothing points at freed data.
TEST(Spreadsheet, CloseLetsGoOfTheSheet)
{
    TRosterRows rows;
    rows.Open(fixtureGb("roster.xls"));
    rows.FirstSheet();
    EXPECT_GE(rows.LastRow(), 10);
    rows.Close();
    EXPECT_FALSE(rows.IsOpen());
    EXPECT_EQ(rows.Sheet(), nullptr);
    EXPECT_THROW(rows.CellText(7, 2), std::logic_error);
}

}  // namespace
