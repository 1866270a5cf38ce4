// The check before paper over tests/data/check/check.xls (see its
// generator): each problem on its row and nowhere else, the inputs of the
// print that change the verdict, and agreement with the printed page
// (pdftotext -bbox and pdftoppm of vdmq-print --pdf) for every kind of
// problem, on several papers and positions.  The run's question is tested
// with the main window (test_check_dialog), --check with vdmq-print.
#include "app/core/paper.h"
#include "app/core/printrun.h"
#include "form/PubFunc.h"
#include "form/RosterColumns.h"
#include "form/VdPrnCheck.h"
#include "platform/gbtext.h"
#include "report/core/qrsheet.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "locale_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

using namespace vdmq;

namespace {

const std::string kCheckRoster = VDMQ_TESTDATA "/check/check.xls";
constexpr int kFirstRow = 7, kLastRow = 46;  // the rows of check.xls

// A roster open through the run's own row source, with the inputs of a print.
struct Roster {
    TVdcs vdcs;
    TRosterRows rows;
    std::string width = "78";
    TRunFillSource source{vdcs, rows, [this] { return QString::fromStdString(width); }};

    explicit Roster(const std::string& path = kCheckRoster)
    {
        vdcs.DocNo = gb("澜人发(2007)71号");
        vdcs.IssuedBy = gb("澜坪市人事局工资处制");
        vdcs.PrintDate = QDate(2009, 7, 1);
        rows.Open(gb(path));
        rows.FirstSheet();
    }
    ~Roster() { rows.Close(); }
};

// "cut zw0", "empty B", "fill-error H", "number Y": kind and where.
std::string key(const TCheckProblem& p)
{
    std::string k = CheckKindName(p.kind);
    if (!p.label.empty())
        k += " " + p.label;
    else if (p.column > 0)
        k += " " + col::Letters(p.column);
    return k;
}

std::map<int, std::vector<std::string>> byRow(const TCheckReport& r)
{
    std::map<int, std::vector<std::string>> rows;
    for (const TCheckProblem& p : r.problems)
        rows[p.row].push_back(key(p));
    for (auto& [row, keys] : rows)
        std::sort(keys.begin(), keys.end());
    return rows;
}

const TCheckProblem* find(const TCheckReport& r, int row, const std::string& k)
{
    for (const TCheckProblem& p : r.problems)
        if (p.row == row && key(p) == k)
            return &p;
    return nullptr;
}

}  // namespace

