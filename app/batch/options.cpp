// The command line of vdmq-print: "--name value" or "--name=value", one
// roster, exactly one output.  The form's entries are kept as the texts of
// their fields; the run checks them as the main window's fields are checked.
#include "app/batch/options.h"

#include "app/core/settings.h"
#include "form/PubFunc.h"
#include "platform/gbtext.h"

#include <QDateTime>
#include <cstdio>
#include <cstdlib>

namespace vdmq::batch {

namespace {

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
            throw UsageError{name_ + " 后面缺少值"};
        return args_[++i_];
    }
    // A row number, kept as the row field's text (GB18030).
    std::string Number()
    {
        const QString text = Value();
        int n;
        if (!TryStrToInt(text, n))
            throw UsageError{name_ + ": " + errorText(EConvertError(text))};
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

// The paper and the place of the form on it.
bool parsePaperOption(ArgCursor& a, Options& o)
{
    if (a.Is("--paper")) {
        const QString v = a.Value();
        o.paper = ParsePaper(v.toStdString());
        if (!o.paper)
            throw UsageError{"--paper：'" + v + "' 应为 b5 或 a4"};
    } else if (a.Is("--centre") || a.Is("--center")) {
        o.centred = true;
    } else if (a.Is("--offset")) {
        const QString v = a.Value();
        o.offset = ParseOffsetPair(v.toStdString());
        if (!o.offset)
            throw UsageError{"--offset：'" + v + "' 应为 X,Y 毫米，各在 -20.0 到 20.0 之间，至多一位小数"};
    } else {
        return false;
    }
    return true;
}

// The options that take the form's values, the paper and the outputs;
// false for an argument that is none of them.
bool parseRunOption(ArgCursor& a, Options& o)
{
    if (parsePaperOption(a, o))
        return true;
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
            throw UsageError{"--date：'" + v + "' 不是 YYYY-MM-DD 或 YYYY-MM-DD HH:MM:SS 形式的日期"};
        o.date = dt.date();
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
            throw UsageError{"--calibration-page 不用花名册：" + o.roster};
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

}  // namespace

Options ParseOptions(const QStringList& args)
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
            throw UsageError{"没有这个选项：" + a.Name()};
        } else if (o.roster.isEmpty()) {
            o.roster = a.Name();
        } else {
            throw UsageError{"给出了不止一个花名册：" + a.Name()};
        }
    }
    checkOptions(o);
    return o;
}

}  // namespace vdmq::batch
