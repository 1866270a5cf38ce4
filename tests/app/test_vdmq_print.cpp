// vdmq-print as a user runs it: options, exit codes, messages and outputs.
#include "app/core/paper.h"
#include "form/VdCalibration.h"
#include "form/VdPrnUnit.h"
#include "platform/gbtext.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

#include "cups_helpers.h"
#include "file_helpers.h"
#include "page_helpers.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>

#include <algorithm>
#include <vector>

namespace {

const QString kTool = QStringLiteral(VDMQ_BINARY_DIR "/app/vdmq-print");
QString data(const char* name) { return QStringLiteral(VDMQ_TESTDATA "/printrun/") + QLatin1String(name); }

struct Result {
    int exit = -1;
    QByteArray out;
    QString err;
};

// `fileSizeKb` > 0: under that file-size limit (ulimit -f); `out`: standard
// output goes to that file.
Result run(const QStringList& args, int fileSizeKb = 0, const QString& out = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", "C.UTF-8");
    env.insert("LC_ALL", "C.UTF-8");
    p.setProcessEnvironment(env);
    if (!out.isEmpty())
        p.setStandardOutputFile(out);
    if (fileSizeKb > 0)
        p.start("bash",
                QStringList{"-c", QStringLiteral("ulimit -f %1; exec \"$0\" \"$@\"").arg(fileSizeKb), kTool} + args);
    else
        p.start(kTool, args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            QString::fromUtf8(p.readAllStandardError())};
}

int pdfPages(const QString& pdf)
{
    QProcess info;
    info.start("pdfinfo", {pdf});
    info.waitForFinished();
    const auto m = QRegularExpression(R"(Pages:\s+(\d+)\n)").match(QString::fromUtf8(info.readAllStandardOutput()));
    return info.exitCode() == 0 && m.hasMatch() ? m.captured(1).toInt() : -1;
}

std::vector<QJsonObject> lines(const QByteArray& out)
{
    std::vector<QJsonObject> objects;
    for (const QByteArray& line : out.split('\n'))
        if (!line.isEmpty())
            objects.push_back(QJsonDocument::fromJson(line).object());
    return objects;
}

std::vector<int> rows(const QByteArray& out)
{
    std::vector<int> r;
    for (const QJsonObject& o : lines(out))
        r.push_back(o.value("row").toInt());
    return r;
}

QString caption(const QJsonObject& o, const char* label) { return o["captions"].toObject()[label].toString(); }

class VdmqPrint : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QFile::exists(kTool)) << "build the vdmq-print target first"; }
};

}  // namespace

TEST_F(VdmqPrint, ExitCodesAndMessages)
{
    const QString flags = data("flags.xls"), errors = data("errors.xls");
    struct Case {
        QStringList args;
        int exit;
        QString err;
        std::vector<int> rows;
    } cases[] = {
        {{}, 2, "vdmq-print: 没有给出花名册\n", {}},
        {{flags}, 2, "请从 --fields、--pdf、--text、--printer、--check 中选一项输出", {}},
        {{flags, "--fields", "--text", "x"}, 2, "只能选一项", {}},
        {{flags, "--fields", "--bogus"}, 2, "vdmq-print: 没有这个选项：--bogus\n", {}},
        {{flags, "--fields", "--start", "abc"}, 2, "vdmq-print: --start: 'abc' is not a valid integer value\n", {}},
        {{flags, "--fields", "--end="}, 2, "--end: '' is not a valid integer value", {}},
        {{flags, "--fields", "--date", "2009-13-01"}, 2, "vdmq-print: --date：'2009-13-01' 不是", {}},
        {{flags, "--pdf"}, 2, "--pdf 后面缺少值", {}},
        {{flags, "--fields", "--settings", "/nonexistent/vdmq.ini"}, 2, "--settings：无法读取", {}},
        {{flags, "a.xls", "--fields"}, 2, "给出了不止一个花名册", {}},
        {{data("missing.xls"), "--fields"}, 1, "vdmq-print: 请选择EXCEL数据表格！ 文件不存在", {}},
        {{data("not_a_roster.xls"), "--fields"}, 1, "vdmq-print: 请选择EXCEL数据表格！ ", {}},
        {{errors, "--start", "7", "--end", "12", "--fields"},
         1,
         "vdmq-print: 第 8 行：'' is not a valid integer value\n",
         {7}},
        {{errors, "--start", "7", "--end", "12", "--fields", "--keep-going"},
         1,
         "vdmq-print: 第 8 行：'' is not a valid integer value\n"
         "vdmq-print: 第 9 行：第9行第28列（AB9）的单元格是错误值#DIV/0!，不能转换为文本\n"
         "vdmq-print: 第 11 行：第11行第2列（B11）的单元格是错误值#N/A，不能转换为文本\n",
         {7, 10, 12}},
        {{flags, "--start", "7", "--end", "9", "--width", "7x", "--fields"},
         1,
         "vdmq-print: 第 7 行：'7x' is not a valid integer value\n",
         {}},
        {{flags, "--fields", "--printer", "nosuch-queue"}, 2, "只能选一项", {}},
        {{flags, "--printer", "nosuch-queue"}, 1, "vdmq-print: 没有名为“nosuch-queue”的打印机\n", {}},
        // Nothing to print is said, as the manual page promises (--fields
        // used to print nothing at all).
        {{flags, "--start", "8", "--end", "8", "--fields"},
         0,
         "vdmq-print: 第 8 至 8 行中没有打印标志为 1 的人员\n",
         {}},
        // Rows below 1 hold nothing: the walk starts at row 1 (it used to
        // walk two billion empty rows first).
        {{flags, "--start", "-2147483648", "--end", "9", "--fields"}, 0, "", {7}},
        {{flags, "--start", "15", "--end", "7", "--fields"}, 0, "vdmq-print: 开始行号 15 大于结束行号 7\n", {}},
        {{flags, "--pdf", "x.pdf", "--paper", "letter"}, 2, "--paper：'letter'", {}},
        {{flags, "--fields", "--paper", "a4"}, 2, "只用于 --pdf、--printer 和 --check", {}},
        {{flags, "--text", "x.txt", "--offset", "1,1"}, 2, "只用于 --pdf、--printer 和 --check", {}},
        {{flags, "--pdf", "x.pdf", "--offset", "1.25,0"}, 2, "--offset：'1.25,0'", {}},
        {{flags, "--pdf", "x.pdf", "--offset", "0,20.5"}, 2, "--offset：'0,20.5'", {}},
        {{flags, "--pdf", "x.pdf", "--offset", "3"}, 2, "--offset：'3'", {}},
        {{flags, "--pdf", "x.pdf", "--paper", "b5", "--centre"}, 2, "只用于 A4 纸", {}},
        {{"--calibration-page", "--fields"}, 2, "只能与 --pdf 或 --printer 同用", {}},
        {{flags, "--calibration-page", "--pdf", "x.pdf"}, 2, "不用花名册", {}},
        {{"--calibration-page"}, 2, "中选一项输出", {}},
    };
    for (const Case& c : cases) {
        const Result r = run(c.args);
        const QString what = c.args.join(' ');
        EXPECT_EQ(r.exit, c.exit) << what.toStdString() << "\n" << r.err.toStdString();
        // Row errors and run failures are checked whole; usage errors by their first line.
        if (c.err.isEmpty() || (c.exit != 2 && c.err.endsWith('\n')))
            EXPECT_EQ(r.err, c.err) << what.toStdString();
        else
            EXPECT_TRUE(r.err.contains(c.err)) << what.toStdString() << "\n" << r.err.toStdString();
        EXPECT_EQ(rows(r.out), c.rows) << what.toStdString();
    }
}

