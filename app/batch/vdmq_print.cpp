// vdmq-print: the print run without the main window, for long runs, for
// machines without a display and for checking what a roster gives.  The
// rows, the flag test, the filling and the errors are the main window's run
// (app/core/printrun); only where the forms go differs.
#include "app/core/batchpassword.h"
#include "app/core/paper.h"
#include "app/core/printrun.h"
#include "app/core/runpdf.h"
#include "app/core/settings.h"
#include "form/PubFunc.h"
#include "form/VdCalibration.h"
#include "form/VdPrnUnit.h"
#include "platform/atomicfile.h"
#include "platform/gbtext.h"
#include "platform/profile.h"
#include "report/core/qr.h"
#include "report/ui/printbackend.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPrinterInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

using namespace vdmq;

namespace {

constexpr const char* kProg = "vdmq-print";

// The help, with the defaults of the settings record (app/core/settings.h).
std::string helpText()
{
    const std::string start = std::to_string(kDefaultStartRow), end = std::to_string(kDefaultEndRow),
                      width = std::to_string(kDefaultOpinionWidth);
    // clang-format off: laid out as the terminal shows it
    return "用法：vdmq-print 花名册 [选项] (--fields | --pdf 文件 | --text 文件 | --printer 打印机|- | --check [--json])\n"
           "      vdmq-print --calibration-page [纸张选项] (--pdf 文件 | --printer 打印机|-)\n"
           "\n"
           "为花名册第一张工作表中 AB 列（打印标志）为 1 的每一行生成一份工资变动审批表。\n"
           "\n"
           "选项：\n"
           "  --start 行号        开始打印行号（默认 " +
           start +
           "）\n"
           "  --end 行号          结束打印行号（默认 " +
           end +
           "）\n"
           "  --doc-no 文字       文件依据（默认 " +
           kDefaultDocNo +
           "）\n"
           "  --issued-by 文字    制表机构（默认 " +
           kDefaultIssuedBy +
           "）\n"
           "  --date YYYY-MM-DD[ HH:MM:SS]\n"
           "                      打印日期（默认：当前日期）\n"
           "  --width 宽度        申报意见栏每行宽度，以字节计，一个汉字占 2（默认 " +
           width +
           "）；\n"
           "                      不是整数时每份表都填表出错\n"
           "  --settings 文件     从该 vdmq.ini 取以上各项的默认值\n"
           "  --keep-going        某行出错时报告并跳过，接着处理下一行\n"
           "  --password-file 文件\n"
           "                      加密花名册的打开密码在此文件的第一行（- 为标准输入）；\n"
           "                      不给时在终端上询问\n"
           "\n"
           "纸张与位置（只用于 --pdf、--printer 和 --check）：\n"
           "  --paper b5|a4       B5（182×257 毫米）或 A4；表格从不缩放\n"
           "  --centre            在 A4 纸上居中（默认左上角）\n"
           "  --offset X,Y        整页右移 X、下移 Y 毫米，各在 -20.0 到 20.0 之间\n"
           "                      --printer 未给出的纸张和偏移取自 vdmq.ini 的 [vdmq] 节（--settings\n"
           "                      指定的文件，否则程序自己的 vdmq.ini），偏移取这台打印机的；\n"
           "                      --pdf 和 --check 只用命令行给出的\n"
           "  --calibration-page  输出一张位置校准页（不用花名册）\n"
           "\n"
           "输出（选一项）：\n"
           "  --fields            每份表一行 JSON（UTF-8）：\n"
           "                      {\"row\": 7, \"captions\": {\"l_xm\": \"...\", ...}}\n"
           "  --pdf 文件          一个 PDF，每份表一页\n"
           "  --text 文件         各页的文本导出，依次排列\n"
           "  --printer 打印机|-  送该打印机（- 为默认打印机），每份表一个作业\n"
           "  --check             打印前检查，不打印：列出每个有问题的行（行号、姓名、问题），\n"
           "                      按 --paper、--centre、--offset 给出的纸张和位置排版；行号为 - 的\n"
           "                      是输入项（如 --width、--issued-by）的问题，每一份表都受影响\n"
           "  --json              与 --check 合用：每个问题一行 JSON（UTF-8）：\n"
           "                      {\"row\": 8, \"name\": \"...\", \"kind\": \"cut\", \"field\": \"...\",\n"
           "                       \"column\": 7, \"message\": \"...\", ...}\n"
           "\n"
           "没有选中的行时不写输出文件。\n"
           "退出码：0 成功；1 某行出错或花名册无法读取；2 用法错误。\n"
           "--check 的退出码：0 没有发现问题；1 发现问题或花名册无法读取；2 用法错误。\n";
    // clang-format on
}

enum class Output { None, Fields, Pdf, Text, Printer, Check };

struct Options {
    QString roster;
    std::optional<std::string> start, end, docNo, issuedBy, width;
    std::optional<QDate> date;
    QString settings;
    QString passwordFile;
    bool keepGoing = false;
    bool json = false;
    std::optional<TPaper> paper;
    bool centred = false;
    std::optional<QPointF> offset;
    bool calibration = false;
    Output output = Output::None;
    int outputs = 0;
    QString target;  // file or printer name
};

// Texts in the terminal's encoding: the program's own (QString), the
// system's GB18030 ones (the run's messages) and an error's, by its type.
std::string local(const QString& s) { return s.toLocal8Bit().toStdString(); }
std::string localFromGb(const std::string& gbText) { return local(fromGb(gbText)); }
std::string local(const std::exception& e) { return local(errorText(e)); }

struct UsageError {
    std::string message;  // local 8-bit
};

QDateTime parseDate(const QString& text)
{
    for (const char* format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd"}) {
        QDateTime dt = QDateTime::fromString(text.trimmed(), QLatin1String(format));
        if (dt.isValid())
            return dt;
    }
    return {};
}

// The command line, one argument at a time: "--name value", "--name=value".
class ArgCursor {
public:
    explicit ArgCursor(const QStringList& args) : args_(args) {}
    bool Next()
    {
        if (++i_ >= args_.size())
            return false;
        name_ = args_[i_];
        inline_ = name_.startsWith(QLatin1String("--")) && name_.contains(u'=');
        if (inline_) {
            value_ = name_.mid(name_.indexOf(u'=') + 1);
            name_ = name_.left(name_.indexOf(u'='));
        }
        return true;
    }
    const QString& Name() const { return name_; }
    bool Is(const char* name) const { return name_ == QLatin1String(name); }
    QString Value()
    {
        if (inline_)
            return value_;
        if (i_ + 1 >= args_.size())
            throw UsageError{local(name_) + " 后面缺少值"};
        return args_[++i_];
    }
    // A row number, kept as the row field's text (GB18030).
    std::string Number()
    {
        const QString text = Value();
        int n;
        if (!TryStrToInt(text, n))
            throw UsageError{local(name_) + ": " + local(EConvertError(text))};
        return toGb(text);
    }

private:
    const QStringList& args_;
    int i_ = 0;
    QString name_, value_;
    bool inline_ = false;
};

void setOutput(Options& o, Output kind, QString target)
{
    o.output = kind;
    o.target = std::move(target);
    ++o.outputs;
}

// The options that take the form's values, the paper and the outputs;
// false for an argument that is none of them.
bool parseRunOption(ArgCursor& a, Options& o)
{
    if (a.Is("--start")) {
        o.start = a.Number();
    } else if (a.Is("--end")) {
        o.end = a.Number();
    } else if (a.Is("--doc-no")) {
        o.docNo = toGb(a.Value());
    } else if (a.Is("--issued-by")) {
        o.issuedBy = toGb(a.Value());
    } else if (a.Is("--width")) {
        // Taken as the width field's text: checked when a form is filled.
        o.width = toGb(a.Value());
    } else if (a.Is("--date")) {
        const QString v = a.Value();
        const QDateTime dt = parseDate(v);
        if (!dt.isValid())
            throw UsageError{"--date：'" + local(v) + "' 不是 YYYY-MM-DD 或 YYYY-MM-DD HH:MM:SS 形式的日期"};
        o.date = dt.date();
    } else if (a.Is("--paper")) {
        const QString v = a.Value();
        o.paper = ParsePaper(v.toStdString());
        if (!o.paper)
            throw UsageError{"--paper：'" + local(v) + "' 应为 b5 或 a4"};
    } else if (a.Is("--centre") || a.Is("--center")) {
        o.centred = true;
    } else if (a.Is("--offset")) {
        const QString v = a.Value();
        o.offset = ParseOffsetPair(v.toStdString());
        if (!o.offset)
            throw UsageError{"--offset：'" + local(v) +
                             "' 应为 X,Y 毫米，各在 -20.0 到 20.0 之间，"
                             "至多一位小数"};
    } else if (a.Is("--fields")) {
        setOutput(o, Output::Fields, {});
    } else if (a.Is("--pdf")) {
        setOutput(o, Output::Pdf, a.Value());
    } else if (a.Is("--text")) {
        setOutput(o, Output::Text, a.Value());
    } else if (a.Is("--printer")) {
        setOutput(o, Output::Printer, a.Value());
    } else if (a.Is("--check")) {
        setOutput(o, Output::Check, {});
    } else {
        return false;
    }
    return true;
}

// The options that go together, and the one output.
void checkOptions(const Options& o)
{
    if (o.calibration) {
        if (!o.roster.isEmpty())
            throw UsageError{"--calibration-page 不用花名册：" + local(o.roster)};
        if (o.outputs == 1 && o.output != Output::Pdf && o.output != Output::Printer)
            throw UsageError{"--calibration-page 只能与 --pdf 或 --printer 同用"};
    } else if (o.roster.isEmpty()) {
        throw UsageError{"没有给出花名册"};
    }
    if (o.outputs == 1 && (o.paper || o.centred || o.offset) && o.output != Output::Pdf &&
        o.output != Output::Printer && o.output != Output::Check)
        throw UsageError{"--paper、--centre、--offset 只用于 --pdf、--printer 和 --check"};
    if (o.centred && o.paper == TPaper::B5)
        throw UsageError{"--centre 只用于 A4 纸"};
    if (o.outputs != 1)
        throw UsageError{o.outputs == 0 ? "请从 --fields、--pdf、--text、--printer、--check 中选一项输出"
                                        : "--fields、--pdf、--text、--printer、--check 只能选一项"};
    if (o.json && o.output != Output::Check)
        throw UsageError{"--json 只能与 --check 同用"};
    if ((o.output == Output::Pdf || o.output == Output::Text) && o.target.isEmpty())
        throw UsageError{"输出文件名是空的"};
}

Options parse(const QStringList& args)
{
    Options o;
    ArgCursor a(args);
    while (a.Next()) {
        if (a.Is("--help") || a.Is("-h")) {
            std::fputs(helpText().c_str(), stdout);
            std::exit(0);
        } else if (parseRunOption(a, o)) {
            continue;
        } else if (a.Is("--settings")) {
            o.settings = a.Value();
        } else if (a.Is("--password-file")) {
            o.passwordFile = a.Value();
        } else if (a.Is("--password") || a.Is("-p")) {
            // Other users of the machine can read a command line.
            throw UsageError{"密码不在命令行上给出（同一台机器的其他用户看得见），请用 --password-file 文件"};
        } else if (a.Is("--keep-going")) {
            o.keepGoing = true;
        } else if (a.Is("--calibration-page")) {
            o.calibration = true;
        } else if (a.Is("--json")) {
            o.json = true;
        } else if (a.Name().startsWith(u'-') && a.Name() != QLatin1String("-")) {
            throw UsageError{"没有这个选项：" + local(a.Name())};
        } else if (o.roster.isEmpty()) {
            o.roster = a.Name();
        } else {
            throw UsageError{"给出了不止一个花名册：" + local(a.Name())};
        }
    }
    checkOptions(o);
    return o;
}

// The settings file given by the user, read the way the main window reads
// its own vdmq.ini.
void loadSettingsFile(const QString& file, TVdcs& vdcs, TEntryFields& fields)
{
    QFileInfo info(file);
    if (!info.isFile() || !info.isReadable())
        throw UsageError{"--settings：无法读取 " + local(file)};
    if (info.size() > kMaxProfileBytes)
        throw UsageError{"--settings：" + local(EProfileTooLarge(file))};
    QTemporaryDir scratch;
    QString dir = info.absolutePath();
    if (info.fileName() != QLatin1String("vdmq.ini")) {
        if (!scratch.isValid() || !QFile::copy(info.absoluteFilePath(), scratch.filePath("vdmq.ini")))
            throw UsageError{"--settings：无法读取 " + local(file)};
        dir = scratch.path();
    }
    try {
        LoadSettings(vdcs, fields, toGb(dir));
    } catch (const ESettingsReadError& e) {
        throw UsageError{"--settings：" + local(e)};
    }
}

// The output is written beside the file and renamed over it, so the folder
// must take a new file; a terminal or a pipe is written in place.
bool canWrite(const QString& file)
{
    QFileInfo info(file);
    if (info.exists() && !info.isFile())
        return !info.isDir() && info.isWritable();
    if (info.exists() && !info.isWritable())
        return false;
    QFileInfo dir(QFileInfo(info.exists() ? info.canonicalFilePath() : info.absoluteFilePath()).absolutePath());
    return dir.isDir() && dir.isWritable();
}

// The paper and offsets of this run: for a printer, what the command line
// gives over what vdmq.ini remembers (the offsets of that printer); for a
// PDF and for the check, only the command line.
TPaperSettings paperFor(const Options& o)
{
    TPaperSettings s;
    if (o.output == Output::Printer) {
        const QString ini =
            !o.settings.isEmpty() ? o.settings : SettingsFilePath(toGb(QCoreApplication::applicationDirPath()));
        s = LoadPaperSettings(ini, o.target == QLatin1String("-") ? QPrinterInfo::defaultPrinterName() : o.target);
    }
    if (o.paper) {
        s.Paper = *o.paper;
        s.Centred = o.centred;
    } else if (o.centred) {
        s.Centred = true;
    }
    if (o.offset) {
        s.OffsetXmm = o.offset->x();
        s.OffsetYmm = o.offset->y();
    } else if (o.output != Output::Printer) {
        s.OffsetXmm = s.OffsetYmm = 0;
    }
    return s;
}

// Standard output with every write checked: a full disk, /dev/full or a
// file-size limit is reported, not taken for success.
struct CheckedStdout {
    int error = 0;
    bool put(const char* data, std::size_t size)
    {
        if (error)
            return false;
        errno = 0;
        if (std::fwrite(data, 1, size, stdout) != size) {
            error = errno ? errno : EIO;
            return false;
        }
        return true;
    }
    bool put(const std::string& s) { return put(s.data(), s.size()); }
    bool flush()
    {
        errno = 0;
        if (!error && (std::fflush(stdout) != 0 || std::ferror(stdout)))
            error = errno ? errno : EIO;
        return !error;
    }
    std::string message() const
    {
        const std::string why = std::strerror(error);  // in the user's language, as the terminal shows it
        return "无法写入标准输出：" + why;
    }
};
CheckedStdout out;

struct BatchHost : TPrintRunHost {
    const Options& opt;
    const TBatchPasswordPrompt* passwords = nullptr;
    TRunEntries entries;
    std::string width;
    std::string printerName;
    TPaperSettings paper;
    qr::TQRPlacement placement;
    QString rosterName;  // names the print jobs
    bool paperChecked = false;
    std::unique_ptr<TRunPdf> pdf;
    std::unique_ptr<qr::TQRAsciiExportFilter> text;
    std::string line;  // --fields output, reused
    TPrintRun* run = nullptr;
    bool terminal = false;
    bool progressShown = false;
    QElapsedTimer clock;
    qint64 lastProgress = 0;

