#pragma once
// What vdmq-print says: standard output with every write checked, the
// messages and the progress line on standard error, in the terminal's
// encoding, each message after the program's name.
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <string>

namespace vdmq::batch {

inline constexpr const char* kProg = "vdmq-print";

// Standard output with every write checked: a full disk, /dev/full or a
// file-size limit is reported, not taken for success.  After the first
// failed write nothing more is written.
class CheckedStdout {
public:
    bool Put(const char* data, std::size_t size);
    bool Put(const QByteArray& bytes) { return Put(bytes.constData(), std::size_t(bytes.size())); }
    bool Flush();
    bool Failed() const { return error_ != 0; }
    QString Message() const;  // why the output failed

private:
    int error_ = 0;
};

// The one standard output of the tool.
CheckedStdout& Out();

// "vdmq-print: message" on standard error, after what standard output
// holds and in place of a progress line.
void Say(const QString& message);

// "vdmq-print: 第 7 行（3/40），已完成 2 份" over itself on a terminal,
// no more than five times a second and only once a run has taken two seconds.
// The clock starts when the line is made.
class ProgressLine {
public:
    ProgressLine();
    void Show(int row, int rowsDone, int rowsTotal, int formsDone);

private:
    bool terminal_ = false;
    QElapsedTimer clock_;
    qint64 last_ = 0;
};
// Takes the progress line off the terminal, if one is shown.
void ClearProgress();

// Qt's own notices, through the tool's messages.
void InstallMessageHandler();

}  // namespace vdmq::batch