TEST(Check, EachProblemOnItsRowAndNowhereElse)
{
    Roster roster;
    TFormCheck check(roster.source);
    const TCheckReport r = check.CheckRows(kFirstRow, kLastRow);
    const std::map<int, std::vector<std::string>> expected = {
        {9, {"cut zw0"}},
        {10, {"empty B"}},
        {11, {"empty H", "fill-error H"}},
        {12, {"fill-error H"}},
        {13, {"opinion-too-long y4"}},
        {14, {"past-line lb_bdyy"}},
        {15, {"cut m_gw1", "number m_gw1"}},  // 1234567.5 is no whole number: compared as 0
        {16, {"cut zw1"}},
        {17, {"fill-error AB"}},
        {18, {"cut l_xm"}},
        {19, {"empty B"}},
        {21, {"past-line y1"}},
        {22, {"year-month H", "year-month l_ny2"}},
        {23, {"year-month H", "year-month l_ny2"}},
        {24, {"year-month l_csny"}},
        {25, {"year-month lb_bdyy"}},
        {26, {"year-month l_ny1"}},
        {28, {"number l_gw2"}},
        {29, {"number m_gw2"}},
        {30, {"number Y"}},
        {31, {"number m_xj1", "number m_xj2"}},
        {32, {"number l_ph1"}},
        {33, {"number l_gw2"}},
        {34, {"year-month H", "year-month l_ny2"}},
        {35, {"empty B"}},
        {39, {"past-line y2"}},  // the tab after the post, in the opinion
        {40, {"fill-error H"}},
        {41, {"past-line lb_bdyy"}},
        {42, {"fill-error D"}},
    };
    EXPECT_EQ(byRow(r), expected);
    EXPECT_EQ(r.rowsRead, 40);
    EXPECT_EQ(r.flaggedRows, 39);  // row 8 is not flagged; row 17's flag cannot be read
    EXPECT_EQ(r.RowsWithProblems(), 29);
    EXPECT_EQ(r.EntryProblems(), 0);

    // What the user reads: what prints, what is lost, the cell and the
    // run's own error.
    struct Detail {
        int row;
        const char* key;
        const char* message;
    } details[] = {
        {9, "cut zw0", "职务(岗位)（G列）印不下：只印出“第一中学中学高级”，少印 2 个字“教师”"},
        {10, "empty B", "姓名（B列）为空"},
        {12, "fill-error H",
         "这一行填表出错，打印到这里会中断：现职任职时间（H列）“20097”：'.7' is not a valid integer value"},
        // Half of 年 is where the month is read: the piece is quoted whole.
        {40, "fill-error H",
         "这一行填表出错，打印到这里会中断：现职任职时间（H列）“2009年7月”：'年7' is not a valid integer value"},
        {42, "fill-error D",
         "这一行填表出错，打印到这里会中断：出生年月（D列）：第42行第4列（D42）的单元格是错误值#DIV/0!，不能转换为文本"},
        {22, "year-month l_ny2",
         "现职任职时间（H列）“2009-7”印作“2009.-7”，不是有效的年月（年月请写 6 位数字，如 200907）"},
        {23, "year-month H",
         "申报意见的执行年月印不出：现职任职时间（H列）“200913”印作“2009.13”，算不出下一个月，"
         "意见印作“从  年  月起执行”"},
        {24, "year-month l_csny",
         "出生年月（D列）“1975.1”印作“1975..1”，不是有效的年月（年月请写 6 位数字，如 200907）"},
        {25, "year-month lb_bdyy",
         "变动原因（AD列）“晋升岗”印作“晋升.岗”：五、六个字节长的文字会像年月一样在第 4 个字节后加点"},
        {28, "number l_gw2",
         "现岗位等级（R列）“待定”不是整数，比较时当作 0，意见印作“该同志职务由一中一级教师低任为一中高级教师，"
         "拟同意其岗位工资由7 590 元降低为待定 680 元”"},
        {29, "number m_gw2",
         "现岗位工资（S列）“待定”不是整数，比较时当作 0，意见印作“拟同意其岗位工资由7 590 元晋升到8 待定 元……"
         "（提高工资10%部分由 59 元降低为 68 元），月减资 99 元”"},
        {30, "number Y", "月增资（Y列）“待定”不是数字，意见印作“月增资 待定 元”"},
        {31, "number m_xj1", "原薪级工资（M列）“930.5”不是整数，比较时当作 0，意见印作“薪级工资不变”"},
        {32, "number l_ph1", "原工资合计（I列）“见附表”不是数字，表上印作“见附表”"},
        {33, "number l_gw2", "现岗位等级（R列）“待定”不是整数，意见印作“同意该同志岗位等级由7级调整为待定级”"},
        {35, "empty B", "姓名（B列）只有空格，印出来是空白"},
        {41, "past-line lb_bdyy",
         "变动原因（AD列）末尾的空格太多，空白盖住右边的表格线 3.8 毫米，相邻栏目的字也被盖住"},
    };
    for (const Detail& d : details) {
        const TCheckProblem* p = find(r, d.row, d.key);
        ASSERT_TRUE(p) << d.row << " " << d.key;
        EXPECT_EQ(p->message.toStdString(), d.message) << d.row;
        EXPECT_FALSE(p->field.isEmpty()) << d.row << " " << d.key;
    }
    struct Cut {
        int row;
        const char* key;
        const char* shown;
        const char* cut;
        int chars;
    } cuts[] = {
        {9, "cut zw0", "第一中学中学高级", "教师", 2},
        {15, "cut m_gw1", "123456", "7.5", 3},
        {18, "cut l_xm", "买买提·", "吐尔逊", 3},
    };
    for (const Cut& c : cuts) {
        const TCheckProblem* p = find(r, c.row, c.key);
        ASSERT_TRUE(p) << c.row;
        EXPECT_EQ(p->shownText.toStdString(), c.shown) << c.row;
        EXPECT_EQ(p->cutText.toStdString(), c.cut) << c.row;
        EXPECT_EQ(p->cutChars, c.chars) << c.row;
    }
    EXPECT_EQ(find(r, 12, "fill-error H")->name.toStdString(), "孙丽");
    EXPECT_EQ(find(r, 23, "year-month l_ny2")->printed.toStdString(), "2009.13");
    EXPECT_TRUE(find(r, 41, "past-line lb_bdyy")->blankOnly);
    EXPECT_FALSE(find(r, 14, "past-line lb_bdyy")->blankOnly);
    const TCheckProblem* opinion = find(r, 13, "opinion-too-long y4");
    ASSERT_TRUE(opinion);
    EXPECT_GT(opinion->extraBytes, 0);
    EXPECT_GT(opinion->offPaperMm, 0);                 // that long a fourth line leaves the paper
    EXPECT_EQ(opinion->column, col::OpinionTemplate);  // the row's own wording
}

TEST(Check, CleanRostersGiveNothing)
{
    struct Case {
        std::string roster;
        int first, last, flagged;
    } cases[] = {
        {VDMQ_SOURCE_DIR "/samples/roster.xls", 7, 26, 7},
        {kCheckRoster, 7, 8, 1},
        {kCheckRoster, 20, 20, 1},
        {kCheckRoster, 27, 27, 1},   // a date cell
        {kCheckRoster, 36, 38, 3},   // blanks after a name and a post
        {kCheckRoster, 43, 46, 4},   // a template without the monthly change; seven bytes of reason
        {kCheckRoster, 47, 400, 0},  // below the last row
    };
    for (const Case& c : cases) {
        Roster roster(c.roster);
        TFormCheck check(roster.source);
        const TCheckReport r = check.CheckRows(c.first, c.last);
        EXPECT_TRUE(r.problems.empty()) << c.roster << " " << c.first << ": " << key(r.problems.front()) << " "
                                        << r.problems.front().message.toStdString();
        EXPECT_EQ(r.flaggedRows, c.flagged) << c.roster << " " << c.first;
    }
}