    explicit BatchHost(const Options& o) : opt(o)
    {
        terminal = isatty(STDERR_FILENO);
        clock.start();
    }

    TRunEntries ReadEntries() override { return entries; }
    // The check measures on the paper and offsets a --pdf run would use.
    TCheckSheet CheckSheet(TRunMode /*mode*/) override { return CheckSheetFor(paper, true); }
    QString OpinionWidthText() override { return fromGb(width); }

    void OutputForm(TVdPrnForm& form, TRunMode mode, int row) override
    {
        try {
            outputForm(form, mode, row);
        } catch (const qr::EInOutError&) {
            // The output file cannot be written (a full disk, a size
            // limit): no later row can do better, --keep-going or not.
            if (run)
                run->Stop();
            throw;
        }
    }

    void outputForm(TVdPrnForm& form, TRunMode /*mode*/, int row)
    {
        switch (opt.output) {
        case Output::Fields: {
            // The captions as the filler sets them; a preparation would
            // call it twice for the same texts.
            bool more = true;
            form.qrVDMQNeedData(*form.qrVDMQ, more);
            writeFields(form, row);
            break;
        }
        case Output::Pdf:
            if (!pdf)
                pdf = std::make_unique<TRunPdf>(opt.target, placement);
            pdf->Add(form);
            break;
        case Output::Text: {
            // The preview window's export: a preparation through the filter,
            // each one adding its page to the file.
            if (!text) {
                text = std::make_unique<qr::TQRAsciiExportFilter>(opt.target);
                text->HoldUntilCommit();  // one file for the whole run, put in place at its end
            }
            qr::TQRPrinter scratch(form.qrVDMQ);
            form.qrVDMQ->Prepare(scratch, text.get());
            break;
        }
        case Output::Printer:
            if (!paperChecked) {
                paperChecked = true;
                warnPaper();
            }
            form.qrVDMQ->ShowProgress = false;
            form.qrVDMQ->PrinterSettings.PrinterName = QString::fromStdString(printerName);
            form.qrVDMQ->PrinterSettings.Placement = placement;
            // The job is named after the roster row, as the queue shows it.
            form.qrVDMQ->ReportTitle = QStringLiteral("%1 第%2行").arg(rosterName).arg(row);
            form.qrVDMQ->Print();
            break;
        case Output::None:
        case Output::Check:  // checked rows are never output
            break;
        }
    }

