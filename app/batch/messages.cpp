#include "app/batch/messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace vdmq::batch {

namespace {

bool progressShown = false;

// Qt's own notices would mix with the tool's messages; the one about a
// missing XDG_RUNTIME_DIR (usual on servers) says nothing to the user.
void messageHandler(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s: qt: %s\n", kProg, message.toLocal8Bit().constData());
}

}  // namespace

bool CheckedStdout::Put(const char* data, std::size_t size)
{
    if (error_)
        return false;
    errno = 0;
    if (std::fwrite(data, 1, size, stdout) != size) {
        error_ = errno ? errno : EIO;
        return false;
    }
    return true;
}

bool CheckedStdout::Flush()
{
    errno = 0;
    if (!error_ && (std::fflush(stdout) != 0 || std::ferror(stdout)))
        error_ = errno ? errno : EIO;
    return !error_;
}

QString CheckedStdout::Message() const
{
    // strerror speaks the user's language, in the terminal's encoding.
    return "无法写入标准输出：" + QString::fromLocal8Bit(std::strerror(error_));
}

CheckedStdout& Out()
{
    static CheckedStdout out;
    return out;
}

void Say(const QString& message)
{
    std::fflush(stdout);
    ClearProgress();
    std::fprintf(stderr, "%s: %s\n", kProg, message.toLocal8Bit().constData());
}

ProgressLine::ProgressLine() : terminal_(isatty(STDERR_FILENO)) { clock_.start(); }

void ProgressLine::Show(int row, int rowsDone, int rowsTotal, int formsDone)
{
    if (!terminal_)
        return;
    const qint64 now = clock_.elapsed();
    if (now < 2000 || now - last_ < 200)
        return;
    last_ = now;
    std::fprintf(stderr, "\r%s: 第 %d 行（%d/%d），已完成 %d 份\033[K", kProg, row, rowsDone, rowsTotal, formsDone);
    progressShown = true;
}

void ClearProgress()
{
    if (progressShown) {
        std::fputs("\r\033[K", stderr);
        progressShown = false;
    }
}

void InstallMessageHandler() { qInstallMessageHandler(messageHandler); }

}  // namespace vdmq::batch