// The verdict follows the inputs of the print: the document number and the
// width shape the opinion, the issuing body has its own line, the paper and
// the printer's border decide what is off the paper.  What every form
// shares is said once, before the rows.
TEST(Check, SettingsOfThePrintChangeTheVerdict)
{
    const std::string longDoc =
        gb("澜坪市人力资源和社会保障局关于事业单位工作人员岗位设置管理实施意见的通知（澜人社发〔2009〕101号）");
    // 35 characters of 9 points from 83 mm: past B5's edge, inside A4's.
    const std::string longArea = gb("澜坪市人力资源和社会保障局事业单位工作人员工资福利与退休管理科（工资处）制表");
    TPaperSettings a4;
    a4.Paper = TPaper::A4;
    TCheckSheet a4Sheet = CheckSheetFor(a4, true);
    TCheckSheet a4Border = a4Sheet;
    a4Border.borderMm = QMarginsF(4.2, 4.2, 4.2, 4.2);
    TCheckSheet b5Moved = CheckSheetFor(TPaperSettings{TPaper::B5, false, 20.0, 0.0}, true);
    TCheckSheet b5MovedBorder = b5Moved;
    b5MovedBorder.borderMm = QMarginsF(4.2, 4.2, 4.2, 4.2);
    struct Case {
        const char* what;
        int first, last;
        std::string docNo, issuedBy, width;
        TCheckSheet sheet;
        std::vector<std::string> keys;  // in order; an entry's first
    } cases[] = {
        {"as printed by default", 7, 7, "", "", "78", {}, {}},
        {"a long document number", 7, 7, longDoc + longDoc, "", "78", {}, {"opinion-too-long y4"}},
        {"an empty width, said once", 7, 9, "", "", "", {}, {"entry", "cut zw0"}},
        {"a width that is not a number", 7, 7, "", "", "7x", {}, {"entry"}},
        {"a width too wide for the frame", 7, 7, "", "", "200", {}, {"past-line y1"}},
        {"a narrow width", 7, 7, "", "", "20", {}, {"opinion-too-long y4"}},
        {"a long issuing body on B5, said once", 7, 9, "", longArea, "78", {}, {"past-line lb_area", "cut zw0"}},
        {"the same on A4", 7, 7, "", longArea, "78", a4Sheet, {}},
        {"the same on A4 with a printer's border",
         7,
         7,
         "",
         longArea + gb("（一）"),
         "78",
         a4Border,
         {"past-line lb_area"}},
        {"moved right on B5: nothing reaches the edge", 9, 9, "", "", "78", b5Moved, {"cut zw0"}},
        {"moved right into a printer's border",
         9,
         9,
         "",
         "",
         "78",
         b5MovedBorder,
         {"cut zw0", "past-line zw0", "past-line y1"}},
    };
    for (const Case& c : cases) {
        Roster roster;
        if (!c.docNo.empty())
            roster.vdcs.DocNo = c.docNo;
        if (!c.issuedBy.empty())
            roster.vdcs.IssuedBy = c.issuedBy;
        roster.width = c.width;
        TFormCheck check(roster.source);
        check.SetSheet(c.sheet);
        const TCheckReport r = check.CheckRows(c.first, c.last);
        std::vector<std::string> keys;
        for (const auto& p : r.problems)
            keys.push_back(key(p));
        EXPECT_EQ(keys, c.keys) << c.what;
        for (const auto& p : r.problems) {
            if (p.label == "lb_area" || p.kind == TCheckKind::EntryField) {
                EXPECT_EQ(p.row, 0) << c.what;
            }
            if (p.kind == TCheckKind::PastLine && c.sheet.borderMm.right() > 0) {
                EXPECT_NE(p.message.toStdString().find("打印机"), std::string::npos)
                    << c.what << ": " << p.message.toStdString();
                EXPECT_GT(p.offPaperMm, 0) << c.what;
            }
        }
        if (c.width == "" && !r.problems.empty()) {
            EXPECT_EQ(r.problems[0].message.toStdString(),
                      "申报意见栏每行宽度“”不是整数：'' is not a valid integer value。"
                      "每一份表都要按它折行，打印到第一份就会中断")
                << c.what;
            EXPECT_EQ(r.EntryProblems(), 1);
        }
    }
}

