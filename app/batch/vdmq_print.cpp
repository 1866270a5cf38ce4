// vdmq-print: the print run without the main window, for long runs, for
// machines without a display and for checking what a roster gives.  The
// rows, the flag test, the filling and the errors are the main window's run
// (app/core/printrun); only where the forms go differs.
//
// options: the command line.  runsetup: the settings, paper and target of
// the run.  formoutput: where the forms go.  checkreport: --check.
// messages: standard output and the messages.  Here: the order of it all
// and the exit status.
#include "app/batch/checkreport.h"
#include "app/batch/formoutput.h"
#include "app/batch/messages.h"
#include "app/batch/options.h"
#include "app/batch/runsetup.h"
#include "app/core/batchpassword.h"
#include "platform/atomicfile.h"
#include "platform/gbtext.h"
#include "report/ui/printbackend.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace vdmq;
using namespace vdmq::batch;

namespace {

// After the run: the output file put in place only when the run went
// through (rows reported and skipped with --keep-going included); a run that
// ended at an error leaves the file that was there before, and no
// temporary.  0, or 1 when something could not be written.
int finishOutput(FormOutput& host, const Options& opt, const TRunResult& result)
{
    int status = 0;
    const bool complete = result.status == TRunStatus::Done;
    const bool hadFile = host.HasFile();
    try {
        host.FinishFile(complete);
    } catch (const std::exception& e) {
        Say(errorText(e));
        status = 1;
    }
    if (hadFile && !complete)
        Say(opt.target + " 没有写入（运行没有完成）");
    if (!Out().Flush()) {
        Say(Out().Message());
        status = 1;
    }
    ClearProgress();
    qr::SetPrintBackend(nullptr);
    return status;
}

// The exit status of a run: 2 for a usage error found by the run, 1 when a
// row or the roster failed or an output could not be written, else 0.
int runStatus(const Options& opt, const TVdcs& vdcs, const TRunResult& result, int status)
{
    switch (result.status) {
    case TRunStatus::ConvertError: return 2;
    case TRunStatus::Cancelled: Say(QStringLiteral("没有输入密码，花名册未打开")); return 1;
    case TRunStatus::OpenFailed:
    case TRunStatus::Failed: return 1;
    default: break;
    }
    if (result.failedRows > 0)
        status = 1;
    if (result.forms == 0 && status == 0) {
        QString said =
            vdcs.StartRow > vdcs.EndRow
                ? QStringLiteral("开始行号 %1 大于结束行号 %2").arg(vdcs.StartRow).arg(vdcs.EndRow)
                : QStringLiteral("第 %1 至 %2 行中没有打印标志为 1 的人员").arg(vdcs.StartRow).arg(vdcs.EndRow);
        if (opt.output == Output::Pdf || opt.output == Output::Text)
            said += "，没有写入 " + opt.target;
        else if (opt.output == Output::Printer)
            said += QStringLiteral("，没有打印");
        Say(said);
    }
    return status;
}

int outputCalibration(FormOutput& host)
{
    try {
        host.OutputCalibration();
    } catch (const std::exception& e) {
        Say(errorText(e));
        return 1;
    }
    qr::SetPrintBackend(nullptr);
    return 0;
}

// The run over the roster, its password asked for or read first: the
// forms to their output, or the check.  The exit status.
int runRoster(FormOutput& host, const Options& opt, TVdcs& vdcs)
{
    TBatchPasswordPrompt passwords(opt.passwordFile.isEmpty() ? std::string()
                                                              : opt.passwordFile.toLocal8Bit().toStdString(),
                                   STDIN_FILENO, isatty(STDIN_FILENO));
    passwords.Say = [](const std::string& utf8) { Say(QString::fromStdString(utf8)); };
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
        return RunCheck(run, opt.json, vdcs);
    const TRunResult result = run.Run(TRunMode::Print);
    const int status = finishOutput(host, opt, result);
    return runStatus(opt, vdcs, result, status);
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
    InstallMessageHandler();
    // Without a display the forms are still laid out with the real fonts.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("vdmq"));

    Options opt;
    TVdcs vdcs;
    try {
        opt = ParseOptions(QCoreApplication::arguments());
        vdcs = LoadRunSettings(opt);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n%s: 用法见 '%s --help'\n", kProg, e.message.toLocal8Bit().constData(), kProg,
                     kProg);
        return 2;
    }

    FormOutput host(opt);
    SetUpRun(host, opt, vdcs);
    ProtectInputs(opt);
    if (!FindTarget(host, opt))
        return 1;
    if (opt.calibration)
        return outputCalibration(host);

    return runRoster(host, opt, vdcs);
}
