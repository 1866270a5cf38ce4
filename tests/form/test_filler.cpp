// The declaration filler over rows built for it: every branch of the
// opinion, the wrapping into four lines, and what an error leaves behind.
#include "form/PubFunc.h"
#include "form/RosterColumns.h"
#include "form/VdPrnCheck.h"
#include "form/VdPrnUnit.h"
#include "platform/gbtext.h"
#include "qstring_helpers.h"
#include "report/core/qr.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <vector>

using namespace vdmq;

namespace {

constexpr int kRow = 7;

class FakeSource : public TFillSource {
public:
    std::map<std::pair<int, int>, std::string> cells;
    std::string width = "10000";  // wide enough for the whole opinion in y1
    std::string docNo = gb("澜人发(2007)71号");
    QDate date{2009, 7, 1};
    std::string issuedBy = gb("澜坪市人事局工资处制");
    int failAt = 0;  // a column whose read fails
    mutable std::vector<int> reads;

    int CurRow() const override { return kRow; }
    QString CellText(int row, int col) const override
    {
        reads.push_back(col);
        if (col == failAt)
            throw std::runtime_error("cell read failed");
        const auto it = cells.find({row, col});
        return it == cells.end() ? QString() : fromGb(it->second);
    }
    QString OpinionWidthText() const override { return fromGb(width); }
    QString DocNo() const override { return fromGb(docNo); }
    QDate PrintDate() const override { return date; }
    QString IssuedBy() const override { return fromGb(issuedBy); }

    void set(int col, const std::string& utf8) { cells[{kRow, col}] = gb(utf8); }
};

// The worked example: grade 7 -> 8, post salary 590 -> 680, equal grade
// salaries, 10% pay 59 -> 68, change 99, appointed July 2009.
void workedExample(FakeSource& s)
{
    const std::pair<int, const char*> row[] = {
        {col::Name, "张三"},
        {col::Sex, "男"},
        {col::Education, "大学"},
        {col::Born, "196507"},
        {col::StartedWork, "198807"},
        {col::ServiceFrom, "19887"},
        {col::Reason, "晋升"},
        {col::Post, "澜坪市人事局科员"},
        {col::Appointed, "200907"},
        {col::OldTotal, "1500"},
        {col::OldGrade, "7"},
        {col::OldPostPay, "590"},
        {col::OldScale, "20"},
        {col::OldScalePay, "930"},
        {col::OldTenPercent, "59"},
        {col::NewTotal, "1600"},
        {col::NewGrade, "8"},
        {col::NewPostPay, "680"},
        {col::NewScale, "21"},
        {col::NewScalePay, "930"},
        {col::NewTenPercent, "68"},
        {col::MonthlyRise, "99"},
        {col::OldPost, "澜坪市人事局办事员"},
        {col::OldAppointed, "200507"},
    };
    for (const auto& [col, text] : row)
        s.set(col, text);
}

struct Filler : ::testing::Test {
    TApprovalForm form;
    FakeSource src;