// Overlaps a printer cannot show are no problem; the rest are given to the
// nearest tenth of a millimetre.  Reasons for the change (a box as wide as
// its text, bold) are tried until their ink ends at each distance from the
// rule on the right.
TEST(Check, OverlapsUnderATenthAreNoProblemAndAreRoundedHonestly)
{
    Roster roster;
    TFormCheck check(roster.source);
    check.CheckRow(kFirstRow);
    const TApprovalForm& form = check.Form();
    const qr::TQRLabel& reason = *form.ReasonLabel;
    const auto bands = form.Report->FirstPageBands();
    const auto band = std::find_if(bands.begin(), bands.end(), [&](const auto& b) { return b.band == reason.Parent; });
    ASSERT_NE(band, bands.end());
    double rule = 1e9;  // the nearest vertical rule right of the box beside it
    for (const auto& s : band->band->Shapes)
        if (s->Width < s->Height && s->Left > reason.Left && s->Top < reason.Top + reason.Height &&
            s->Top + s->Height > reason.Top)
            rule = std::min(rule, band->x / 10 + s->Left);

    // Distance of the ink past the rule (mm) -> a reason that makes it.
    qr::TQRLabel probe = reason;
    std::map<int, QString> byHundredth;
    const QString base = QStringLiteral("因工作需要调整岗位");
    const std::string tails = "abcdefghkpqwABDGHKLMNOUVXYZ";
    for (char a : tails)
        for (char b : tails) {
            probe.Caption = base + a + b;
            double right = -1e9;
            for (const qr::QRItem& it : qr::LayOutLabel(probe, band->x, band->y))
                if (it.kind == qr::QRItem::Text)
                    right = std::max(right, qr::TextInk(it).right() / 10);
            byHundredth.emplace(int(std::floor((right - rule) * 100)), probe.Caption);
        }
    struct Case {
        int from, to;         // hundredths of a millimetre past the rule
        const char* printed;  // the message's figure; null: no problem
    } cases[] = {{1, 9, nullptr}, {10, 14, "0.1"}, {15, 24, "0.2"}, {25, 34, "0.3"}};
    struct Cells : TFillSource {
        const TFillSource& inner;
        QString reason;
        explicit Cells(const TFillSource& s) : inner(s) {}
        int CurRow() const override { return inner.CurRow(); }
        QString CellText(int r, int c) const override { return c == col::Reason ? reason : inner.CellText(r, c); }
        QString OpinionWidthText() const override { return inner.OpinionWidthText(); }
        QString DocNo() const override { return inner.DocNo(); }
        QDate PrintDate() const override { return inner.PrintDate(); }
        QString IssuedBy() const override { return inner.IssuedBy(); }
    } cells(roster.source);
    TFormCheck probing(cells);
    for (const Case& c : cases) {
        const auto it = byHundredth.lower_bound(c.from);
        ASSERT_TRUE(it != byHundredth.end() && it->first <= c.to) << "no reason ends " << c.from << "/100 mm past";
        cells.reason = it->second;
        std::vector<std::string> keys;
        std::string message;
        for (const TCheckProblem& p : probing.CheckRow(kFirstRow)) {
            keys.push_back(key(p));
            message = p.message.toStdString();
        }
        if (!c.printed) {
            EXPECT_TRUE(keys.empty()) << it->first << "/100 mm: " << message;
            continue;
        }
        EXPECT_EQ(keys, std::vector<std::string>{"past-line lb_bdyy"}) << it->first;
        EXPECT_NE(message.find(std::string("越过右边的表格线 ") + c.printed + " 毫米"), std::string::npos)
            << it->first << "/100 mm: " << message;
    }
}

// ---- agreement with the printed page ----------------------------------------