// The users read Chinese: the help says everything in it, with no English
// line beside it.
TEST_F(VdmqPrint, HelpInChinese)
{
    const Result r = run({"--help"});
    EXPECT_EQ(r.exit, 0);
    const QString help = QString::fromUtf8(r.out);
    for (const char* s : {"用法", "--keep-going", "--printer", "--check", "--json", "退出码"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(s))) << s;
    for (const char* s : {"Usage", "Exit status", "Options", "default", " / "})
        EXPECT_FALSE(help.contains(QString::fromUtf8(s))) << s;
}

TEST_F(VdmqPrint, FieldsCarryEveryCaptionInUtf8)
{
    const Result r = run({data("flags.xls"), "--start", "7", "--end", "15", "--doc-no", "澜人发(2009)3号",
                          "--issued-by", "澜坪市人事局", "--date", "2009-07-01 08:30:00", "--fields"});
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    const auto objects = lines(r.out);
    ASSERT_EQ(rows(r.out), (std::vector<int>{7, 11, 13, 15}));
    for (const QJsonObject& o : objects) {
        const QStringList keys = o["captions"].toObject().keys();
        EXPECT_EQ(keys.size(), 32);
        for (const std::string& name : vdmq::DataLabelNames())
            EXPECT_TRUE(keys.contains(QString::fromStdString(name))) << name;
        EXPECT_EQ(caption(o, "Lb_year"), QString::fromUtf8("2009 年 7 月 1 日"));
        EXPECT_EQ(caption(o, "lb_area"), QString::fromUtf8("澜坪市人事局"));
    }
    const QJsonObject& first = objects[0];
    EXPECT_EQ(caption(first, "y1") + caption(first, "y2") + caption(first, "y3") + caption(first, "y4"),
              QString::fromUtf8("根据澜人发(2009)3号文件规定，该同志职务由第一中学中学一级教师晋升为"
                                "第一中学中学高级教师，拟同意其岗位工资由7 590 元晋升到8 680 元，"
                                "薪级工资不变，（提高工资10%部分由 59 元增加到 68 元），月增资 99 元，"
                                "从 2009 年 08 月起执行。"));
    // A four-byte character comes through whole.
    EXPECT_EQ(caption(objects[1], "l_xm"), QString::fromUtf8("𠮷祥"));
    EXPECT_EQ(caption(objects[3], "l_ny2"), QString::fromUtf8("2009.12"));

    // The width is the line length in bytes; line 1 is four narrower.
    const Result narrow = run({data("flags.xls"), "--width", "30", "--fields"});
    ASSERT_EQ(narrow.exit, 0);
    const QJsonObject o = lines(narrow.out).at(0);
    EXPECT_LE(vdmq::toGb(caption(o, "y1")).size(), 26u);
    EXPECT_LE(vdmq::toGb(caption(o, "y2")).size(), 30u);
    EXPECT_FALSE(caption(o, "y4").isEmpty());
}