    // Before the first page goes to the printer: what of the form it will
    // not print.
    void warnPaper()
    {
        const QString printer = QString::fromStdString(printerName);
        const QString text =
            PaperWarning(printer, qr::PrinterPaperSupport(printer, placement.SheetMm), paper, FormLayoutPage(), true);
        for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
            say("警告：" + line.toLocal8Bit().toStdString());
    }

    // The calibration page to the PDF file or the printer.
    void outputCalibration()
    {
        const qr::QRPageImage page = CalibrationPage(CalibrationSheetFor(paper));
        if (opt.output == Output::Pdf) {
            qr::TQRPdfWriter writer(opt.target, QStringLiteral("审批表打印位置校准页"));
            writer.AddPage(page, placement);
            writer.Finish();
            return;
        }
        warnPaper();
        qr::TQRPrinter store;
        store.AddPage(page);
        store.SetStatus(qr::mpFinished);
        store.Title = QStringLiteral("vdmq 校准页");
        qr::TQRPrinterSettings settings;
        settings.PrinterName = QString::fromStdString(printerName);
        settings.Placement = placement;
        qr::PrintBackend()->PrintPages(store, settings);
    }

    static void appendJson(std::string& out, const std::string& utf8)
    {
        out += '"';
        for (unsigned char c : utf8) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += char(c);
                }
            }
        }
        out += '"';
    }

    void writeFields(const TVdPrnForm& form, int row)
    {
        line.clear();
        line += "{\"row\": " + std::to_string(row) + ", \"captions\": {";
        bool first = true;
        for (const std::string& name : DataLabelNames()) {
            const qr::TQRLabel* label = form.Label(name);
            if (!first)
                line += ", ";
            first = false;
            appendJson(line, name);
            line += ": ";
            appendJson(line, label ? label->Caption.toStdString() : std::string());
        }
        line += "}}\n";
        if (!out.put(line) && run)
            run->Stop();  // nothing more can reach the reader
    }

    void clearProgress()
    {
        if (progressShown) {
            std::fputs("\r\033[K", stderr);
            progressShown = false;
        }
    }

    void say(const std::string& message)
    {
        std::fflush(stdout);
        clearProgress();
        std::fprintf(stderr, "%s: %s\n", kProg, message.c_str());
    }

    void MessageBox(const std::string& t, const std::string& detail) override
    {
        // A roster that no password opened: that is what the user must
        // hear, not the run's "choose a roster".
        if (passwords && !passwords->Failure().empty() && t == MsgChooseRoster()) {
            say(local(QString::fromStdString(passwords->Failure())));
            return;
        }
        std::string text = localFromGb(t);
        if (!detail.empty())
            text.append(1, ' ').append(localFromGb(detail));
        say(text);
    }

    void ShowError(const std::string& message, int row) override
    {
        say(row > 0 ? "第 " + std::to_string(row) + " 行：" + localFromGb(message) : localFromGb(message));
    }

    bool RowFailed(int row, const std::string& message) override
    {
        if (!opt.keepGoing)
            return false;
        ShowError(message, row);
        return true;
    }

    void Progress(const TRunProgress& p) override
    {
        if (!terminal)
            return;
        const qint64 now = clock.elapsed();
        if (now < 2000 || now - lastProgress < 200)
            return;
        lastProgress = now;
        std::fprintf(stderr, "\r%s: 第 %d 行（%d/%d），已完成 %d 份\033[K", kProg, p.row, p.rowsDone, p.rowsTotal,
                     p.formsDone);
        progressShown = true;
    }
};