namespace {

struct Word {
    double xMin, yMin, xMax, yMax;  // points
    QString text;
};

std::vector<std::vector<Word>> pdfWords(const QString& pdf)
{
    QProcess p;
    p.start("pdftotext", {"-bbox", pdf, "-"});
    p.waitForFinished(120000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    std::vector<std::vector<Word>> pages;
    static const QRegularExpression re(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    for (auto it = re.globalMatch(out); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith("<page")) {
            pages.emplace_back();
            continue;
        }
        QString text = m.captured(5);
        text.replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"");
        pages.back().push_back({m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                                m.captured(4).toDouble(), text});
    }
    return pages;
}

constexpr double kPt = 72 / 25.4;  // points per millimetre
constexpr int kDpi = 150;          // the pictures the rules are looked at in
constexpr double kPx = kDpi / 25.4;

// What shows: no blanks of any kind.
QString visible(const QString& s)
{
    QString out;
    for (const QChar c : s)
        if (!c.isSpace())
            out += c;
    return out;
}

// The page's own reading of the kinds, from what it shows.
bool realYearMonth(const QString& text)
{
    static const QRegularExpression re(
        QStringLiteral("^([0-9]{4})(?:[./-]([0-9]{1,2})(?:[./-][0-9]{1,2})?|年([0-9]{1,2})月(?:[0-9]{1,2}日)?)$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    const int year = m.captured(1).toInt(), month = (m.captured(2) + m.captured(3)).toInt();
    return year > 1900 && year < 2100 && month >= 1 && month <= 12;
}
bool wholeNumber(const QString& text) { return QRegularExpression("^[+-]?[0-9]+$").match(text).hasMatch(); }
bool decimalNumber(const QString& text)
{
    return QRegularExpression("^[+-]?[0-9]+(\\.[0-9]+)?$").match(text).hasMatch();
}

// The check's verdicts and the page's, one kind at a time.
struct Tally {
    struct Counts {
        int cases = 0, problems = 0, misses = 0, falseAlarms = 0;
    };
    std::map<std::string, Counts> kinds;
    int undecided = 0;  // texts past a rule by less than the advance's margin: either verdict holds
    void Add(const std::string& kind, bool onPage, bool reported, const std::string& what)
    {
        Counts& c = kinds[kind];
        ++c.cases;
        c.problems += onPage;
        if (onPage && !reported) {
            ++c.misses;
            ADD_FAILURE() << kind << " missed: " << what;
        } else if (!onPage && reported) {
            ++c.falseAlarms;
            ADD_FAILURE() << kind << " false alarm: " << what;
        }
    }
};

struct PaperCase {
    const char* what;
    QStringList args;  // vdmq-print's paper options
    TPaperSettings paper;
    bool pictures;  // look at the rules in pictures of the pages too
};

// One printed form against the check of its row.
struct PageCheck {
    const std::vector<Word>& words;
    const QImage& picture;  // null when not looked at
    const std::vector<TCheckProblem>& problems;
    const TApprovalForm& form;
    QPointF shift;      // mm
    double sheetWidth;  // mm
    int row;
    const TFillSource& cells;
    Tally& tally;

    const TCheckProblem* problem(TCheckKind kind, const std::string& label, int column = 0) const
    {
        for (const TCheckProblem& p : problems)
            if (p.kind == kind && p.label == label && (column == 0 || p.column == column))
                return &p;
        return nullptr;
    }
    std::string what(const std::string& label) const { return "row " + std::to_string(row) + " " + label; }

    // Words of a line (by their middle) from x0 on, left to right.
    std::vector<Word> line(double top, double height, double x0 = -1e9) const
    {
        std::vector<Word> out;
        for (const Word& w : words) {
            const double mid = (w.yMin + w.yMax) / 2;
            if (mid > top && mid < top + height && w.xMin >= x0)
                out.push_back(w);
        }
        std::sort(out.begin(), out.end(), [](const Word& a, const Word& b) { return a.xMin < b.xMin; });
        return out;
    }
    // A label's place on the sheet, in points.
    QRectF placeOf(const qr::TQRBandPlace& band, const qr::TQRLabel& label) const
    {
        return QRectF((band.x / 10 + label.Left + shift.x()) * kPt, (band.y / 10 + label.Top + shift.y()) * kPt,
                      label.Width * kPt, label.Height * kPt);
    }
    // What the page shows in a box: the words that start in it.
    QString boxText(const QRectF& box, double lineHeight) const
    {
        QString text;
        for (const Word& w : line(box.top(), lineHeight))
            if (w.xMin >= box.left() - 0.5 && w.xMin < box.right())
                text += visible(w.text);
        return text;
    }
    // The opinion as printed: its four lines, right of the captions, one
    // space between words (or none: only what shows).
    QString opinion(const qr::TQRBandPlace& band, bool spaced = false) const
    {
        QString text;
        for (const qr::TQRLabel* l : {form.OpinionLine1, form.OpinionLine2, form.OpinionLine3, form.OpinionLine4}) {
            bool first = true;
            for (const Word& w : line(placeOf(band, *l).top(), l->Font.Size, (band.x / 10 + 18 + shift.x()) * kPt)) {
                if (spaced && !first)
                    text += u' ';
                text += visible(w.text);
                first = false;
            }
        }
        return text;
    }
    // Whether the rule at x (mm on the sheet) shows a white gap of at least
    // half a millimetre between y0 and y1.
    bool gapInRule(double x, double y0, double y1) const
    {
        // A thin rule comes out one pixel wide, wherever in its width.
        const int from = int(std::floor(x * kPx)) - 1, to = int(std::ceil((x + 0.26) * kPx)) + 1;
        int run = 0, longest = 0;
        for (int py = int((y0 + 0.3) * kPx); py < int((y1 - 0.3) * kPx); ++py) {
            int darkest = 255;
            for (int px = from; px <= to; ++px)
                darkest = std::min(darkest, qGray(picture.pixel(px, py)));
            run = darkest > 128 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        return longest >= 0.5 * kPx;
    }

    void Label(const qr::TQRBandPlace& band, const qr::TQRLabel& label);
    void Kinds(const qr::TQRBandPlace& band);
};

// Cut characters, texts past a rule or off the paper, the white ground of
// blanks over a rule, an opinion of more than four lines.
void PageCheck::Label(const qr::TQRBandPlace& band, const qr::TQRLabel& label)
{
    const QString caption = visible(label.Caption);
    if (caption.isEmpty())
        return;
    const std::string w = what(label.Name);
    const QRectF box = placeOf(band, label);
    const double lineHeight = label.Font.Size;
    // The label's words: from the first in its box that starts its text,
    // as long as they go on with it.
    QString shown;
    double end = 0;
    for (const Word& word : line(box.top(), lineHeight)) {
        const QString text = visible(word.text);
        if (shown.isEmpty() && (word.xMin < box.left() - 1 || word.xMin > box.right() + 1 || !caption.startsWith(text)))
            continue;
        if (!caption.startsWith(shown + text))
            break;
        shown += text;
        end = word.xMax;
    }
    const TCheckProblem *cut = nullptr, *past = nullptr, *blank = nullptr, *tooLong = nullptr;
    for (const TCheckProblem& p : problems) {
        if (p.label != label.Name)
            continue;
        if (p.kind == TCheckKind::TextCut)
            cut = &p;
        if (p.kind == TCheckKind::OpinionTooLong)
            tooLong = &p;
        if (p.pastMm > 0 && !p.blankOnly)
            past = &p;
        if (p.blankOnly)
            blank = &p;
    }
    // Off the paper, the PDF keeps no text, and a character across the
    // paper's edge loses part of its ink: lost as well.
    const bool offPaper = past && past->offPaperMm > 0;
    tally.Add("cut", shown != caption || end > sheetWidth * kPt, cut || offPaper,
              w + ": printed '" + shown.toStdString() + "' of '" + caption.toStdString() + "'");
    if (cut) {
        EXPECT_EQ(caption.size() - shown.size(), cut->cutChars) << w;
    }

    // The nearest rule right of the box on its line, or the paper's edge.
    double rule = 1e9;
    for (const auto& s : band.band->Shapes) {
        const double x = (band.x / 10 + s->Left + shift.x()) * kPt;
        const double y0 = (band.y / 10 + s->Top + shift.y()) * kPt, y1 = y0 + s->Height * kPt;
        if (s->Width < s->Height && x > box.left() + 1 && y0 < box.top() + lineHeight / 2 &&
            y1 > box.top() + lineHeight / 2)
            rule = std::min(rule, x);
    }
    const double crossed = std::min(rule, sheetWidth * kPt);
    // The words end where their last character's advance ends; its ink
    // stops short of that by up to half a millimetre.  Nothing past by
    // less than kVisibleOverlapMm is reported, so a page past by less
    // than that plus the margin may go either way.
    const double over = (end - crossed) / kPt;  // mm
    if (over >= kVisibleOverlapMm + 0.5 || over < kVisibleOverlapMm)
        tally.Add("past-line", over > 0, past != nullptr, w + ": " + std::to_string(over) + " mm past");
    else
        ++tally.undecided;
    if (past && over > 0) {
        // Off the paper only the edge can be compared: the last character
        // kept is the one the edge cuts through.
        if (offPaper)
            EXPECT_NEAR(past->pastMm - past->offPaperMm, over, 4) << w;
        else
            EXPECT_NEAR(past->pastMm, over, 0.6 + over * 0.005) << w;
    }
    // A white gap in that rule where no word crosses it: blanks' ground.
    if (!picture.isNull() && rule < 1e8) {
        const bool gap = gapInRule(rule / kPt, box.top() / kPt, box.top() / kPt + lineHeight / kPt);
        tally.Add("past-line (blanks over a rule)", gap && over <= 0, blank != nullptr, w);
    }
    if (label.Name == "y4") {
        // Four lines are too few when the fourth is longer than the third.
        const QString third = boxText(placeOf(band, *form.OpinionLine3).adjusted(0, 0, 1000, 0), lineHeight);
        const QString fourth = boxText(placeOf(band, *form.OpinionLine4).adjusted(0, 0, 1000, 0), lineHeight);
        tally.Add("opinion-too-long", toGb(fourth).size() > toGb(third).size(), tooLong != nullptr, w);
    }
}

// Required cells, year-months and numbers, read from the printed page.
void PageCheck::Kinds(const qr::TQRBandPlace& band)
{
    auto boxOf = [&](const qr::TQRLabel& l) { return boxText(placeOf(band, l), l.Font.Size); };
    const bool nameShown = !boxOf(*form.NameLabel).isEmpty();
    const bool emptyName = std::any_of(problems.begin(), problems.end(), [](const TCheckProblem& p) {
        return p.kind == TCheckKind::EmptyRequired && p.column == col::Name;
    });
    tally.Add("empty", !nameShown, emptyName, what("l_xm"));

    for (const qr::TQRLabel* l : {form.BornLabel, form.StartedWorkLabel, form.ServiceFromLabel, form.OldAppointedLabel,
                                  form.NewAppointedLabel}) {
        const QString text = boxOf(*l);
        tally.Add("year-month", !text.isEmpty() && !realYearMonth(text),
                  problem(TCheckKind::BadYearMonth, l->Name) != nullptr, what(l->Name) + " " + text.toStdString());
    }
    // The reason for the change: a point the cell does not have.
    const QString reason = boxOf(*form.ReasonLabel);
    tally.Add("year-month", reason.count(u'.') > cells.CellText(row, col::Reason).count(u'.'),
              problem(TCheckKind::BadYearMonth, "lb_bdyy") != nullptr, what("lb_bdyy") + " " + reason.toStdString());
    // The month of effect: nothing between 从 and 年, or before 月.
    const QString opinionText = opinion(band);
    static const QRegularExpression noMonth(QStringLiteral("(^|[^0-9])年月"));
    tally.Add("year-month", noMonth.match(opinionText).hasMatch(),
              problem(TCheckKind::BadYearMonth, "", col::Appointed) != nullptr,
              what("opinion") + " " + opinionText.toStdString());

    struct Number {
        const qr::TQRLabel* label;
        bool compared;  // the opinion's words follow it
    } numbers[] = {
        {form.OldTotalLabel, false}, {form.OldGradeLabel, true},    {form.OldPostPayLabel, true},
        {form.OldScaleLabel, false}, {form.OldScalePayLabel, true}, {form.OldTenPercentLabel, false},
        {form.NewTotalLabel, false}, {form.NewGradeLabel, true},    {form.NewPostPayLabel, true},
        {form.NewScaleLabel, false}, {form.NewScalePayLabel, true}, {form.NewTenPercentLabel, false},
    };
    // The post grades and salaries as the fixed wording prints them (the
    // boxes may show only part of a figure).
    static const QRegularExpression grades(
        QStringLiteral("岗位工资由(\\S*) (\\S*) 元(?:降低为|晋升到)(\\S*) (\\S*) 元"));
    const auto g = grades.match(opinion(band, true));
    const std::map<const qr::TQRLabel*, QString> inOpinion = {{form.OldGradeLabel, g.captured(1)},
                                                              {form.OldPostPayLabel, g.captured(2)},
                                                              {form.NewGradeLabel, g.captured(3)},
                                                              {form.NewPostPayLabel, g.captured(4)}};
    for (const Number& n : numbers) {
        const QString text = boxOf(*n.label);
        bool bad = !text.isEmpty() && !(n.compared ? wholeNumber(text) : decimalNumber(text));
        if (const auto it = inOpinion.find(n.label); it != inOpinion.end() && !it->second.isEmpty())
            bad = bad || !wholeNumber(it->second);
        tally.Add("number", bad, problem(TCheckKind::NotANumber, n.label->Name) != nullptr,
                  what(n.label->Name) + " " + text.toStdString());
    }
    // The monthly change, where the wording puts it.
    static const QRegularExpression rise(QStringLiteral("月[增减]资(.*?)元"));
    const auto m = rise.match(opinionText);
    tally.Add("number", m.hasMatch() && !decimalNumber(m.captured(1)),
              problem(TCheckKind::NotANumber, "", col::MonthlyRise) != nullptr,
              what("Y") + " " + m.captured(1).toStdString());
}

struct PrintedRun {
    std::vector<std::vector<Word>> pages;
    std::vector<QImage> pictures;
    std::map<int, QString> failed;  // row -> the run's message
};

PrintedRun printRoster(const QTemporaryDir& dir, const QStringList& extra, bool pictures)
{
    PrintedRun run;
    const QString pdf = dir.filePath("check.pdf");
    QFile::remove(pdf);
    QProcess tool;
    tool.start(VDMQ_BINARY_DIR "/app/vdmq-print",
               QStringList{QString::fromStdString(kCheckRoster), "--start", QString::number(kFirstRow), "--end",
                           QString::number(kLastRow), "--date", "2009-07-01 12:00:00", "--keep-going", "--pdf", pdf} +
                   extra);
    tool.waitForFinished(120000);
    // "vdmq-print: 第 12 行：message" for each row the run could not fill.
    static const QRegularExpression rowError(QStringLiteral("^vdmq-print: 第 (\\d+) 行：(.*)$"),
                                             QRegularExpression::MultilineOption);
    const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
    for (auto it = rowError.globalMatch(err); it.hasNext();) {
        const auto m = it.next();
        run.failed[m.captured(1).toInt()] = m.captured(2);
    }
    run.pages = pdfWords(pdf);
    if (pictures) {
        QProcess ppm;
        ppm.start("pdftoppm", {"-r", QString::number(kDpi), "-gray", pdf, dir.filePath("page")});
        ppm.waitForFinished(300000);
        for (std::size_t i = 1; i <= run.pages.size(); ++i) {
            const int digits = run.pages.size() >= 10 ? 2 : 1;
            run.pictures.emplace_back(dir.filePath(QStringLiteral("page-%1.pgm").arg(i, digits, 10, QLatin1Char('0'))));
        }
    }
    return run;
}

}  // namespace

// Every kind the check reports, against the printed page: on each paper and
// position, every row of check.xls printed to PDF (the rows that cannot be
// filled skipped), its words read back, its rules looked at; then the same
// rows checked on the same sheet.  No miss, no false alarm.
TEST(Check, AgreesWithThePrintedPageForEveryKind)
{
    const PaperCase papers[] = {
        {"B5", {}, {}, true},
        {"A4 top left", {"--paper", "a4"}, {TPaper::A4, false, 0, 0}, false},
        {"A4 centred", {"--paper", "a4", "--centre"}, {TPaper::A4, true, 0, 0}, false},
        {"B5 moved right and down", {"--offset", "6.5,3"}, {TPaper::B5, false, 6.5, 3}, false},
        {"A4 moved left and up", {"--paper", "a4", "--offset", "-3,-2"}, {TPaper::A4, false, -3, -2}, false},
    };
    Tally tally;
    for (const PaperCase& paper : papers) {
        SCOPED_TRACE(paper.what);
        QTemporaryDir dir;
        const PrintedRun printed = printRoster(dir, paper.args, paper.pictures);

        Roster roster;
        const TCheckSheet sheet = CheckSheetFor(paper.paper, true);
        TFormCheck check(roster.source);
        check.SetSheet(sheet);
        const TCheckReport report = check.CheckRows(kFirstRow, kLastRow);
        std::set<int> fillErrors;
        for (const TCheckProblem& p : report.problems)
            if (p.kind == TCheckKind::FillError)
                fillErrors.insert(p.row);

        std::size_t page = 0;
        for (int row = kFirstRow; row <= kLastRow; ++row) {
            bool flagged = true;
            try {
                flagged = col::IsPrintFlag(roster.rows.CellText(row, col::PrintFlag));
            } catch (const std::exception&) {
            }
            if (!flagged)
                continue;
            // A row the run cannot fill has no page; its message is the
            // check's, word for word.
            const bool failed = printed.failed.count(row) > 0;
            tally.Add("fill-error", failed, fillErrors.count(row) > 0, "row " + std::to_string(row));
            if (failed) {
                const TCheckProblem* p = nullptr;
                for (const TCheckProblem& q : report.problems)
                    if (q.row == row && q.kind == TCheckKind::FillError)
                        p = &q;
                if (p) {
                    EXPECT_TRUE(p->message.endsWith(printed.failed.at(row)))
                        << p->message.toStdString() << " / " << printed.failed.at(row).toStdString();
                }
                continue;
            }
            ASSERT_LT(page, printed.pages.size()) << "row " << row;
            const std::vector<TCheckProblem> problems = check.CheckRow(row);
            const TApprovalForm& form = check.Form();
            PageCheck pc{printed.pages[page],
                         paper.pictures ? printed.pictures[page] : QImage(),
                         problems,
                         form,
                         sheet.placement.ShiftMm,
                         sheet.placement.SheetMm.width(),
                         row,
                         roster.source,
                         tally};
            ++page;
            for (const qr::TQRBandPlace& band : form.Report->FirstPageBands()) {
                if (band.band == form.NameLabel->Parent)
                    pc.Kinds(band);
                for (const auto& label : band.band->Labels)
                    if (std::find(DataLabelNames().begin(), DataLabelNames().end(), label->Name) !=
                        DataLabelNames().end())
                        pc.Label(band, *label);
            }
        }
        EXPECT_EQ(page, printed.pages.size());
    }

    // The run's entries, said once: a width that is no number stops every
    // row with the same message; an issuing body past the paper's edge is
    // cut on every page.
    {
        QTemporaryDir dir;
        const PrintedRun printed = printRoster(dir, {"--width", ""}, false);
        Roster roster;
        roster.width = "";
        TFormCheck check(roster.source);
        const TCheckReport report = check.CheckRows(kFirstRow, kLastRow);
        // Every flagged row fails, those with good cells on the width.
        int onWidth = 0;
        for (const auto& [row, message] : printed.failed)
            onWidth += message == QStringLiteral("'' is not a valid integer value");
        const bool everyRow = printed.pages.empty() && int(printed.failed.size()) == report.flaggedRows && onWidth > 20;
        tally.Add("entry", everyRow, report.EntryProblems() == 1 && report.problems[0].kind == TCheckKind::EntryField,
                  "an empty width");
        for (const TCheckProblem& p : report.problems) {
            EXPECT_FALSE(p.kind == TCheckKind::FillError && p.column == 0) << p.row << ": a row blamed for the width";
        }
    }
    {
        QTemporaryDir dir;
        const QString area =
            QStringLiteral("澜坪市人力资源和社会保障局事业单位工作人员工资福利与退休管理科（工资处）制表");
        const PrintedRun printed = printRoster(dir, {"--issued-by", area}, false);
        Roster roster;
        roster.vdcs.IssuedBy = toGb(area);
        TFormCheck check(roster.source);
        const TCheckReport report = check.CheckRows(kFirstRow, kLastRow);
        int cutPages = 0;
        for (const auto& words : printed.pages) {
            QString text;
            for (const Word& w : words)
                if (w.yMin > 225 * kPt)
                    text += visible(w.text);
            cutPages += text.size() < area.size();
        }
        int said = 0;
        for (const TCheckProblem& p : report.problems)
            said += p.label == "lb_area";
        tally.Add("entry", cutPages == int(printed.pages.size()) && cutPages > 0,
                  said == 1 && report.problems[0].label == "lb_area", "a long issuing body");
    }

    std::string summary;
    for (const auto& [kind, c] : tally.kinds) {
        char line[160];
        std::snprintf(line, sizeof line, "%-31s %5d cases  %4d problems  %d missed  %d false alarms\n", kind.c_str(),
                      c.cases, c.problems, c.misses, c.falseAlarms);
        summary += line;
    }
    summary +=
        "past-line, undecided (0.1 to 0.6 mm past by the words' advance): " + std::to_string(tally.undecided) + "\n";
    std::fputs(summary.c_str(), stdout);
    // Every kind met on the page at least once.
    for (const char* kind : {"cut", "past-line", "past-line (blanks over a rule)", "opinion-too-long", "empty",
                             "fill-error", "year-month", "number", "entry"}) {
        EXPECT_GT(tally.kinds[kind].problems, 0) << kind;
    }
}

// Millimetres in the check's messages have a decimal point on a desktop
// whose numbers use a decimal comma, as they do everywhere else.
TEST(Check, MessagesAreTheSameUnderADecimalComma)
{
    Roster roster;
    TFormCheck check(roster.source);
    const TCheckReport withPoint = check.CheckRows(kFirstRow, kLastRow);
    testlocale::ScopedDecimalComma comma;
    if (!comma.ok())
        GTEST_SKIP() << "no locale with a decimal comma (scripts/setup generates de_DE.UTF-8)";
    const TCheckReport r = check.CheckRows(kFirstRow, kLastRow);
    ASSERT_EQ(r.problems.size(), withPoint.problems.size());
    for (std::size_t i = 0; i < r.problems.size(); ++i)
        EXPECT_EQ(r.problems[i].message, withPoint.problems[i].message) << r.problems[i].row;
}