namespace {

// The keys of a JSON line in the order they are written.
QStringList keysInOrder(const QByteArray& line)
{
    static const QRegularExpression text(R"re("((?:[^"\\]|\\.)*)"(: )?)re");
    QStringList keys;
    for (auto it = text.globalMatch(QString::fromUtf8(line)); it.hasNext();) {
        const auto m = it.next();
        if (m.capturedLength(2) > 0)
            keys << m.captured(1);
    }
    return keys;
}

std::vector<QByteArray> rawLines(const QByteArray& out)
{
    std::vector<QByteArray> r;
    for (const QByteArray& line : out.split('\n'))
        if (!line.isEmpty())
            r.push_back(line);
    return r;
}

}  // namespace

// Texts a JSON writer must escape or pass whole come back from a parser
// exactly as the roster holds them; the lines keep their key order and
// spacing for the scripts and people that read them as text.
TEST_F(VdmqPrint, JsonCarriesAwkwardTextsExactly)
{
    const Result fields = run({data("awkward.xls"), "--start", "7", "--end", "9", "--fields"});
    ASSERT_EQ(fields.exit, 0) << fields.err.toStdString();
    const std::vector<QByteArray> raw = rawLines(fields.out);
    ASSERT_EQ(raw.size(), 3u) << fields.out.toStdString();
    QStringList labels{"row", "captions"};
    for (const std::string& name : vdmq::DataLabelNames())
        labels << QString::fromStdString(name);
    for (const QByteArray& line : raw) {
        QJsonParseError error{};
        QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_EQ(keysInOrder(line), labels) << line.toStdString();
        EXPECT_TRUE(line.startsWith("{\"row\": ") && line.contains(", \"captions\": {\"l_xm\": \"") &&
                    line.endsWith("\"}}"))
            << line.toStdString();
    }
    const auto objects = lines(fields.out);
    const struct {
        int line;
        const char* label;
        QString want;
    } texts[] = {
        {0, "l_xm", QString::fromUtf8("引\"号\\")},
        {0, "zw0", QString::fromUtf8("第一中学\"高级\"教师\\路径/分隔")},
        {0, "lb_bdyy", QString::fromUtf8("原因\b退格\f换页\x01\x1f")},
        {1, "l_xm", QString::fromUtf8("𠮷😀")},
        {1, "zw0", QString::fromUtf8("\xee\x80\x80私用区")},  // U+E000, a self-made character
        {1, "zw1", QString::fromUtf8("制表\t符\r回车\n换行")},
        {2, "lb_bdyy", QString::fromUtf8("é€\u3000说明")},
    };
    for (const auto& t : texts)
        EXPECT_EQ(caption(objects.at(t.line), t.label), t.want) << t.line << ' ' << t.label;

    // The check's lines: the keys every problem has, then those of its kind.
    const Result check = run({data("awkward.xls"), "--start", "7", "--end", "9", "--check", "--json"});
    EXPECT_EQ(check.exit, 1) << check.err.toStdString();
    std::map<QString, QStringList> keysOfKind;
    for (const QByteArray& line : rawLines(check.out)) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        ASSERT_FALSE(o.isEmpty()) << line.toStdString();
        keysOfKind[o["kind"].toString()] = keysInOrder(line);
        if (o["row"].toInt() == 7) {
            EXPECT_EQ(o["name"].toString(), QString::fromUtf8("引\"号\\"));
        }
        if (o["kind"] == "no-glyph") {
            EXPECT_EQ(o["char"].toString(), QString::fromUtf8("\xee\x80\x80"));
        }
        if (o["label"] == "zw1") {
            EXPECT_EQ(o["cut"].toString(), QString::fromUtf8("回车\n换行"));
        }
    }
    EXPECT_EQ(keysOfKind["cut"], (QStringList{"row", "name", "kind", "label", "field", "column", "column_letters",
                                              "cut_chars", "shown", "cut", "message"}));
    EXPECT_EQ(keysOfKind["no-glyph"], (QStringList{"row", "name", "kind", "label", "field", "column", "column_letters",
                                                   "char", "code_point", "message"}));

    // An opinion line's cut has no roster column.
    EXPECT_TRUE(check.out.contains("\"field\": \"申报意见第1行\", \"column\": null, \"cut_chars\": "))
        << check.out.toStdString();

    // Distances in millimetres with two decimals.
    const Result past = run({QStringLiteral(VDMQ_TESTDATA "/check/check.xls"), "--start", "7", "--end", "21", "--check",
                             "--json", "--date", "2009-07-01"});
    const QString out = QString::fromUtf8(past.out);
    EXPECT_TRUE(out.contains(QRegularExpression(R"("past_mm": \d+\.\d\d[,}])"))) << out.toStdString();
    EXPECT_FALSE(out.contains(QRegularExpression(R"("past_mm": \d+[,}.]\d?[,}])"))) << out.toStdString();
}

TEST_F(VdmqPrint, SettingsFileGivesTheDefaults)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("office.ini");
    testfiles::writeAll(ini, vdmq::gb("[xtcs]\nFile=澜人发(2010)9号\nArea=某局\nStart=11\nEnd=13\nyjkd=60\n"));
    Result r = run({data("flags.xls"), "--settings", ini, "--fields"});
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(rows(r.out), (std::vector<int>{11, 13}));
    const QJsonObject o = lines(r.out).at(0);
    EXPECT_TRUE(caption(o, "y1").startsWith(QString::fromUtf8("根据澜人发(2010)9号")));
    EXPECT_EQ(caption(o, "lb_area"), QString::fromUtf8("某局"));
    EXPECT_LE(vdmq::toGb(caption(o, "y2")).size(), 60u);
    // The command line wins over the file.
    r = run({data("flags.xls"), "--settings", ini, "--start", "7", "--issued-by", "别局", "--fields"});
    EXPECT_EQ(rows(r.out), (std::vector<int>{7, 11, 13}));
    EXPECT_EQ(caption(lines(r.out).at(0), "lb_area"), QString::fromUtf8("别局"));
}

TEST_F(VdmqPrint, PdfAndTextHoldOnePagePerForm)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("forms.pdf"), text = dir.filePath("forms.txt");
    Result r = run({data("flags.xls"), "--start", "7", "--end", "15", "--pdf", pdf});
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    QProcess info;
    info.start("pdfinfo", {pdf});
    info.waitForFinished();
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression("Pages:\\s+4\\n")));
    QProcess toText;
    toText.start("pdftotext", {pdf, "-"});
    toText.waitForFinished();
    const QString pages = QString::fromUtf8(toText.readAllStandardOutput());
    const qsizetype a = pages.indexOf(QString::fromUtf8("李明远")), b = pages.indexOf(QString::fromUtf8("王秀兰")),
                    c = pages.indexOf(QString::fromUtf8("张卫东"));
    EXPECT_TRUE(a >= 0 && a < b && b < c) << "forms missing or out of row order";

    r = run({data("flags.xls"), "--start", "7", "--end", "15", "--text", text});
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    QFile t(text);
    ASSERT_TRUE(t.open(QIODevice::ReadOnly));
    const QByteArray bytes = t.readAll();
    EXPECT_EQ(bytes.count(QByteArray::fromStdString(vdmq::gb("国家机关事业单位工作人员工资变动审批表"))), 4);
    const qsizetype x = bytes.indexOf(QByteArray::fromStdString(vdmq::gb("李明远"))),
                    y = bytes.indexOf(QByteArray::fromStdString(vdmq::gb("张卫东")));
    EXPECT_TRUE(x >= 0 && x < y);
    EXPECT_TRUE(bytes.contains("\r\n"));

    // No flagged row: an existing file is left alone and the user is told.
    QFile keep(dir.filePath("keep.pdf"));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.write("old");
    keep.close();
    r = run({data("flags.xls"), "--start", "8", "--end", "8", "--pdf", keep.fileName()});
    EXPECT_EQ(r.exit, 0);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("第 8 至 8 行中没有打印标志为 1 的人员，没有写入 ")))
        << r.err.toStdString();
    EXPECT_EQ(QFileInfo(keep.fileName()).size(), 3);
    r = run({data("flags.xls"), "--pdf", "/nonexistent-dir/x.pdf"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "vdmq-print: 无法写入 /nonexistent-dir/x.pdf\n");
}

