#include "app/batch/checkreport.h"

#include "app/batch/messages.h"
#include "app/core/printrun.h"
#include "form/RosterColumns.h"
#include "platform/gbtext.h"

#include <algorithm>

namespace vdmq::batch {

namespace {

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
void writeTable(const TCheckReport& report)
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
    Out().Put(text.toLocal8Bit());
}

// JSON Lines, UTF-8.
void writeJson(const TCheckReport& report)
{
    for (const TCheckProblem& p : report.problems)
        Out().Put(ProblemJson(p).Text() + '\n');
}

// The summary: the range, the flagged rows, the problems.
QString summary(const TCheckReport& report, const TVdcs& vdcs)
{
    const QString range = QStringLiteral("%1–%2").arg(vdcs.StartRow).arg(vdcs.EndRow);
    if (report.problems.empty())
        return QStringLiteral("第 %1 行标记打印的 %2 行都没有发现问题").arg(range).arg(report.flaggedRows);
    QString text = QStringLiteral("第 %1 行标记打印 %2 行，%3 行有问题，共 %4 处")
                       .arg(range)
                       .arg(report.flaggedRows)
                       .arg(report.RowsWithProblems())
                       .arg(report.problems.size());
    if (report.EntryProblems() > 0)
        text += QStringLiteral("，其中 %1 处是输入项的问题，每一份表都受影响").arg(report.EntryProblems());
    return text;
}

}  // namespace

JsonLine ProblemJson(const TCheckProblem& p)
{
    JsonLine o;
    o.Add(QStringLiteral("row"), p.row)
        .Add(QStringLiteral("name"), p.name)
        .Add(QStringLiteral("kind"), QLatin1String(CheckKindName(p.kind)));
    if (!p.label.empty())
        o.Add(QStringLiteral("label"), QString::fromStdString(p.label));
    // Every problem says its field and column (null when no roster column
    // is at fault: an entry of the run, an opinion line).
    o.Add(QStringLiteral("field"), p.field);
    o.Add(QStringLiteral("column"), p.column > 0 ? QJsonValue(p.column) : QJsonValue(QJsonValue::Null));
    if (p.column > 0)
        o.Add(QStringLiteral("column_letters"), QString::fromStdString(col::Letters(p.column)));
    const TCheckKind k = p.kind;
    if (k == TCheckKind::FillError || k == TCheckKind::EmptyRequired || k == TCheckKind::BadYearMonth ||
        k == TCheckKind::NotANumber || k == TCheckKind::EntryField)
        o.Add(QStringLiteral("cell"), p.cellText);
    if (k == TCheckKind::BadYearMonth || k == TCheckKind::NotANumber)
        o.Add(QStringLiteral("printed"), p.printed);
    if (p.blankOnly)
        o.Add(QStringLiteral("blank_only"), true);
    if (k == TCheckKind::TextCut) {
        o.Add(QStringLiteral("cut_chars"), p.cutChars)
            .Add(QStringLiteral("shown"), p.shownText)
            .Add(QStringLiteral("cut"), p.cutText);
    }
    if (p.pastMm > 0)
        o.AddFixed(QStringLiteral("past_mm"), p.pastMm, 2);
    if (p.offPaperMm > 0)
        o.AddFixed(QStringLiteral("off_paper_mm"), p.offPaperMm, 2);
    if (k == TCheckKind::OpinionTooLong)
        o.Add(QStringLiteral("extra_bytes"), p.extraBytes);
    if (k == TCheckKind::NoGlyph) {
        o.Add(QStringLiteral("char"), QString::fromUcs4(&p.codePoint, 1))
            .Add(QStringLiteral("code_point"),
                 QStringLiteral("U+%1").arg(uint(p.codePoint), 4, 16, QLatin1Char('0')).toUpper());
    }
    o.Add(QStringLiteral("message"), p.message);
    return o;
}

int RunCheck(TPrintRun& run, bool json, const TVdcs& vdcs)
{
    TCheckReport report;
    const TRunResult result = run.Check(report);
    if (result.status == TRunStatus::ConvertError)
        return 2;
    if (result.status != TRunStatus::Done)
        return 1;
    if (json)
        writeJson(report);
    else
        writeTable(report);
    if (!Out().Flush()) {
        Say(Out().Message());
        return 1;
    }
    Say(summary(report, vdcs));
    return report.problems.empty() ? 0 : 1;
}

}  // namespace vdmq::batch
