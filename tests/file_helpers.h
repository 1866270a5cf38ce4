#pragma once
// Whole-file reads and writes for tests that check bytes on disk.
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>

namespace testfiles {

inline std::string readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

inline void writeAll(const QString& path, const std::string& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// The names in a folder (a temporary left behind shows here).
inline QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden, QDir::Name);
}

// A file-size limit (ulimit -f) for the life of the object.  The writers
// ignore SIGXFSZ, so a write past the limit fails with EFBIG, the way a
// full disk fails with ENOSPC.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit l = old_;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~ScopedFileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;
private:
    struct rlimit old_ {};
};

}  // namespace testfiles