TEST_F(VdmqPrint, PrinterQueueGetsOneJobPerForm)
{
    if (geteuid() != 0 || !QPrinterInfo::availablePrinterNames().contains("PDF"))
        GTEST_SKIP() << "no CUPS queue \"PDF\" (run scripts/start-cups as root)";
    // Job ids after the highest one before the run: CUPS keeps a capped
    // history, so on a busy shared daemon the number of jobs listed stays
    // the same while new ones come in.
    auto jobIds = [] {
        QProcess q;
        q.start("lpstat", {"-W", "all", "-o", "PDF"});
        q.waitForFinished();
        std::vector<int> ids;
        static const QRegularExpression id(R"(^PDF-(\d+)\s)", QRegularExpression::MultilineOption);
        for (auto it = id.globalMatch(QString::fromUtf8(q.readAllStandardOutput())); it.hasNext();)
            ids.push_back(it.next().captured(1).toInt());
        return ids;
    };
    const std::vector<int> before = jobIds();
    const int last = before.empty() ? 0 : *std::max_element(before.begin(), before.end());
    const Result r = run({data("three.xls"), "--start", "7", "--end", "11", "--printer", "PDF"});
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    const std::vector<int> after = jobIds();
    EXPECT_GE(std::count_if(after.begin(), after.end(), [last](int id) { return id > last; }), 3)
        << "others may print on the queue too, never fewer";
}

TEST_F(VdmqPrint, CheckListsTheProblemsAndPrintsNothing)
{
    const QString roster = QStringLiteral(VDMQ_TESTDATA "/check/check.xls");
    struct Case {
        QStringList args;
        int exit;
        QString err;
    } cases[] = {
        {{roster, "--start", "7", "--end", "7", "--check"}, 0, "vdmq-print: 第 7–7 行标记打印的 1 行都没有发现问题\n"},
        {{roster, "--start", "7", "--end", "21", "--check"},
         1,
         "vdmq-print: 第 7–21 行标记打印 14 行，12 行有问题，共 14 处\n"},
        {{roster, "--check", "--pdf", "x.pdf"}, 2, "只能选一项"},
        {{roster, "--fields", "--json"}, 2, "vdmq-print: --json 只能与 --check 同用\n"},
        {{data("missing.xls"), "--check"}, 1, "vdmq-print: 请选择EXCEL数据表格！ 文件不存在"},
        {{roster, "--width", "7x", "--check"}, 1, ""},
    };
    for (const Case& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.exit, c.exit) << c.args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
    }

    // The table: a heading, then row, name and problem, one problem a line.
    Result r = run({roster, "--start", "9", "--end", "10", "--check"});
    EXPECT_EQ(QString::fromUtf8(r.out),
              QString::fromUtf8("行号   姓名    问题\n"
                                "9      王秀兰  职务(岗位)（G列）印不下：只印出“第一中学中学高级”，少印 2 个字“教师”\n"
                                "10             姓名（B列）为空\n"));

    // JSON: one object per problem, with the facts of its kind.
    r = run({roster, "--start", "7", "--end", "21", "--check", "--json", "--date", "2009-07-01"});
    EXPECT_EQ(r.exit, 1);
    const auto objects = lines(r.out);
    ASSERT_EQ(objects.size(), 14u) << r.out.toStdString();
    EXPECT_EQ(rows(r.out), (std::vector<int>{9, 10, 11, 11, 12, 13, 14, 15, 15, 16, 17, 18, 19, 21}));
    const QJsonObject& cut = objects[0];
    EXPECT_EQ(cut["name"].toString(), QString::fromUtf8("王秀兰"));
    EXPECT_EQ(cut["kind"].toString(), "cut");
    EXPECT_EQ(cut["label"].toString(), "zw0");
    EXPECT_EQ(cut["column"].toInt(), 7);
    EXPECT_EQ(cut["cut_chars"].toInt(), 2);
    EXPECT_EQ(cut["cut"].toString(), QString::fromUtf8("教师"));
    for (const QJsonObject& o : objects) {
        EXPECT_FALSE(o["message"].toString().isEmpty());
        // Every kind names its field and its column (null for none).
        EXPECT_TRUE(o.contains("field") && o.contains("column")) << o["row"].toInt();
        if (o["kind"] == "past-line" || o["kind"] == "opinion-too-long") {
            EXPECT_GT(o["past_mm"].toDouble(), 1.0) << o["row"].toInt();
        }
    }
}