// ---- --check -------------------------------------------------------------------

// Terminal columns a text takes: East Asian wide characters take two.
int columns(const QString& s)
{
    int n = 0;
    for (const char32_t cp : s.toUcs4()) {
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                          (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
        n += wide ? 2 : 1;
    }
    return n;
}

QString padded(const QString& s, int width) { return s + QString(std::max(0, width - columns(s)), u' '); }

// The row of a problem as the table shows it: "-" for the run's entries.
QString rowText(const TCheckProblem& p) { return p.row > 0 ? QString::number(p.row) : QStringLiteral("-"); }

// Row, name and problem, one problem a line, columns aligned.
void writeCheckTable(const TCheckReport& report)
{
    int nameWidth = columns(QStringLiteral("姓名"));
    for (const TCheckProblem& p : report.problems)
        nameWidth = std::max(nameWidth, columns(p.name));
    QString text;
    if (!report.problems.empty()) {
        text += padded(QStringLiteral("行号"), 6) + u' ' + padded(QStringLiteral("姓名"), nameWidth) +
                QStringLiteral("  问题\n");
        for (const TCheckProblem& p : report.problems)
            text += padded(rowText(p), 6) + u' ' + padded(p.name, nameWidth) + QStringLiteral("  ") + p.message + u'\n';
    }
    const QByteArray bytes = text.toLocal8Bit();
    out.put(bytes.constData(), std::size_t(bytes.size()));
}

// One JSON object per problem (JSON Lines, UTF-8), the keys of its kind.
void writeCheckJson(const TCheckReport& report)
{
    std::string line;
    auto key = [&](const char* k) {
        line += ", \"";
        line += k;
        line += "\": ";
    };
    for (const TCheckProblem& p : report.problems) {
        line = "{\"row\": " + std::to_string(p.row);
        key("name");
        BatchHost::appendJson(line, p.name.toStdString());
        key("kind");
        BatchHost::appendJson(line, CheckKindName(p.kind));
        if (!p.label.empty()) {
            key("label");
            BatchHost::appendJson(line, p.label);
        }
        // Every problem says its field and column (null when no roster
        // column is at fault: an entry of the run, an opinion line).
        key("field");
        BatchHost::appendJson(line, p.field.toStdString());
        key("column");
        line += p.column > 0 ? std::to_string(p.column) : std::string("null");
        if (p.column > 0) {
            key("column_letters");
            BatchHost::appendJson(line, col::Letters(p.column));
        }
        if (p.kind == TCheckKind::FillError || p.kind == TCheckKind::EmptyRequired ||
            p.kind == TCheckKind::BadYearMonth || p.kind == TCheckKind::NotANumber ||
            p.kind == TCheckKind::EntryField) {
            key("cell");
            BatchHost::appendJson(line, p.cellText.toStdString());
        }
        if (p.kind == TCheckKind::BadYearMonth || p.kind == TCheckKind::NotANumber) {
            key("printed");
            BatchHost::appendJson(line, p.printed.toStdString());
        }
        if (p.blankOnly) {
            key("blank_only");
            line += "true";
        }
        if (p.kind == TCheckKind::TextCut) {
            key("cut_chars");
            line += std::to_string(p.cutChars);
            key("shown");
            BatchHost::appendJson(line, p.shownText.toStdString());
            key("cut");
            BatchHost::appendJson(line, p.cutText.toStdString());
        }
        char num[32];
        if (p.pastMm > 0) {
            std::snprintf(num, sizeof num, "%.2f", p.pastMm);
            key("past_mm");
            line += num;
        }
        if (p.offPaperMm > 0) {
            std::snprintf(num, sizeof num, "%.2f", p.offPaperMm);
            key("off_paper_mm");
            line += num;
        }
        if (p.kind == TCheckKind::OpinionTooLong) {
            key("extra_bytes");
            line += std::to_string(p.extraBytes);
        }
        if (p.kind == TCheckKind::NoGlyph) {
            key("char");
            BatchHost::appendJson(line, QString::fromUcs4(&p.codePoint, 1).toStdString());
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", unsigned(p.codePoint));
            key("code_point");
            BatchHost::appendJson(line, code);
        }
        key("message");
        BatchHost::appendJson(line, p.message.toStdString());
        line += "}\n";
        out.put(line);
    }
}

// Qt's own notices would mix with the tool's messages; the one about a
// missing XDG_RUNTIME_DIR (usual on servers) says nothing to the user.
void messageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s: qt: %s\n", kProg, message.toLocal8Bit().constData());
}

