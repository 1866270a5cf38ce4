#pragma once
// The cups-pdf queues of scripts/start-cups: where their jobs land and how
// to wait for one.  Printing tests need root (CUPS is started by the test
// script as root) and skip otherwise.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QThread>
#include <map>

namespace testcups {

// cups-pdf's output folder ("Out" in /etc/cups/cups-pdf.conf).
inline QString outDir()
{
    QString out = QStringLiteral("${HOME}/PDF");
    QFile conf("/etc/cups/cups-pdf.conf");
    if (conf.open(QIODevice::ReadOnly)) {
        for (const QByteArray& raw : conf.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith("Out ") || line.startsWith("Out\t"))
                out = line.mid(4).trimmed();
        }
    }
    out.replace("${HOME}", QDir::homePath());
    out.replace("${USER}", qEnvironmentVariable("USER", "root"));
    return out;
}

// Waits (up to `seconds`) until a finished PDF whose name contains each of
// `titles` is in the output folder; returns title -> file (missing ones
// are left out).  cups-pdf names its files after the job title.
inline std::map<QString, QString> waitForJobs(const QStringList& titles, int seconds = 120)
{
    std::map<QString, QString> found;
    const QDir dir(outDir());
    for (int i = 0; i < seconds * 5 && int(found.size()) < titles.size(); ++i) {
        QThread::msleep(200);
        for (const QString& f : dir.entryList({"*.pdf"}, QDir::Files))
            for (const QString& t : titles)
                if (!found.count(t) && f.contains(t)) {
                    // cups-pdf writes the file, then leaves it: wait until it settles.
                    const QString path = dir.filePath(f);
                    qint64 size = -1;
                    for (int j = 0; j < 50 && QFileInfo(path).size() != size; ++j) {
                        size = QFileInfo(path).size();
                        QThread::msleep(200);
                    }
                    found[t] = path;
                }
    }
    return found;
}

}  // namespace testcups
