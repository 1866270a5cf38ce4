#include "app/core/folders.h"

#include "platform/gbtext.h"
#include "platform/profile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vdmq {

namespace {
constexpr std::string_view kOwnSection = "vdmq";
constexpr std::string_view kExportDirKey = "ExportDir";

bool usableDir(const QString& dir) { return !dir.isEmpty() && QFileInfo(dir).isDir(); }
}  // namespace

bool IsSystemFolder(const QString& dir)
{
    const QString d = QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(dir)).absoluteFilePath());
    if (d == QLatin1String("/"))
        return true;
    static const char* const roots[] = {"/usr",    "/bin", "/sbin", "/lib",  "/lib32", "/lib64",
                                        "/libx32", "/opt", "/etc",  "/boot", "/var",   "/snap",
                                        "/nix",    "/app", "/proc", "/sys",  "/dev",   "/run"};
    for (const char* root : roots) {
        const QString r = QLatin1String(root);
        if (d == r || d.startsWith(r + QLatin1Char('/')))
            return true;
    }
    return false;
}

QString DocumentsFolder()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (usableDir(docs))
        return QDir::toNativeSeparators(docs);
    return QDir::toNativeSeparators(QDir::homePath());
}

QString RosterDialogFolder(const QString& rosterPath, const QString& appDir)
{
    if (!rosterPath.isEmpty()) {
        const QString folder = QFileInfo(QDir::fromNativeSeparators(rosterPath)).absolutePath();
        if (usableDir(folder))
            return QDir::toNativeSeparators(folder);
    }
    const QFileInfo app(QDir::fromNativeSeparators(appDir));
    if (!appDir.isEmpty() && app.isDir() && app.isWritable() && !IsSystemFolder(appDir))
        return QDir::toNativeSeparators(app.absoluteFilePath());
    return DocumentsFolder();
}

QString ExportFolder(const TVdcs& vdcs)
{
    QString dir = ReadProfileString(SettingsFilePath(vdcs.AppDir), kOwnSection, kExportDirKey, QString());
    if (usableDir(QDir::fromNativeSeparators(dir)))
        return dir;
    return DocumentsFolder();
}

void RememberExportFolder(const TVdcs& vdcs, const QString& dir)
{
    if (dir.isEmpty())
        return;
    const QString file = SettingsFilePath(vdcs.AppDir);
    QDir().mkpath(QFileInfo(file).absolutePath());
    try {
        WriteProfileString(file, kOwnSection, kExportDirKey, QDir::toNativeSeparators(dir));
    } catch (const std::exception&) {
        // Only a convenience: the next dialog starts in the documents folder.
    }
}

}  // namespace vdmq