// The entries of the run: the command line over the settings.
void setEntries(BatchHost& host, const Options& opt, TVdcs& vdcs)
{
    host.entries.start = opt.start.value_or(std::to_string(vdcs.StartRow));
    host.entries.end = opt.end.value_or(std::to_string(vdcs.EndRow));
    host.entries.docNo = opt.docNo.value_or(vdcs.DocNo);
    host.entries.issuedBy = opt.issuedBy.value_or(vdcs.IssuedBy);
    host.entries.printDate = opt.date.value_or(vdcs.PrintDate);
    host.width = opt.width.value_or(std::to_string(vdcs.OpinionWidth));
    vdcs.RosterPath = toGb(QFileInfo(opt.roster).absoluteFilePath());
    host.rosterName = QFileInfo(opt.roster).fileName();
    host.paper = paperFor(opt);
    host.placement = PlacementFor(host.paper, true);
}

// The inputs no output may replace: the roster and the settings files.
void protectInputs(const Options& opt)
{
    if (!opt.roster.isEmpty())
        ProtectFromOutput(QStringLiteral("花名册"), {opt.roster});
    ProtectFromOutput(QStringLiteral("设置文件"),
                      {opt.settings, SettingsFilePath(toGb(QCoreApplication::applicationDirPath()))});
}