// The new kinds in JSON: the cell and what prints; an entry of the run once,
// without a row; the paper of --pdf.
TEST_F(VdmqPrint, CheckSaysTheCellWhatPrintsAndTheEntriesOnce)
{
    const QString roster = QStringLiteral(VDMQ_TESTDATA "/check/check.xls");
    Result r = run({roster, "--start", "22", "--end", "42", "--check", "--json", "--date", "2009-07-01"});
    EXPECT_EQ(r.exit, 1);
    std::map<std::string, int> kinds;
    for (const QJsonObject& o : lines(r.out)) {
        ++kinds[o["kind"].toString().toStdString()];
        EXPECT_FALSE(o["field"].toString().isEmpty()) << o["row"].toInt();
        if (o["kind"] == "year-month" || o["kind"] == "number") {
            EXPECT_TRUE(o["column"].isDouble()) << o["row"].toInt();
            EXPECT_FALSE(o["cell"].toString().isEmpty()) << o["row"].toInt();
            EXPECT_FALSE(o["printed"].toString().isEmpty()) << o["row"].toInt();
        }
        if (o["row"].toInt() == 28) {
            EXPECT_EQ(o["column_letters"].toString(), "R");
            EXPECT_EQ(o["cell"].toString(), QString::fromUtf8("待定"));
            EXPECT_TRUE(o["printed"].toString().contains(QString::fromUtf8("降低为待定 680 元")));
        }
        if (o["row"].toInt() == 41) {
            EXPECT_TRUE(o["blank_only"].toBool());
        }
    }
    EXPECT_EQ(kinds, (std::map<std::string, int>{
                         {"year-month", 9}, {"number", 7}, {"empty", 1}, {"past-line", 2}, {"fill-error", 2}}));

    // An empty width: one line without a row, before the rows; no row is
    // blamed for it.
    r = run({roster, "--start", "7", "--end", "10", "--width", "", "--check"});
    EXPECT_EQ(r.exit, 1);
    const QStringList out = QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(out.size(), 2);
    EXPECT_TRUE(out[1].startsWith(QString::fromUtf8("-      "))) << out[1].toStdString();
    EXPECT_TRUE(out[1].contains(QString::fromUtf8("申报意见栏每行宽度“”不是整数"))) << out[1].toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out).count("is not a valid integer value"), 1) << r.out.toStdString();

    // An issuing body too long for B5 fits A4: --check takes --pdf's paper.
    const QStringList longArea = {
        roster,
        "--start",
        "7",
        "--end",
        "7",
        "--check",
        "--issued-by",
        QString::fromUtf8("澜坪市人力资源和社会保障局事业单位工作人员工资福利与退休管理科（工资处）制表")};
    r = run(longArea);
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(QString::fromUtf8(r.out).contains(QString::fromUtf8("制表机构太长，超出纸边"))) << r.out.toStdString();
    r = run(longArea + QStringList{"--paper", "a4"});
    EXPECT_EQ(r.exit, 0) << r.out.toStdString();
    r = run(longArea + QStringList{"--paper", "a4", "--offset", "20,0"});
    EXPECT_EQ(r.exit, 1) << r.out.toStdString();
}

// ---- encrypted rosters ------------------------------------------------------------

namespace {

QString roster(const char* name) { return QStringLiteral(VDMQ_TESTDATA "/roster/") + QLatin1String(name); }

QString passwordFile(QTemporaryDir& dir, const QByteArray& text)
{
    QString p = dir.filePath(QStringLiteral("pw.txt"));
    testfiles::writeAll(p, text.toStdString());
    return p;
}

}  // namespace

// The encrypted fixtures are roster.xls and roster.xlsx locked: they give
// the forms the plain roster gives.
TEST_F(VdmqPrint, EncryptedRosterPrintsWithThePasswordFromAFile)
{
    QTemporaryDir dir;
    const std::vector<int> want = rows(run({roster("roster.xls"), "--start", "7", "--end", "22", "--fields"}).out);
    ASSERT_FALSE(want.empty());
    struct Case {
        const char* file;
        QByteArray fileText;  // empty: no --password-file
        int exit;
        const char* message;  // in stderr
    };
    const Case cases[] = {
        {"enc-cryptoapi.xls", "vdmq2009\n", 0, nullptr},
        {"enc-agile.xlsx", "vdmq2009\r\n", 0, nullptr},
        {"enc-chinese.xlsx", "工资2009", 0, nullptr},
        {"enc-xor.xls", "vdmq2009\nsecond line ignored\n", 0, nullptr},
        {"enc-velvet.xls", "", 0, nullptr},  // Excel's built-in password: no question
        {"enc-velvet.xlsx", "", 0, nullptr},
        {"enc-rc4.xls", "vdmq2008\n", 1, "密码不正确"},
        {"enc-standard.xlsx", "", 1, "--password-file"},
    };
    for (const Case& c : cases) {
        QStringList args{roster(c.file), "--start", "7", "--end", "22", "--fields"};
        if (!c.fileText.isEmpty())
            args << "--password-file" << passwordFile(dir, c.fileText);
        const Result r = run(args);
        SCOPED_TRACE(c.file);
        EXPECT_EQ(r.exit, c.exit) << r.err.toStdString();
        if (c.exit == 0) {
            EXPECT_EQ(rows(r.out), want);
        }
        if (c.message) {
            EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        }
        // The password never shows in what the tool says.
        EXPECT_FALSE(r.err.contains(QStringLiteral("vdmq200"))) << r.err.toStdString();
    }
}

