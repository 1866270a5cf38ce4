// The spreadsheet operations over the reader: GB18030 texts in and out,
// the life of the workbook across connect and disconnect.
#include <gtest/gtest.h>

#include "platform/gbtext.h"
#include "platform/spreadsheet.h"

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
    TExcelApplication app;
    app.Connect();
    app.WorkbooksOpen(fixtureGb(t.file));
    TExcelWorksheet sh;
    app.AttachFirstSheet(sh);
    ASSERT_TRUE(sh.Attached());
    EXPECT_EQ(sh.CellText(t.row, t.col), gb(t.utf8));
    app.Disconnect();
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
    TExcelApplication app;
    app.Connect();
    app.WorkbooksOpen(fixtureGb("roster.xls"));
    try {
        app.WorkbooksOpen(gb("/nonexistent/名册.xls"));
        FAIL();
    } catch (const roster::RosterError& e) {
        std::string m = utf8FromGb(e.what());
        EXPECT_NE(m.find("文件不存在"), std::string::npos) << m;
        EXPECT_NE(m.find("名册.xls"), std::string::npos) << m;
    }
    TExcelWorksheet sh;
    EXPECT_THROW(app.AttachFirstSheet(sh), roster::RosterError);
    EXPECT_FALSE(sh.Attached());
}

TEST(Spreadsheet, ChartFirstFailsAtAttach)
{
    TExcelApplication app;
    app.Connect();
    app.WorkbooksOpen(fixtureGb("bad-chartfirst.xls"));
    TExcelWorksheet sh;
    try {
        app.AttachFirstSheet(sh);
        FAIL();
    } catch (const roster::RosterError& e) {
        EXPECT_NE(utf8FromGb(e.what()).find("图表"), std::string::npos);
    }
    EXPECT_FALSE(sh.Attached());
}

TEST(Spreadsheet, ErrorCellIsAConversionError)
{
    TExcelApplication app;
    app.Connect();
    app.WorkbooksOpen(fixtureGb("formulas.xls"));
    TExcelWorksheet sh;
    app.AttachFirstSheet(sh);
    try {
        sh.CellText(8, 1);
        FAIL();
    } catch (const roster::CellConversionError& e) {
        EXPECT_NE(utf8FromGb(e.what()).find("#N/A"), std::string::npos);
    }
}

// After disconnect the worksheet is released, not left pointing at freed
// data.
TEST(Spreadsheet, DisconnectReleasesTheWorksheet)
{
    TExcelApplication app;
    app.Connect();
    app.WorkbooksOpen(fixtureGb("roster.xls"));
    TExcelWorksheet sh;
    app.AttachFirstSheet(sh);
    app.Disconnect();
    EXPECT_FALSE(app.Connected());
    EXPECT_FALSE(sh.Attached());
    EXPECT_EQ(sh.sheet(), nullptr);
    EXPECT_THROW(sh.CellText(7, 2), std::logic_error);
}

}  // namespace
