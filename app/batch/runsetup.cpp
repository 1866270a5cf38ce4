#include "app/batch/runsetup.h"

#include "app/core/paper.h"
#include "platform/atomicfile.h"
#include "platform/gbtext.h"
#include "platform/profile.h"
#include "report/ui/printbackend.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QTemporaryDir>

namespace vdmq::batch {

namespace {

// The folder of the program's own vdmq.ini (GB18030, as the settings want it).
std::string appDirGb() { return toGb(QCoreApplication::applicationDirPath()); }

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
        const QString ini = !o.settings.isEmpty() ? o.settings : SettingsFilePath(appDirGb());
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

bool findPrinter(FormOutput& host, const Options& opt)
{
    const bool byDefault = opt.target == QLatin1String("-");
    const QPrinterInfo info = byDefault ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(opt.target);
    if (info.isNull()) {
        Say(byDefault ? QStringLiteral("没有默认打印机") : "没有名为“" + opt.target + "”的打印机");
        return false;
    }
    host.printerName = info.printerName().toStdString();
    qr::InstallQuietPrintBackend();
    return true;
}

}  // namespace

TVdcs LoadRunSettings(const Options& opt)
{
    if (opt.settings.isEmpty())
        return DefaultVdcs();
    const QString& file = opt.settings;
    QFileInfo info(file);
    if (!info.isFile() || !info.isReadable())
        throw UsageError{"--settings：无法读取 " + file};
    if (info.size() > kMaxProfileBytes)
        throw UsageError{"--settings：" + errorText(EProfileTooLarge(file))};
    // The settings are read from a folder's vdmq.ini: another name is read
    // through a copy.
    QTemporaryDir scratch;
    QString dir = info.absolutePath();
    if (info.fileName() != QLatin1String("vdmq.ini")) {
        if (!scratch.isValid() || !QFile::copy(info.absoluteFilePath(), scratch.filePath("vdmq.ini")))
            throw UsageError{"--settings：无法读取 " + file};
        dir = scratch.path();
    }
    TVdcs vdcs;
    TEntryFields fields;
    try {
        LoadSettings(vdcs, fields, toGb(dir));
    } catch (const ESettingsReadError& e) {
        throw UsageError{"--settings：" + errorText(e)};
    }
    return vdcs;
}

void SetUpRun(FormOutput& host, const Options& opt, TVdcs& vdcs)
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

void ProtectInputs(const Options& opt)
{
    if (!opt.roster.isEmpty())
        ProtectFromOutput(QStringLiteral("花名册"), {opt.roster});
    ProtectFromOutput(QStringLiteral("设置文件"), {opt.settings, SettingsFilePath(appDirGb())});
}

bool FindTarget(FormOutput& host, const Options& opt)
{
    if (opt.output == Output::Printer)
        return findPrinter(host, opt);
    if (opt.output == Output::Pdf || opt.output == Output::Text) {
        if (const QString conflict = OutputConflict(opt.target); !conflict.isEmpty()) {
            Say(conflict);
            return false;
        }
        if (!canWrite(opt.target)) {
            Say("无法写入 " + opt.target);
            return false;
        }
    }
    return true;
}

}  // namespace vdmq::batch
