#pragma once
// Whole-file reads and writes for tests that check bytes on disk.
#include <QFile>
#include <QString>
#include <gtest/gtest.h>
#include <string>

namespace testfiles {

inline std::string readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
}

inline void writeAll(const QString& path, const std::string& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

}  // namespace testfiles