    Filler()
    {
        form.Source = &src;
        workedExample(src);
    }
    void fill()
    {
        bool more = true;
        form.FillRow(*form.Report, more);
        EXPECT_TRUE(more);
    }
    std::string cap(qr::TQRLabel* l) const { return l->Caption.toStdString(); }
    std::string opinion() const
    {
        return cap(form.OpinionLine1) + cap(form.OpinionLine2) + cap(form.OpinionLine3) + cap(form.OpinionLine4);
    }
    // The fixed opinion with the example's texts, its variable parts given.
    static std::string fixed(const std::string& zw1, const std::string& grades, const std::string& gradeSalary,
                             const std::string& tenPct, const std::string& change, const std::string& from)
    {
        return "根据澜人发(2007)71号文件规定，该同志职务由" + zw1 + grades + "，薪级工资" + gradeSalary +
               "（提高工资10%部分由 " + tenPct + " 元），月" + change + " 元，从 " + from + " 月起执行。";
    }
};

TEST_F(Filler, WorkedExampleByteForByte)
{
    fill();
    const std::string expected =
        "根据澜人发(2007)71号文件规定，该同志职务由澜坪市人事局办事员晋升为澜坪市人事局科员，"
        "拟同意其岗位工资由7 590 元晋升到8 680 元，薪级工资不变，（提高工资10%部分由 59 元增加到 "
        "68 元），月增资 99 元，从 2009 年 08 月起执行。";
    EXPECT_EQ(form.OpinionLine1->Caption, QString::fromStdString(expected));
    EXPECT_EQ(form.OpinionLine2->Caption, "");
    EXPECT_EQ(form.OpinionLine3->Caption, "");
    EXPECT_EQ(form.OpinionLine4->Caption, "");
}

TEST_F(Filler, CellsToLabels)
{
    form.ProbationPayLabel->Caption = "design";
    fill();
    const std::pair<qr::TQRLabel*, const char*> expected[] = {
        {form.NameLabel, "张三"},
        {form.SexLabel, "男"},
        {form.EducationLabel, "大学"},
        {form.BornLabel, "1965.07"},
        {form.StartedWorkLabel, "1988.07"},
        {form.ServiceFromLabel, "1988.7"},
        {form.ReasonLabel, "晋升"},
        {form.AppraisalFromLabel, "2009"},
        {form.PostLabel, "澜坪市人事局科员"},
        {form.OldPostLabel, "澜坪市人事局办事员"},
        {form.NewPostLabel, "澜坪市人事局科员"},
        {form.OldAppointedLabel, "2005.07"},
        {form.NewAppointedLabel, "2009.07"},
        {form.OldGradeLabel, "7"},
        {form.NewGradeLabel, "8"},
        {form.OldPostPayLabel, "590"},
        {form.NewPostPayLabel, "680"},
        {form.OldScaleLabel, "20"},
        {form.NewScaleLabel, "21"},
        {form.OldScalePayLabel, "930"},
        {form.NewScalePayLabel, "930"},
        {form.OldTenPercentLabel, "59"},
        {form.NewTenPercentLabel, "68"},
        {form.ProbationPayLabel, ""},
        {form.OldTotalLabel, "1500"},
        {form.NewTotalLabel, "1600"},
        {form.PrintDateLabel, "2009 年 7 月 1 日"},
        {form.IssuedByLabel, "澜坪市人事局工资处制"},
    };
    for (const auto& [label, text] : expected)
        EXPECT_EQ(cap(label), text) << label->Name;
    // The cells are read in this order, and no others.
    using namespace col;
    const std::vector<int> order = {
        Name,          Sex,           Education,  Born,     StartedWork,     ServiceFrom,   Reason,
        Appointed,     Post,          OldPost,    Post,     OldAppointed,    Appointed,     OldGrade,
        NewGrade,      OldPostPay,    NewPostPay, OldScale, NewScale,        OldScalePay,   NewScalePay,
        OldTenPercent, NewTenPercent, OldTotal,   NewTotal, OpinionTemplate, OldTenPercent, MonthlyRise};
    EXPECT_EQ(src.reads, order);
}

TEST_F(Filler, CellsAreUsedAsRead)
{
    src.set(col::Name, " 李 四 ");
    src.set(col::Reason, "abcdef");      // five or six bytes get a point, like a year-month
    src.set(col::Appointed, "2009.12");  // as text: shown unchanged, four bytes for the year
    src.set(col::OldAppointed, " 200507 ");
    fill();
    EXPECT_EQ(cap(form.NameLabel), " 李 四 ");
    EXPECT_EQ(cap(form.ReasonLabel), "abcd.ef");
    EXPECT_EQ(cap(form.NewAppointedLabel), "2009.12");
    EXPECT_EQ(cap(form.AppraisalFromLabel), "2009");
    EXPECT_EQ(cap(form.OldAppointedLabel), "2005.07");
    EXPECT_NE(opinion().find("从 2010 年 01 月起执行。"), std::string::npos);
    // Rare characters reach the form whole.
    src.set(col::Name, "王𠀾");
    fill();
    EXPECT_EQ(cap(form.NameLabel), "王𠀾");
}

TEST_F(Filler, FixedBranchCases)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int, const char*>> cells;
        std::string opinion;
    };
    const std::string up = "晋升为澜坪市人事局科员，拟同意其岗位工资由7 590 元晋升到8 680 元";
    const std::string same = "不变，";
    const std::string ten = "59 元增加到 68";
    const Case cases[] = {
        {"blank former unit falls back to the former grade",
         {{col::OldPost, "  "}},
         fixed("7", up, same, ten, "增资 99", "2009 年 08")},
        {"lower grade",
         {{col::NewGrade, "6"}},
         fixed("澜坪市人事局办事员", "低任为澜坪市人事局科员，拟同意其岗位工资由7 590 元降低为6 680 元", same, ten,
               "增资 99", "2009 年 08")},
        {"equal grades",
         {{col::NewGrade, "7"}},
         fixed("澜坪市人事局办事员", "晋升为澜坪市人事局科员，拟同意其岗位工资由7 590 元晋升到7 680 元", same, ten,
               "增资 99", "2009 年 08")},
        {"grades that are not numbers count as equal",
         {{col::OldGrade, "八级"}, {col::NewGrade, "7 "}},
         fixed("澜坪市人事局办事员", "晋升为澜坪市人事局科员，拟同意其岗位工资由八级 590 元晋升到7  680 元", same, ten,
               "增资 99", "2009 年 08")},
        {"new grade salary",
         {{col::NewScalePay, "935"}},
         fixed("澜坪市人事局办事员", up, "重新确定为 935 元，", ten, "增资 99", "2009 年 08")},
        {"decimal grade salaries both count as 0",
         {{col::OldScalePay, "930.5"}, {col::NewScalePay, "940.5"}},
         fixed("澜坪市人事局办事员", up, same, ten, "增资 99", "2009 年 08")},
        {"blank former 10% pay",
         {{col::OldTenPercent, " "}},
         "根据澜人发(2007)71号文件规定，该同志职务由澜坪市人事局办事员" + up +
             "，薪级工资不变，（提高工资10%部分由  -- 增加到 -- 元），月增资 99 元，从 2009 年 "
             "08 月起执行。"},
        {"lower post salary",
         {{col::NewPostPay, "500"}},
         fixed("澜坪市人事局办事员", "晋升为澜坪市人事局科员，拟同意其岗位工资由7 590 元晋升到8 500 元", same,
               "59 元降低为 68", "减资 99", "2009 年 08")},
        {"equal post salaries",
         {{col::NewPostPay, "590"}},
         fixed("澜坪市人事局办事员", "晋升为澜坪市人事局科员，拟同意其岗位工资由7 590 元晋升到8 590 元", same, ten,
               "增资 99", "2009 年 08")},
        {"December rolls into the next year",
         {{col::Appointed, "200912"}},
         fixed("澜坪市人事局办事员", up, same, ten, "增资 99", "2010 年 01")},
        {"year-month as text",
         {{col::Appointed, "2009.07"}},
         fixed("澜坪市人事局办事员", up, same, ten, "增资 99", "2009 年 08")},
        {"December 2099 gives 2100",
         {{col::Appointed, "209912"}},
         fixed("澜坪市人事局办事员", up, same, ten, "增资 99", "2100 年 01")},
        {"year out of range leaves the year-month empty",
         {{col::Appointed, "210001"}},
         fixed("澜坪市人事局办事员", up, same, ten, "增资 99", " 年 ")},
        {"month out of range",
         {{col::Appointed, "200913"}},
         fixed("澜坪市人事局办事员", up, same, ten, "增资 99", " 年 ")},
        {"Latin letters stay as read",
         {{col::OldPost, "abc科"}, {col::MonthlyRise, "x9"}},
         fixed("abc科", up, same, ten, "增资 x9", "2009 年 08")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSource s;
        workedExample(s);
        for (const auto& [col, text] : c.cells)
            s.set(col, text);
        form.Source = &s;
        fill();
        EXPECT_EQ(opinion(), c.opinion);
    }
    EXPECT_EQ(cap(form.OldPostLabel), "abc科");
}