// The printer or the output file, before anything is read: false (with
// the reason said) when there is none to write to.
bool findTarget(BatchHost& host, const Options& opt)
{
    if (opt.output == Output::Printer) {
        const QPrinterInfo info =
            opt.target == QLatin1String("-") ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(opt.target);
        if (info.isNull()) {
            std::fprintf(stderr, "%s: %s\n", kProg,
                         opt.target == QLatin1String("-") ? "没有默认打印机"
                                                          : ("没有名为“" + local(opt.target) + "”的打印机").c_str());
            return false;
        }
        host.printerName = info.printerName().toStdString();
        qr::InstallQuietPrintBackend();
    } else if (opt.output == Output::Pdf || opt.output == Output::Text) {
        if (const QString conflict = OutputConflict(opt.target); !conflict.isEmpty()) {
            host.say(local(conflict));
            return false;
        }
        if (!canWrite(opt.target)) {
            std::fprintf(stderr, "%s: 无法写入 %s\n", kProg, local(opt.target).c_str());
            return false;
        }
    }
    return true;
}

// --check: the report on standard output, the summary on standard error.
int runCheck(TPrintRun& run, BatchHost& host, const Options& opt, const TVdcs& vdcs)
{
    TCheckReport report;
    const TRunResult result = run.Check(report);
    if (result.status == TRunStatus::ConvertError)
        return 2;
    if (result.status != TRunStatus::Done)
        return 1;
    if (opt.json)
        writeCheckJson(report);
    else
        writeCheckTable(report);
    if (!out.flush()) {
        host.say(out.message());
        return 1;
    }
    const std::string range = std::to_string(vdcs.StartRow) + "–" + std::to_string(vdcs.EndRow);
    if (report.problems.empty())
        host.say(local(QStringLiteral("第 %1 行标记打印的 %2 行都没有发现问题")
                           .arg(QString::fromStdString(range))
                           .arg(report.flaggedRows)));
    else
        host.say(local(QStringLiteral("第 %1 行标记打印 %2 行，%3 行有问题，共 %4 处")
                           .arg(QString::fromStdString(range))
                           .arg(report.flaggedRows)
                           .arg(report.RowsWithProblems())
                           .arg(report.problems.size()) +
                       (report.EntryProblems() > 0
                            ? QStringLiteral("，其中 %1 处是输入项的问题，每一份表都受影响").arg(report.EntryProblems())
                            : QString())));
    return report.problems.empty() ? 0 : 1;
}