TEST_F(VdmqPrint, NoPasswordOnTheCommandLine)
{
    const Result r = run({roster("enc-agile.xlsx"), "--password", "vdmq2009", "--fields"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--password-file"))) << r.err.toStdString();
    const Result missing = run({roster("enc-agile.xlsx"), "--password-file", "/nonexistent/pw", "--fields"});
    EXPECT_EQ(missing.exit, 2);
}

// Damaged containers make libgsf and GLib complain; the user reads only the
// tool's own reason.
TEST_F(VdmqPrint, LibraryWarningsStayOffStderr)
{
    for (const char* f : {"bad-garbage.xls", "bad-truncated.xls", "bad-nostream.xls", "bad-pastend.xls"}) {
        const Result r = run({roster(f), "--fields"});
        EXPECT_EQ(r.exit, 1) << f;
        for (const QString& line : r.err.split(u'\n', Qt::SkipEmptyParts))
            EXPECT_TRUE(line.startsWith(QStringLiteral("vdmq-print: "))) << f << ": " << line.toStdString();
    }
}

// The page size and where the frame lands, for each paper option.  Paper
// and offsets remembered in a settings file are for printing: a PDF only
// takes what the command line says.
TEST_F(VdmqPrint, PaperAndOffsetPlaceThePdf)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("office.ini");
    testfiles::writeAll(ini, "[vdmq]\nPaper=A4\nA4Position=Centre\nOffsetX=5.0\nOffsetY=5.0\n");
    const QString flags = data("flags.xls");
    vdmq::TPaperSettings a4c;
    a4c.Paper = vdmq::TPaper::A4;
    a4c.Centred = true;
    const QPointF centred = vdmq::AlignMm(a4c);
    struct Case {
        QStringList args;
        QSizeF sheet;
        QPointF shift;
    } cases[] = {
        {{flags}, {182, 257}, {0, 0}},
        {{flags, "--settings", ini}, {182, 257}, {0, 0}},
        {{flags, "--paper", "a4", "--offset", "2.5,-1.5"}, {210, 297}, {2.5, -1.5}},
        {{flags, "--paper=A4", "--centre", "--offset=-3,0.4"}, {210, 297}, centred + QPointF(-3, 0.4)},
        {{"--calibration-page"}, {182, 257}, {0, 0}},
        {{"--calibration-page", "--paper", "a4", "--center", "--offset", "1,1"}, {210, 297}, centred + QPointF(1, 1)},
    };
    for (const Case& c : cases) {
        const QString pdf = dir.filePath("out.pdf");
        QFile::remove(pdf);
        const Result r = run(c.args + QStringList{"--start", "7", "--end", "7", "--pdf", pdf});
        const std::string what = c.args.join(' ').toStdString();
        ASSERT_EQ(r.exit, 0) << what << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        const QSizeF size = testpages::pageSizeMm(pdf);
        EXPECT_NEAR(size.width(), c.sheet.width(), 0.3) << what;
        EXPECT_NEAR(size.height(), c.sheet.height(), 0.3) << what;
        const QRectF expected = vdmq::FormFrameMm().translated(c.shift);
        const QRectF frame = testpages::frameInPdf(pdf);
        EXPECT_NEAR(frame.left(), expected.left(), 0.3) << what;
        EXPECT_NEAR(frame.top(), expected.top(), 0.3) << what;
        EXPECT_NEAR(frame.bottom(), expected.bottom(), 0.3) << what;
    }
}

// On a printer, what the settings file remembers applies unless the command
// line says otherwise (the offsets of that printer, else the common ones), and the tool warns before printing what the queue
// cannot reach.  The jobs are named after the roster file, which finds them.
TEST_F(VdmqPrint, PrinterTakesTheRememberedPaperAndWarns)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "not run as root: the CUPS tests need scripts/start-cups (root)";
    const QStringList queues = QPrinterInfo::availablePrinterNames();
    if (!queues.contains("PDF") || !queues.contains("A4Only"))
        GTEST_SKIP() << "CUPS queues \"PDF\" and \"A4Only\" missing: run scripts/start-cups first";
    QTemporaryDir dir;
    const QString ini = dir.filePath("office.ini");
    // The offsets of before, and A4Only's own (a printer's offsets are its own).
    testfiles::writeAll(ini, "[vdmq]\nPaper=A4\nA4Position=Centre\nOffsetX=1.5\nOffsetY=-2.0\n"
                             "OffsetX.A4Only=3.0\nOffsetY.A4Only=4.0\n");
    vdmq::TPaperSettings a4c;
    a4c.Paper = vdmq::TPaper::A4;
    a4c.Centred = true;
    const QPointF centred = vdmq::AlignMm(a4c);
    const QString stamp = QString::number(QCoreApplication::applicationPid());
    struct Case {
        QString roster;
        QStringList args;
        QPointF shift;
        const char* warning;
    } cases[] = {
        {"papercli" + stamp + "-remembered.xls", {"--printer", "PDF"}, centred + QPointF(1.5, -2), nullptr},
        {"papercli" + stamp + "-given.xls", {"--printer", "PDF", "--offset", "0,0"}, centred, nullptr},
        {"papercli" + stamp + "-own.xls", {"--printer", "A4Only"}, centred + QPointF(3, 4), nullptr},
        {"papercli" + stamp + "-border.xls",
         {"--printer", "A4Only", "--paper", "a4", "--offset", "0,0"},
         {0, 0},
         "左框线（离纸边 3.6 mm）整条印不出"},
    };
    QStringList names;
    for (const Case& c : cases) {
        const QString roster = dir.filePath(c.roster);
        ASSERT_TRUE(QFile::copy(data("flags.xls"), roster));
        const Result r = run(QStringList{roster, "--settings", ini, "--start", "7", "--end", "7"} + c.args);
        ASSERT_EQ(r.exit, 0) << r.err.toStdString();
        if (c.warning)
            EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.warning))) << r.err.toStdString();
        else
            EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        names << c.roster;
    }
    const auto files = testcups::waitForJobs(names);
    for (const Case& c : cases) {
        ASSERT_TRUE(files.count(c.roster)) << c.roster.toStdString();
        const QString& pdf = files.at(c.roster);
        const QSizeF size = testpages::pageSizeMm(pdf);
        EXPECT_NEAR(size.width(), 210, 0.3);
        EXPECT_NEAR(size.height(), 297, 0.3);
        const QRectF expected = vdmq::FormFrameMm().translated(c.shift);
        const QRectF frame = testpages::frameInPdf(pdf);
        EXPECT_NEAR(frame.left(), expected.left(), 0.3) << c.roster.toStdString();
        EXPECT_NEAR(frame.top(), expected.top(), 0.3) << c.roster.toStdString();
        QFile::remove(pdf);
    }
}

// ---- outputs that fail ---------------------------------------------------------

