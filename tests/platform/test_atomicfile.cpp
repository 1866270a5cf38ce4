// Whole-file writes (platform/atomicfile.h): the temporary's name on file
// systems that hold 255 bytes a name, and the files no output may replace.
#include <gtest/gtest.h>

#include "platform/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include "file_helpers.h"

using namespace vdmq;

namespace {

using testfiles::entries;
using testfiles::readAll;
using testfiles::writeAll;

bool writeWhole(const QString& target, const std::string& bytes, QString* error = nullptr)
{
    TAtomicFile f(target);
    const bool ok = f.Open() && f.Write(bytes.data(), bytes.size()) && f.Commit();
    if (error)
        *error = f.ErrorText();
    return ok;
}

// A name of `bytes` bytes: Chinese characters (three bytes each in UTF-8)
// and ASCII to make up the count, ending in ".pdf".
QString nameOfBytes(int bytes, bool chinese)
{
    QString name;
    int used = 4;
    while (chinese && used + 3 <= bytes - 1) {
        name += QStringLiteral("审");
        used += 3;
    }
    while (used < bytes) {
        name += u'x';
        ++used;
    }
    return name + QStringLiteral(".pdf");
}

// Names of 246 to 255 bytes left no room for ".tmp" and six hex digits: the
// write failed with "File name too long".  Such a name gets a shorter
// temporary, whose leftovers the next write still finds.
TEST(AtomicFile, LongNamesGetAShortTemporary)
{
    QTemporaryDir dir;
    for (const bool chinese : {false, true})
        for (const int bytes : {235, 245, 246, 250, 254, 255}) {
            const QString name = nameOfBytes(bytes, chinese);
            ASSERT_EQ(QFile::encodeName(name).size(), bytes);
            SCOPED_TRACE(name.toStdString());
            const QString target = dir.filePath(name);
            const QByteArray prefix = TAtomicFile::TemporaryPrefix(QFile::encodeName(name));
            EXPECT_LE(prefix.size() + 6, NAME_MAX);
            EXPECT_EQ(QString::fromUtf8(prefix).toUtf8(), prefix);  // cut on a whole character
            // Left by a writer that was killed: removed by the next write.
            const QString stale = dir.filePath(QFile::decodeName(prefix + "00c0de"));
            writeAll(stale, "half");
            QString error;
            EXPECT_TRUE(writeWhole(target, "whole", &error)) << error.toStdString();
            EXPECT_EQ(readAll(target), "whole");
            EXPECT_EQ(entries(dir.path()), QStringList{name});
            QFile::remove(target);
        }
}

TEST(AtomicFile, TemporaryNamesOfBothForms)
{
    const QString longName = nameOfBytes(250, true);
    const QString shortForm = QFile::decodeName(TAtomicFile::TemporaryPrefix(QFile::encodeName(longName)));
    const QString otherLong = nameOfBytes(249, true) + u'y';
    struct Case {
        QString target, file;
        bool ours;
    } cases[] = {
        {"vdmq.ini", "vdmq.ini.tmp00ab12", true},
        {"vdmq.ini", "vdmq.ini.tmpf", true},
        {"vdmq.ini", "vdmq.ini.tmp00AB12", false},
        {"vdmq.ini", "vdmq.ini.tmp1234567", false},
        {"vdmq.ini", "vdmq.ini.lock", false},
        {"vdmq.ini", "vdmq.ini", false},
        {longName, shortForm + "a1b2c3", true},
        {longName, longName + ".tmpa1b2c3", true},  // the earlier form
        {longName, shortForm + "a1b2c3x", false},
        {otherLong, shortForm + "a1b2c3", false},  // another long name with the same beginning
    };
    for (const Case& c : cases)
        EXPECT_EQ(TAtomicFile::IsTemporaryName(c.target, c.file), c.ours) << c.file.toStdString();
}

// The roster and the settings file are inputs: an output named like them,
// or a symbolic or hard link to them, or the same path written another
// way, is refused with the reason, and they stay as they were.
TEST(AtomicFile, ProtectedFilesAreNeverReplaced)
{
    QTemporaryDir dir;
    const QString roster = dir.filePath(QStringLiteral("名单.xls")), ini = dir.filePath("vdmq.ini");
    writeAll(roster, "roster bytes");
    writeAll(ini, "[xtcs]\r\n");
    ASSERT_TRUE(QFile::link(roster, dir.filePath("link.xls")));
    ASSERT_EQ(::link(QFile::encodeName(ini).constData(), QFile::encodeName(dir.filePath("hard.ini")).constData()), 0);
    ProtectFromOutput(QStringLiteral("花名册"), {roster});
    ProtectFromOutput(QStringLiteral("设置文件"), {ini});
    struct Case {
        QString target;
        const char* what;  // nullptr: may be written
    } cases[] = {
        {roster, "花名册"},
        {dir.filePath("link.xls"), "花名册"},
        {dir.path() + QStringLiteral("/./sub/../名单.xls"), "花名册"},
        {ini, "设置文件"},
        {dir.filePath("hard.ini"), "设置文件"},
        {dir.filePath("forms.pdf"), nullptr},
    };
    QDir(dir.path()).mkdir("sub");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        EXPECT_EQ(!OutputConflict(c.target).isEmpty(), c.what != nullptr);
        QString error;
        EXPECT_EQ(writeWhole(c.target, "output", &error), c.what == nullptr);
        if (c.what) {
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.what))) << error.toStdString();
            EXPECT_TRUE(error.contains(QStringLiteral("不能写入"))) << error.toStdString();
        }
    }
    EXPECT_EQ(readAll(roster), "roster bytes");
    EXPECT_EQ(readAll(ini), "[xtcs]\r\n");
    EXPECT_TRUE(SameFile(dir.filePath("hard.ini"), ini));
    EXPECT_FALSE(SameFile(roster, ini));
    // The settings file's own writer replaces it on purpose.
    TAtomicFile keys(ini, false);
    EXPECT_TRUE(keys.Open() && keys.Write("[xtcs]\n", 7) && keys.Commit()) << keys.ErrorText().toStdString();
    EXPECT_EQ(readAll(ini), "[xtcs]\n");
    // Another roster chosen: the first one is an ordinary file again.
    ProtectFromOutput(QStringLiteral("花名册"), {ini + ".none"});
    EXPECT_TRUE(writeWhole(roster, "now a text"));
    ProtectFromOutput(QStringLiteral("花名册"), {});
    ProtectFromOutput(QStringLiteral("设置文件"), {});
    EXPECT_TRUE(OutputConflict(ini).isEmpty());
}

}  // namespace
