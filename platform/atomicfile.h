#pragma once
// Files written whole or not at all.  The bytes go to a temporary file in
// the target's own folder, named "<target name>.tmp" + six hex digits (for
// a name too long to take ten more bytes: its first bytes, "~", eight hex
// digits of the whole name's hash, ".tmp" and six hex digits); only when
// everything has been written, flushed and fsynced is it renamed over the
// target.  A failed write, a full disk, a file-size limit or a kill
// therefore leaves the target as it was (or absent), never cut short.
//
//  - The temporary is locked (flock) while it is being written.  A
//    temporary of ours that nobody holds is the remnant of a writer that
//    was killed, and the next write to the same target removes it.
//  - An existing target keeps its permissions; a symbolic link is written
//    through to the file it names.
//  - A target that is not a regular file (a terminal, a pipe, /dev/stdout,
//    /dev/full) cannot be replaced by a rename: it is written directly,
//    still with every write checked.
//  - A target that is one of the files the program reads and must keep (the
//    roster, the settings file: ProtectFromOutput) is refused, whatever
//    name, symbolic or hard link it is reached by.
//  - SIGXFSZ is ignored from the first open on, so that a file-size limit
//    (ulimit -f) becomes a failed write with its reason (EFBIG) instead of
//    killing the program without a word.
//
// No Qt widgets; errors are reported through return values, errorText()
// gives the system's reason in the user's language.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>

namespace vdmq {

class TAtomicFile {
public:
    // `output`: a file the program makes (a PDF, a text export), refused
    // when it is one of the protected inputs; false for the writer of an
    // input itself (a key of the settings file).
    explicit TAtomicFile(const QString& target, bool output = true);
    ~TAtomicFile();  // discards whatever was not committed
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Creates the temporary (or opens a non-regular target).  False with
    // the reason in errorText().
    bool Open();
    bool IsOpen() const { return fd_ >= 0; }
    // Every byte or false (the first failure is kept: errorText()).
    bool Write(const char* data, std::size_t size);
    // Position of the next byte, i.e. the bytes written so far.
    qint64 Written() const { return written_; }
    // Makes the file the target: fsync, rename, fsync of the folder.
    // False (and the temporary removed) when anything failed, earlier
    // writes included.
    bool Commit();
    // Removes the temporary; the target stays as it was.
    void Discard();

    const QString& Target() const { return target_; }
    // Where the bytes go now (the temporary, or the target itself).
    QString WorkingPath() const;
    int Handle() const { return fd_; }
    bool Failed() const { return errno_ != 0; }
    int ErrorCode() const { return errno_; }
    // What failed and why, e.g. "写入失败：设备上没有空间".
    QString ErrorText() const;

    // Removes temporaries that writers of `target` left behind when they
    // were killed (unlocked, ours, of our naming).  Returns how many.
    static int RemoveStaleTemporaries(const QString& target);
    // Whether `fileName` is named like one of our temporaries of `target`
    // (the file name only, no folder), in either form.
    static bool IsTemporaryName(const QString& targetName, const QString& fileName);
    // The part of a temporary's name before its six random hex digits.
    static QByteArray TemporaryPrefix(const QByteArray& targetName);

private:
    bool fail(const char* stage, int error);
    bool refuse(const QString& message);

    QString target_;
    QByteArray real_;  // the file that gets replaced (links resolved)
    QByteArray temp_;  // empty when writing the target directly
    int fd_ = -1;
    bool output_ = true;
    bool direct_ = false;
    bool committed_ = false;
    qint64 written_ = 0;
    int errno_ = 0;
    const char* stage_ = "";
    QString refused_;  // why the target may not be written at all
    int slot_ = -1;    // in the interrupt handler's list
};

// ---- files no output may replace ---------------------------------------------
// The roster a run reads and the settings file are inputs: a PDF or text
// file written over one of them (by name, through a symbolic link or as a
// hard link to it) would destroy it.  Every output goes through
// TAtomicFile, which refuses such a target; the dialogs ask first with
// OutputConflict so that the user can choose another name.

// Whether two paths name one file: the same device and inode, symbolic
// links followed.  False when either does not exist.
bool SameFile(const QString& a, const QString& b);
// Sets the files of one kind (`what`, said to the user: "花名册",
// "设置文件") that no output may replace; an empty list stops protecting
// that kind.
void ProtectFromOutput(const QString& what, const QStringList& paths);
// When writing `target` would replace a protected file, what to tell the
// user (Chinese, naming both files); else empty.
QString OutputConflict(const QString& target);

// SIG_IGN for SIGXFSZ, when nothing else handles it.
void IgnoreFileSizeSignal();

// SIGINT, SIGTERM and SIGHUP (Ctrl+C, kill, a closed terminal) remove the
// temporaries being written before the program ends by the signal as it
// would have, so that an interrupted run leaves nothing behind.  For
// programs that have no handlers of their own for these signals.
void RemoveTemporariesOnInterrupt();

}  // namespace vdmq