// A full disk, /dev/full or a file-size limit is reported with a non-zero
// exit, never taken for success, and never ends the tool without a word
// (SIGXFSZ).  The file that stood at the target before stays as it was,
// and no temporary is left beside it.
TEST_F(VdmqPrint, OutputFailuresAreReportedAndLeaveNothingHalfWritten)
{
    QTemporaryDir dir;
    const QString many = data("many.xls");
    const QString pdf = dir.filePath("forms.pdf"), text = dir.filePath("forms.txt"), fields = dir.filePath("f.jsonl");
    struct Case {
        const char* name;
        QStringList args;
        int limitKb;
        QString out;
        QString target;
        QString said;
    } cases[] = {
        {"--fields to /dev/full",
         {many, "--end", "700", "--fields"},
         0,
         "/dev/full",
         {},
         "无法写入标准输出：No space left on device"},
        {"--fields past ulimit -f",
         {many, "--end", "700", "--fields"},
         20,
         fields,
         {},
         "无法写入标准输出：File too large"},
        {"--pdf past ulimit -f", {many, "--end", "700", "--pdf", pdf}, 200, {}, pdf, "File too large"},
        {"--text past ulimit -f", {many, "--end", "700", "--text", text}, 100, {}, text, "File too large"},
        {"--pdf to /dev/full", {many, "--end", "100", "--pdf", "/dev/full"}, 0, {}, {}, "No space left on device"},
        {"--text to /dev/full", {many, "--end", "100", "--text", "/dev/full"}, 0, {}, {}, "No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& f : {pdf, text})
            testfiles::writeAll(f, "yesterday's forms");
        QFile::remove(fields);
        const Result r = run(c.args, c.limitKb, c.out);
        EXPECT_EQ(r.exit, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.said)) << r.err.toStdString();
        if (!c.target.isEmpty()) {
            EXPECT_TRUE(r.err.contains(c.target)) << r.err.toStdString();
        }
        for (const QString& f : {pdf, text})
            EXPECT_EQ(testfiles::readAll(f), "yesterday's forms") << f.toStdString();
        QStringList left = testfiles::entries(dir.path());
        left.removeAll("f.jsonl");
        EXPECT_EQ(left, (QStringList{"forms.pdf", "forms.txt"}));
    }
}

// Interrupted half-way (Ctrl+C, kill), a run leaves the earlier PDF as it
// was and removes its temporary; killed outright (SIGKILL), it cannot, and
// the next run to the same file removes it and writes the whole PDF.
TEST_F(VdmqPrint, InterruptedRunLeavesTheEarlierFileAndNoTemporary)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("forms.pdf");
    const QStringList args{data("many.xls"), "--end", "700", "--pdf", pdf};
    ASSERT_EQ(run(args).exit, 0);
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    // Made before the fork: the child only execs.
    const QByteArray tool = kTool.toLocal8Bit();
    std::vector<QByteArray> keep;
    for (const QString& a : args)
        keep.push_back(a.toLocal8Bit());
    std::vector<char*> argv{const_cast<char*>(tool.constData())};
    for (QByteArray& a : keep)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(sig);
        bool caught = false;
        int status = 0;
        for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
            const pid_t pid = fork();
            if (pid == 0) {
                execv(argv[0], argv.data());
                _exit(127);
            }
            // Signalled once its temporary has some pages in it.
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 20000 && waitpid(pid, &status, WNOHANG) == 0) {
                const QStringList now = QDir(dir.path()).entryList({"forms.pdf.tmp*"}, QDir::Files);
                if (!now.isEmpty() && QFileInfo(dir.filePath(now.front())).size() > 65536) {
                    ::kill(pid, sig);
                    caught = true;
                    break;
                }
                QThread::usleep(500);
            }
            if (caught)
                waitpid(pid, &status, 0);
        }
        if (!caught)
            GTEST_SKIP() << "the run always finished before it could be signalled";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before);
        f.close();
        if (sig == SIGKILL) {
            EXPECT_GT(testfiles::entries(dir.path()).size(), 1) << "the killed run's temporary";
        } else {
            EXPECT_EQ(testfiles::entries(dir.path()), QStringList{"forms.pdf"});
        }
    }

    const Result r = run(args);
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(pdfPages(pdf), 300);
    EXPECT_EQ(testfiles::entries(dir.path()), QStringList{"forms.pdf"});
}

// Two runs writing the same PDF at once: both succeed and the file is one
// whole document (it used to be a mixture with broken cross-references).
TEST_F(VdmqPrint, TwoRunsOnOnePdf)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("forms.pdf");
    QProcess a, b;
    a.start(kTool, {data("many.xls"), "--end", "700", "--pdf", pdf});
    b.start(kTool, {data("many.xls"), "--end", "300", "--pdf", pdf});
    ASSERT_TRUE(a.waitForFinished(60000) && b.waitForFinished(60000));
    EXPECT_EQ(a.exitCode(), 0) << a.readAllStandardError().toStdString();
    EXPECT_EQ(b.exitCode(), 0) << b.readAllStandardError().toStdString();
    const int pages = pdfPages(pdf);
    EXPECT_TRUE(pages == 300 || pages == 147) << pages;
    EXPECT_EQ(testfiles::entries(dir.path()), QStringList{"forms.pdf"});
}

