// The check before paper over tests/data/check/check.xls (see its
// generator): each problem on its row and nowhere else, the inputs of the
// print that change the verdict, and agreement with the printed page
// (pdftotext -bbox of vdmq-print --pdf).  The run's question is tested with
// the main window (test_check_dialog), --check with vdmq-print.
#include "app/core/printrun.h"
#include "form/RosterColumns.h"
#include "form/VdPrnCheck.h"
#include "platform/gbtext.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

using namespace vdmq;

namespace {

const std::string kCheckRoster = VDMQ_TESTDATA "/check/check.xls";

// A roster open through the run's own reader, with the inputs of a print.
struct Roster {
    TVdcs vdcs;
    TExcelApplication excel;
    TExcelWorksheet sheet;
    TExcelRunReader reader{excel, sheet};
    std::string width = "78";
    TRunFillSource source{vdcs, reader, [this] { return width; }};

    explicit Roster(const std::string& path = kCheckRoster)
    {
        vdcs.DocNo = gb("澜人发(2007)71号");
        vdcs.IssuedBy = gb("澜坪市人事局工资处制");
        vdcs.PrintDate = ToDateTime(QDateTime(QDate(2009, 7, 1), QTime(12, 0)));
        reader.Connect();
        reader.Open(gb(path));
        reader.AttachFirstSheet();
    }
    ~Roster() { reader.Disconnect(); }
};

// "cut zw0", "empty B", "fill-error", "fill-error AB": kind and where.
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
    const TCheckReport r = check.CheckRows(7, 21);
    const std::map<int, std::vector<std::string>> expected = {
        {9, {"cut zw0"}},
        {10, {"empty B"}},
        {11, {"empty H", "fill-error"}},
        {12, {"fill-error"}},
        {13, {"opinion-too-long y4"}},
        {14, {"past-line lb_bdyy"}},
        {15, {"cut m_gw1"}},
        {16, {"cut zw1"}},
        {17, {"fill-error AB"}},
        {18, {"cut l_xm"}},
        {19, {"empty B"}},
        {21, {"past-line y1"}},
    };
    EXPECT_EQ(byRow(r), expected);
    EXPECT_EQ(r.rowsRead, 15);
    EXPECT_EQ(r.flaggedRows, 14);  // row 8 is not flagged; row 17's flag cannot be read
    EXPECT_EQ(r.RowsWithProblems(), 12);

    // What the user reads: what prints, what is lost, the run's own error.
    struct Detail {
        int row;
        const char* key;
        const char* shown;
        const char* cut;
        int chars;
    } details[] = {
        {9, "cut zw0", "第一中学中学高级", "教师", 2},
        {15, "cut m_gw1", "123456", "7.5", 3},
        {18, "cut l_xm", "买买提·", "吐尔逊", 3},
    };
    for (const Detail& d : details) {
        const TCheckProblem* p = find(r, d.row, d.key);
        ASSERT_TRUE(p) << d.row;
        EXPECT_EQ(utf8FromGb(p->shownText), d.shown) << d.row;
        EXPECT_EQ(utf8FromGb(p->cutText), d.cut) << d.row;
        EXPECT_EQ(p->cutChars, d.chars) << d.row;
    }
    const TCheckProblem* month = find(r, 12, "fill-error");
    ASSERT_TRUE(month);
    EXPECT_TRUE(month->message.ends_with("'.7' is not a valid integer value")) << month->message;
    EXPECT_EQ(utf8FromGb(month->name), "孙丽");
    EXPECT_EQ(utf8FromGb(find(r, 9, "cut zw0")->message),
              "职务(岗位)（G列）印不下：只印出“第一中学中学高级”，少印 2 个字“教师”");
    EXPECT_EQ(utf8FromGb(find(r, 10, "empty B")->message), "姓名（B列）为空");
    const TCheckProblem* opinion = find(r, 13, "opinion-too-long y4");
    ASSERT_TRUE(opinion);
    EXPECT_GT(opinion->extraBytes, 0);
    EXPECT_GT(opinion->offPaperMm, 0);  // that long a fourth line leaves the paper
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
        {kCheckRoster, 22, 400, 0},  // below the last row
    };
    for (const Case& c : cases) {
        Roster roster(c.roster);
        TFormCheck check(roster.source);
        const TCheckReport r = check.CheckRows(c.first, c.last);
        EXPECT_TRUE(r.problems.empty()) << c.roster << " " << c.first << ": " << key(r.problems.front()) << " "
                                        << r.problems.front().message;
        EXPECT_EQ(r.flaggedRows, c.flagged) << c.roster << " " << c.first;
    }
}