// After the run: the output file put in place only when the run went
// through (rows reported and skipped with --keep-going included); a run that
// ended at an error leaves the file that was there before, and no
// temporary.  0, or 1 when something could not be written.
int finishOutput(BatchHost& host, const Options& opt, const TRunResult& result)
{
    int status = 0;
    const bool complete = result.status == TRunStatus::Done;
    const bool hadFile = host.pdf || host.text;
    try {
        if (host.pdf && complete)
            host.pdf->Finish();
        else if (host.pdf)
            host.pdf->Discard();
        if (host.text && complete)
            host.text->Commit();
        else if (host.text)
            host.text->Discard();
        host.text.reset();
    } catch (const std::exception& e) {
        host.say(local(e));
        status = 1;
    }
    if (hadFile && !complete)
        host.say(local(opt.target) + " 没有写入（运行没有完成）");
    if (!out.flush()) {
        host.say(out.message());
        status = 1;
    }
    host.clearProgress();
    qr::SetPrintBackend(nullptr);
    return status;
}

// The exit status of a run: 2 for a usage error found by the run, 1 when a
// row or the roster failed or an output could not be written, else 0.
int runStatus(BatchHost& host, const Options& opt, const TVdcs& vdcs, const TRunResult& result, int status)
{
    switch (result.status) {
    case TRunStatus::ConvertError: return 2;
    case TRunStatus::Cancelled: host.say("没有输入密码，花名册未打开"); return 1;
    case TRunStatus::OpenFailed:
    case TRunStatus::Failed: return 1;
    default: break;
    }
    if (result.failedRows > 0)
        status = 1;
    if (result.forms == 0 && status == 0) {
        const std::string start = std::to_string(vdcs.StartRow), end = std::to_string(vdcs.EndRow);
        std::string said = vdcs.StartRow > vdcs.EndRow ? "开始行号 " + start + " 大于结束行号 " + end
                                                       : "第 " + start + " 至 " + end + " 行中没有打印标志为 1 的人员";
        if (opt.output == Output::Pdf || opt.output == Output::Text)
            said += "，没有写入 " + local(opt.target);
        else if (opt.output == Output::Printer)
            said += "，没有打印";
        host.say(said);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    // A file-size limit (ulimit -f) makes a write fail with its reason
    // instead of killing the tool without a word.
    IgnoreFileSizeSignal();
    // Ctrl+C leaves no half-written temporary beside the output file.
    RemoveTemporariesOnInterrupt();
    // A reader that goes away (| head) makes the next write fail with EPIPE,
    // which is reported, instead of ending the tool without a word.
    std::signal(SIGPIPE, SIG_IGN);
    qInstallMessageHandler(messageHandler);
    // Without a display the forms are still laid out with the real fonts.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("vdmq"));

    Options opt;
    TVdcs vdcs;
    TEntryFields fields;
    try {
        opt = parse(QCoreApplication::arguments());
        if (!opt.settings.isEmpty()) {
            loadSettingsFile(opt.settings, vdcs, fields);
        } else {
            vdcs = DefaultVdcs();
        }
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n%s: 用法见 '%s --help'\n", kProg, e.message.c_str(), kProg, kProg);
        return 2;
    }

    BatchHost host(opt);
    setEntries(host, opt, vdcs);
    protectInputs(opt);
    if (!findTarget(host, opt))
        return 1;

    if (opt.calibration) {
        try {
            host.outputCalibration();
        } catch (const std::exception& e) {
            host.say(local(e));
            return 1;
        }
        qr::SetPrintBackend(nullptr);
        return 0;
    }

    TBatchPasswordPrompt passwords(opt.passwordFile.isEmpty() ? std::string() : local(opt.passwordFile), STDIN_FILENO,
                                   isatty(STDIN_FILENO));
    passwords.Say = [&host](const std::string& utf8) { host.say(QString::fromUtf8(utf8).toLocal8Bit().toStdString()); };
    if (const std::string error = passwords.Load(); !error.empty()) {
        std::fprintf(stderr, "%s: %s\n", kProg, error.c_str());
        return 2;
    }
    host.passwords = &passwords;

    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    TRosterRows roster;
    roster.SetPasswordPrompt(&passwords);
    TPrintRun run(vdcs, roster, host);
    host.run = &run;
    if (opt.output == Output::Check)
        return runCheck(run, host, opt, vdcs);
    const TRunResult result = run.Run(TRunMode::Print);
    const int status = finishOutput(host, opt, result);
    return runStatus(host, opt, vdcs, result, status);
}