// A "settings file" of 50 MB of line ends took 76 s and 4 GB; one over
// 1 MB is refused at once, with the reason.
TEST_F(VdmqPrint, SettingsFileTooLargeIsRefused)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("vdmq.ini");
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QByteArray block(1 << 20, '\n');
    for (int i = 0; i < 50; ++i)
        f.write(block);
    f.close();
    const Result r = run({data("flags.xls"), "--settings", ini, "--fields"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("太大"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(ini)) << r.err.toStdString();
}

// ---- inputs, passwords, pipes and long names ------------------------------------

// `vdmq-print 名单.xls --text 名单.xls` exited 0 and the roster was gone,
// replaced by the forms' text; so through a symbolic or hard link, and with
// --pdf.  No output may replace the roster or the settings file.
TEST_F(VdmqPrint, RosterAndSettingsAreNeverOutputs)
{
    QTemporaryDir dir;
    const QString roster = dir.filePath(QStringLiteral("名单.xls")), ini = dir.filePath("vdmq.ini");
    ASSERT_TRUE(QFile::copy(data("flags.xls"), roster));
    testfiles::writeAll(ini, "[xtcs]\r\nStart=7\r\nEnd=9\r\n");
    ASSERT_TRUE(QFile::link(roster, dir.filePath("link.xls")));
    ASSERT_EQ(::link(QFile::encodeName(roster).constData(), QFile::encodeName(dir.filePath("hard.xls")).constData()),
              0);
    const std::string rosterBytes = testfiles::readAll(roster), iniBytes = testfiles::readAll(ini);
    struct Case {
        QStringList args;
        const char* what;
    } cases[] = {
        {{roster, "--start", "7", "--end", "40", "--text", roster}, "花名册"},
        {{roster, "--start", "7", "--end", "40", "--pdf", roster}, "花名册"},
        {{roster, "--text", dir.filePath("link.xls")}, "花名册"},
        {{roster, "--pdf", dir.filePath("hard.xls")}, "花名册"},
        {{dir.filePath("link.xls"), "--pdf", dir.path() + QStringLiteral("/./名单.xls")}, "花名册"},
        {{roster, "--settings", ini, "--text", ini}, "设置文件"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.args);
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_EQ(r.exit, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("vdmq-print: 不能写入"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.what))) << r.err.toStdString();
        EXPECT_EQ(testfiles::readAll(roster), rosterBytes);
        EXPECT_EQ(testfiles::readAll(ini), iniBytes);
    }
    EXPECT_EQ(testfiles::entries(dir.path()),
              (QStringList{"hard.xls", "link.xls", "vdmq.ini", QStringLiteral("名单.xls")}));
}

// A wrong password was reported as "请选择EXCEL数据表格！"; a password file
// saved by Notepad (a UTF-8 byte-order mark before the password) was taken
// for a wrong password; a password file others can read went unremarked.
TEST_F(VdmqPrint, PasswordFileMessages)
{
    QTemporaryDir dir;
    const QString pw = dir.filePath("pw.txt");
    struct Case {
        QByteArray text;
        QFile::Permissions mode;
        int exit;
        const char* said;  // the first line of stderr begins so
        bool warned;       // about others reading the file
    } cases[] = {
        {"vdmq2008\n", QFile::ReadOwner | QFile::WriteOwner, 1, "vdmq-print: 密码不正确", false},
        {"\xEF\xBB\xBFvdmq2009\r\n", QFile::ReadOwner | QFile::WriteOwner, 0, nullptr, false},
        {"vdmq2009\n", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther, 0,
         "vdmq-print: 警告：密码文件", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        testfiles::writeAll(pw, c.text.toStdString());
        ASSERT_TRUE(QFile::setPermissions(pw, c.mode));
        const Result r = run({roster("enc-rc4.xls"), "--password-file", pw, "--fields"});
        EXPECT_EQ(r.exit, c.exit) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QStringLiteral("请选择EXCEL数据表格"))) << r.err.toStdString();
        if (c.said) {
            EXPECT_TRUE(r.err.startsWith(QString::fromUtf8(c.said))) << r.err.toStdString();
        } else {
            EXPECT_EQ(r.err, "");
        }
        EXPECT_EQ(r.err.contains(QStringLiteral("别的用户也能读取")), c.warned) << r.err.toStdString();
        EXPECT_EQ(rows(r.out).size(), c.exit == 0 ? 1u : 0u);
    }
}

// A reader that stops reading (| head) ended the tool by SIGPIPE, exit 141,
// without a word; the README promises "无法写入标准输出" and exit 1.
TEST_F(VdmqPrint, StandardOutputClosedByTheReader)
{
    QTemporaryDir dir;
    const QStringList cases[] = {
        {data("many.xls"), "--end", "700", "--fields"},
        {QStringLiteral(VDMQ_TESTDATA "/check/check.xls"), "--start", "7", "--end", "21", "--check"},
        {QStringLiteral(VDMQ_TESTDATA "/check/check.xls"), "--start", "7", "--end", "21", "--check", "--json"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const QString errFile = dir.filePath("err.txt");
        // Built before the fork: the child only execs.
        std::vector<QByteArray> keep{kTool.toLocal8Bit()};
        for (const QString& a : args)
            keep.push_back(a.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& a : keep)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const QByteArray err = QFile::encodeName(errFile);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::signal(SIGPIPE, SIG_DFL);  // as a shell starts it
            const int e = ::open(err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fds[1], STDOUT_FILENO);
            dup2(e, STDERR_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ::close(fds[0]);  // the reader is gone before the first line
        ::close(fds[1]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const QString said = QString::fromUtf8(QByteArray::fromStdString(testfiles::readAll(errFile)));
        EXPECT_TRUE(said.contains(QStringLiteral("无法写入标准输出"))) << said.toStdString();
    }
}

// Output names of 246 to 255 bytes failed: the temporary beside the file
// took ten bytes more than a name may have.
TEST_F(VdmqPrint, LongOutputNames)
{
    QTemporaryDir dir;
    for (const int bytes : {245, 246, 250, 255}) {
        for (const char* ext : {".pdf", ".txt"}) {
            QString name;
            while (QFile::encodeName(name).size() + 3 + 4 <= bytes)
                name += QStringLiteral("审");  // three bytes
            while (QFile::encodeName(name).size() + 4 < bytes)
                name += u'x';
            name += QLatin1String(ext);
            ASSERT_EQ(QFile::encodeName(name).size(), bytes);
            SCOPED_TRACE(bytes);
            const QString target = dir.filePath(name);
            const Result r = run({data("flags.xls"), "--start", "7", "--end", "9",
                                  QLatin1String(ext) == QLatin1String(".pdf") ? "--pdf" : "--text", target});
            EXPECT_EQ(r.exit, 0) << r.err.toStdString();
            EXPECT_GT(QFileInfo(target).size(), 0);
            EXPECT_EQ(testfiles::entries(dir.path()), QStringList{name});
            QFile::remove(target);
        }
    }
}