// The verdict follows the inputs of the print: the document number and the
// width shape the opinion, the issuing body has its own line.
TEST(Check, SettingsOfThePrintChangeTheVerdict)
{
    const std::string longDoc =
        gb("澜坪市人力资源和社会保障局关于事业单位工作人员岗位设置管理实施意见的通知（澜人社发〔2009〕101号）");
    struct Case {
        const char* what;
        std::string docNo, issuedBy, width;
        std::vector<std::string> keys;
    } cases[] = {
        {"as printed by default", "", "", "78", {}},
        {"a long document number", longDoc + longDoc, "", "78", {"opinion-too-long y4"}},
        {"a width that is not a number", "", "", "7x", {"fill-error"}},
        {"a width too wide for the frame", "", "", "200", {"past-line y1"}},
        {"a narrow width", "", "", "20", {"opinion-too-long y4"}},
        {"a long issuing body",
         "",
         gb("澜坪市人力资源和社会保障局事业单位工作人员工资福利与退休管理科（工资处）制表，联系电话：0888-1234567"),
         "78",
         {"past-line lb_area"}},
    };
    for (const Case& c : cases) {
        Roster roster;
        if (!c.docNo.empty())
            roster.vdcs.DocNo = c.docNo;
        if (!c.issuedBy.empty())
            roster.vdcs.IssuedBy = c.issuedBy;
        roster.width = c.width;
        TFormCheck check(roster.source);
        const TCheckReport r = check.CheckRows(7, 7);
        std::vector<std::string> keys;
        for (const auto& p : r.problems)
            keys.push_back(key(p));
        EXPECT_EQ(keys, c.keys) << c.what;
        if (c.width == "7x" && !r.problems.empty()) {
            EXPECT_TRUE(r.problems[0].message.ends_with("'7x' is not a valid integer value")) << c.what;
        }
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
    p.waitForFinished(60000);
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

QString visible(const QString& s)
{
    QString out = s;
    out.remove(u' ').remove(u'\r').remove(u'\n');
    return out;
}

}  // namespace

// Every data label of every printed form: the check calls a text cut
// exactly when the page lacks part of it, and says a text runs past a rule
// (or the paper's edge) exactly when the page's words do, by as much.
TEST(Check, AgreesWithThePrintedPage)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("check.pdf");
    QProcess tool;
    tool.start(VDMQ_BINARY_DIR "/app/vdmq-print", {QString::fromStdString(kCheckRoster), "--start", "7", "--end", "21",
                                                   "--date", "2009-07-01 12:00:00", "--keep-going", "--pdf", pdf});
    tool.waitForFinished(60000);
    const auto pages = pdfWords(pdf);
    // Rows 11, 12 and 17 stop a run: --keep-going skips them.
    const std::vector<int> printed = {7, 9, 10, 13, 14, 15, 16, 18, 19, 20, 21};
    ASSERT_EQ(pages.size(), printed.size()) << tool.readAllStandardError().toStdString();

    Roster roster;
    TFormCheck check(roster.source);
    int labelsCompared = 0, cutsSeen = 0, pastSeen = 0;
    for (std::size_t i = 0; i < printed.size(); ++i) {
        const int row = printed[i];
        const std::vector<TCheckProblem> problems = check.CheckRow(row);
        const TVdPrnForm& form = check.Form();
        for (const qr::TQRBandPlace& band : form.qrVDMQ->FirstPageBands()) {
            for (const auto& label : band.band->Labels) {
                if (!form.Label(label->Name) ||
                    std::find(DataLabelNames().begin(), DataLabelNames().end(), label->Name) == DataLabelNames().end())
                    continue;
                const QString caption = visible(fromGb(label->Caption));
                if (caption.isEmpty())
                    continue;
                ++labelsCompared;
                const std::string what = "row " + std::to_string(row) + " " + label->Name;
                // The label's line on the paper, in points.
                const double top = (band.y / 10 + label->Top) * kPt, left = (band.x / 10 + label->Left) * kPt;
                const double right = left + label->Width * kPt, lineHeight = label->Font.Size;
                std::vector<Word> line;
                for (const Word& w : pages[i]) {
                    const double mid = (w.yMin + w.yMax) / 2;
                    if (mid > top && mid < top + lineHeight)
                        line.push_back(w);
                }
                std::sort(line.begin(), line.end(), [](const Word& a, const Word& b) { return a.xMin < b.xMin; });
                // The label's words: from the first in its box that starts
                // its text, as long as they go on with it.
                QString shown;
                double end = 0;
                for (const Word& w : line) {
                    const QString text = visible(w.text);
                    if (shown.isEmpty() && (w.xMin < left - 1 || w.xMin > right + 1 || !caption.startsWith(text)))
                        continue;
                    if (!caption.startsWith(shown + text))
                        break;
                    shown += text;
                    end = w.xMax;
                }
                const TCheckProblem *cut = nullptr, *past = nullptr;
                for (const TCheckProblem& p : problems) {
                    if (p.label != label->Name)
                        continue;
                    if (p.kind == TCheckKind::TextCut)
                        cut = &p;
                    if (p.pastMm > 0)
                        past = &p;
                }
                // Off the paper, the PDF keeps no text: lost as well.
                const bool offPaper = past && past->offPaperMm > 0;
                EXPECT_EQ(shown != caption, cut || offPaper)
                    << what << ": printed '" << shown.toStdString() << "' of '" << caption.toStdString() << "'";
                if (cut) {
                    ++cutsSeen;
                    EXPECT_EQ(caption.size() - shown.size(), cut->cutChars) << what;
                }

                // The nearest rule the printed words cross, or the paper's edge.
                double crossed = 182 * kPt;
                for (const auto& s : band.band->Shapes) {
                    const double x = (band.x / 10 + s->Left) * kPt;
                    const double y0 = (band.y / 10 + s->Top) * kPt, y1 = y0 + s->Height * kPt;
                    if (s->Width < s->Height && x > left + 1 && y0 < top + lineHeight / 2 && y1 > top + lineHeight / 2)
                        crossed = std::min(crossed, x);
                }
                const double over = (end - crossed) / kPt;  // mm
                EXPECT_EQ(over > 0, past != nullptr) << what << ": " << over << " mm past";
                if (past && over > 0) {
                    ++pastSeen;
                    // The page's fonts are drawn at the PDF's resolution; allow its
                    // rounding.  Off the paper only the edge can be compared: the
                    // last character kept is the one the edge cuts through.
                    if (offPaper)
                        EXPECT_NEAR(past->pastMm - past->offPaperMm, over, 4) << what;
                    else
                        EXPECT_NEAR(past->pastMm, over, 0.6 + over * 0.005) << what;
                }
            }
        }
    }
    EXPECT_GT(labelsCompared, 250);
    EXPECT_EQ(cutsSeen, 4);  // rows 9, 15, 16, 18
    EXPECT_EQ(pastSeen, 3);  // rows 13, 14, 21
}