TEST_F(Filler, TemplateBranch)
{
    struct Case {
        const char* tmpl;
        std::vector<std::pair<int, const char*>> cells;
        const char* opinion;
    };
    const Case cases[] = {
        {"&zw1|&zw2|&gw1|&gw2|&gwdj1|&gwdj2|&xjdj1|&xjdj2|&xj1|&xj2|&bf1|&bf2|&zz|&ym",
         {},
         "澜坪市人事局办事员|澜坪市人事局科员|590|680|7|8|20|21|930|930|59|68|99|2009 年 08 月"},
        {"  &ZW1 由 &Gwdj1 级到 &GWDJ2 级 ", {}, "澜坪市人事局办事员 由 7 级到 8 级"},
        {"&zw1, &zw1", {{col::OldPost, "abc科"}}, "ABC科, &zw1"},
        {"同意。", {}, "同意。"},
        {"自&ym起", {{col::Appointed, "210001"}}, "自 年  月起"},
        {"&zz元", {{col::MonthlyRise, "  9x "}}, "  9X 元"},
        // The fixed wording's comparisons play no part here.
        {"&gw2", {{col::NewPostPay, "1"}, {col::NewGrade, "1"}}, "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tmpl);
        FakeSource s;
        workedExample(s);
        s.set(col::OpinionTemplate, c.tmpl);
        for (const auto& [col, text] : c.cells)
            s.set(col, text);
        form.Source = &s;
        fill();
        EXPECT_EQ(opinion(), c.opinion);
        EXPECT_EQ(cap(form.OpinionLine2), "");
    }
}

TEST_F(Filler, Wrapping)
{
    const std::string zh10 = "一二三四五六七八九十";  // 20 bytes
    const std::string rare = "𠀾";                    // 4 bytes
    struct Case {
        std::string tmpl;
        const char* width;
        std::vector<std::string> lines;  // y1..OpinionLine4
    };
    const Case cases[] = {
        {"abcdef", "11", {"abcdef", "", "", ""}},      // shorter than W-4
        {"abcdefgh", "12", {"abcdefgh", "", "", ""}},  // exactly W-4
        {"abcdefghij", "10", {"abcdef", "ghij", "", ""}},
        // Exactly W left after line 2: all into y3; W+1: y3 takes W, y4 the rest.
        {std::string(6 + 10 + 10, 'x'), "10", {"xxxxxx", std::string(10, 'x'), std::string(10, 'x'), ""}},
        {std::string(6 + 10 + 11, 'x'), "10", {"xxxxxx", std::string(10, 'x'), std::string(10, 'x'), "x"}},
        // The fourth line is never cut.
        {std::string(6 + 10 + 10 + 25, 'x'),
         "10",
         {"xxxxxx", std::string(10, 'x'), std::string(10, 'x'), std::string(25, 'x')}},
        // Double-byte characters: even cuts take them whole, odd cuts one byte less.
        {zh10 + zh10, "10", {"一二三", "四五六七八", "九十一二三", "四五六七八九十"}},
        {"a" + zh10, "10", {"a一二", "三四五六七", "八九十", ""}},
        {"ab" + zh10, "11", {"ab一二", "三四五六七", "八九十", ""}},
        // W + 1 bytes left, the cut would split a character: y3 takes W - 1.
        {"123456" + std::string(10, 'y') + "z" + zh10.substr(0, 15),
         "10",
         {"123456", std::string(10, 'y'), "z一二三四", "五"}},
        // Four-byte characters are never split, whichever byte the cut hits.
        {"a" + rare + rare + rare, "8", {"a", rare + rare, rare, ""}},
        {"ab" + rare + rare + "c", "7", {"ab", rare, rare + "c", ""}},
        {rare + "abc" + rare + rare, "9", {rare + "a", "bc" + rare, rare, ""}},
        // W <= 4 leaves y1 empty; W <= 0 also y2 and y3.
        {"abcdefghij", "4", {"", "abcd", "efgh", "ij"}},
        {zh10, "3", {"", "一", "二", "三四五六七八九十"}},
        {"abcdefghij", "0", {"", "", "", "abcdefghij"}},
        {"abcdefghij", "-5", {"", "", "", "abcdefghij"}},
        {"abcdefghij", "-2147483648", {"", "", "", "abcdefghij"}},
        {"abcdefghij", "$A", {"abcdef", "ghij", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tmpl + " / " + c.width);
        src.set(col::OpinionTemplate, c.tmpl);
        src.width = c.width;
        fill();
        EXPECT_EQ(cap(form.OpinionLine1), c.lines[0]);
        EXPECT_EQ(cap(form.OpinionLine2), c.lines[1]);
        EXPECT_EQ(cap(form.OpinionLine3), c.lines[2]);
        EXPECT_EQ(cap(form.OpinionLine4), c.lines[3]);
    }
}

TEST_F(Filler, WorkedExampleAtWidth78)
{
    src.width = "78";
    fill();
    // 37 Chinese characters' worth on line 1, 39 on lines 2 and 3.
    EXPECT_LE(gbPrefix(form.OpinionLine1->Caption).bytes, 74);
    EXPECT_LE(gbPrefix(form.OpinionLine2->Caption).bytes, 78);
    EXPECT_EQ(form.OpinionLine1->Caption + form.OpinionLine2->Caption + form.OpinionLine3->Caption +
                  form.OpinionLine4->Caption,
              QString::fromUtf8("根据澜人发(2007)71号文件规定，该同志职务由澜坪市人事局办事员晋升为澜坪市人事局科员，"
                                "拟同意其岗位工资由7 590 元晋升到8 680 元，薪级工资不变，（提高工资10%部分由 59 "
                                "元增加到 68 元），月增资 99 元，从 2009 年 08 月起执行。"));
    EXPECT_EQ(cap(form.OpinionLine1), "根据澜人发(2007)71号文件规定，该同志职务由澜坪市人事局办事员晋升为澜坪市人");
    EXPECT_EQ(form.OpinionLine4->Caption, QString());
}

// What an error leaves: the margins and the labels set before it have their
// new values, the rest keep their earlier captions.
TEST_F(Filler, ErrorsPropagateAndLeaveLaterLabels)
{
    struct Case {
        const char* name;
        int col;
        const char* text;
        const char* width;
        int failAt;
        const char* message;
        bool cellsAllFilled;  // every label read from a cell set
    };
    const Case cases[] = {
        {"empty appointment", col::Appointed, "", "78", 0, "'' is not a valid integer value", true},
        {"five-character year-month", col::Appointed, "20097", "78", 0, "'.7' is not a valid integer value", true},
        {"four bytes", col::Appointed, "2009", "78", 0, "'' is not a valid integer value", true},
        {"letters in the year", col::Appointed, "abcd07", "78", 0, "'abcd' is not a valid integer value", true},
        {"empty width", col::Appointed, "200907", "", 0, "'' is not a valid integer value", true},
        {"width with a blank", col::Appointed, "200907", "78 ", 0, "'78 ' is not a valid integer value", true},
        {"width with a point", col::Appointed, "200907", "78.0", 0, "'78.0' is not a valid integer value", true},
        {"failed cell read", col::Appointed, "200907", "78", col::NewGrade, "cell read failed", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TApprovalForm f;
        for (const auto& name : DataLabelNames())
            f.Label(name)->Caption = "old";
        FakeSource s;
        workedExample(s);
        s.set(c.col, c.text);
        s.width = c.width;
        s.failAt = c.failAt;
        f.Source = &s;
        f.Report->Page.unitsToTenths = 1;  // as while preparing
        bool more = false;
        try {
            f.FillRow(*f.Report, more);
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            EXPECT_EQ(errorText(e).toStdString(), c.message);
        }
        EXPECT_FALSE(more);
        EXPECT_EQ(f.Report->Page.Tenths(qr::TQRPage::LeftMargin), 15);
        EXPECT_EQ(f.Report->Page.Tenths(qr::TQRPage::TopMargin), 18);
        EXPECT_EQ(cap(f.NameLabel), "张三");
        EXPECT_EQ(cap(f.OldGradeLabel), "7");
        EXPECT_EQ(cap(f.NewGradeLabel), c.cellsAllFilled ? "8" : "old");
        EXPECT_EQ(cap(f.ProbationPayLabel), c.cellsAllFilled ? "" : "old");
        EXPECT_EQ(cap(f.NewTotalLabel), c.cellsAllFilled ? "1600" : "old");
        for (auto* l :
             {f.OpinionLine1, f.OpinionLine2, f.OpinionLine3, f.OpinionLine4, f.PrintDateLabel, f.IssuedByLabel})
            EXPECT_EQ(l->Caption, "old");
    }
    // A split character never reaches AppraisalFromLabel, even when the row is bad.
    TApprovalForm f;
    FakeSource s;
    workedExample(s);
    s.set(col::Appointed, "a中文ab");
    f.Source = &s;
    bool more = true;
    EXPECT_THROW(f.FillRow(*f.Report, more), EConvertError);
    EXPECT_EQ(cap(f.AppraisalFromLabel), "a中");
}

// The text export holds what the page prints.  A reason of five bytes
// gets the year-month's point inside its last character, whose halves print
// as U+FFFD; the file holds them as whole characters too (it used to hold
// the half bytes, which garble the rest of the line in any reader).
TEST_F(Filler, TextExportHoldsWholeCharacters)
{
    src.set(col::Reason, "a中文");
    src.width = "78";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("form.txt"));
    qr::TQRAsciiExportFilter filter(path);
    qr::TQRPrinter store(form.Report);
    form.Report->Prepare(store, &filter);
    const QString shown = QString::fromUtf8("a中\uFFFD.\uFFFD");
    EXPECT_EQ(form.ReasonLabel->Caption, shown);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string bytes = file.readAll().toStdString();
    EXPECT_EQ(toGb(fromGb(bytes)), bytes);  // nothing but whole characters
    EXPECT_NE(bytes.find(toGb(shown)), std::string::npos);
}

// Through the engine: two calls per preparation, the same texts each time,
// the margins in tenths of a millimetre.
TEST_F(Filler, ThroughTheEngine)
{
    src.width = "78";
    auto store = form.Report->PrepareNew();
    ASSERT_EQ(store->PageCount(), 1);
    EXPECT_EQ(form.Report->Page.Tenths(qr::TQRPage::LeftMargin), 15);
    EXPECT_EQ(form.Report->Page.Tenths(qr::TQRPage::TopMargin), 18);
    EXPECT_EQ(cap(form.OpinionLine1), "根据澜人发(2007)71号文件规定，该同志职务由澜坪市人事局办事员晋升为澜坪市人");
    EXPECT_EQ(cap(form.PrintDateLabel), "2009 年 7 月 1 日");
    EXPECT_EQ(src.reads.size(), 2 * 28u);  // two calls, the same row
    src.date = QDate(2010, 12, 31);
    form.Report->PrepareNew();
    EXPECT_EQ(cap(form.PrintDateLabel), "2010 年 12 月 31 日");
}

// The check names, for each data label, the roster column the filler took
// its text from.  Every cell of the row starts with a made character of its
// own (private use), which the check reports with the column of the label
// it prints in; the label's caption says which cell it came from.  With
// the former unit and post blank the form shows the former grade (J) there.
TEST(FillerAndCheck, AgreeOnEveryLabelsColumn)
{
    for (const bool oldPostBlank : {false, true}) {
        SCOPED_TRACE(oldPostBlank ? "AE blank" : "AE given");
        FakeSource row;
        for (int c = 1; c <= col::LastRead; ++c)
            row.set(c, QString(QChar(0xE000 + c)).toStdString() + "第" + std::to_string(c) + "列的文字");
        if (oldPostBlank)
            row.set(col::OldPost, "  ");
        TFormCheck check(row);
        const std::vector<TCheckProblem> problems = check.CheckRow(kRow);
        int labelsSeen = 0;
        for (const std::string& name : DataLabelNames()) {
            if (name.size() == 2 && name[0] == 'y')
                continue;  // the opinion's lines hold the texts of several cells
            const QString caption = check.Form().Label(name)->Caption;
            int shown = 0;
            for (const QChar ch : caption)
                if (ch.unicode() > 0xE000 && ch.unicode() <= 0xE000 + col::LastRead) {
                    shown = ch.unicode() - 0xE000;
                    break;
                }
            if (shown == 0)
                continue;  // not from a cell
            ++labelsSeen;
            SCOPED_TRACE(name + " shows column " + std::to_string(shown));
            const auto named = std::find_if(problems.begin(), problems.end(), [&](const TCheckProblem& p) {
                return p.label == name && p.codePoint == char32_t(0xE000 + shown);
            });
            ASSERT_NE(named, problems.end());
            EXPECT_EQ(named->column, shown);
        }
        EXPECT_EQ(labelsSeen, 25);  // the 26 labels from cells but ProbationPayLabel, which is always empty
        EXPECT_EQ(check.Form().OldPostLabel->Caption.at(0).unicode(),
                  0xE000 + (oldPostBlank ? col::OldGrade : col::OldPost));
    }
}

}  // namespace
