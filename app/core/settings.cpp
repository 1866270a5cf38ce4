#include "app/core/settings.h"

#include "form/PubFunc.h"
#include "platform/atomicfile.h"
#include "platform/gbtext.h"
#include "platform/profile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTimeZone>

#include <optional>
#include <vector>

namespace vdmq {

TVdcs Vdcs;

namespace {

std::function<QDateTime()>& clockOverride()
{
    static std::function<QDateTime()> clock;
    return clock;
}

constexpr std::string_view kSection = "xtcs";

// Drops the time-zone field from a locale's long time format: the stored
// date is local time, and a zone name could not be read back reliably.
QString withoutZone(const QString& format)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        out += c;
    }
    out = out.trimmed();
    // Brackets or parentheses left empty around the removed zone.
    out.remove(QStringLiteral("[]")).remove(QStringLiteral("()"));
    return out.trimmed();
}

// Two-digit years lose the century; the file keeps all four digits.
QString withFullYear(const QString& format)
{
    if (format.contains(QStringLiteral("yyyy")))
        return format;
    QString out = format;
    out.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return out;
}

QString shortDateFormat(const QLocale& loc) { return withFullYear(loc.dateFormat(QLocale::ShortFormat)); }
QString longTimeFormat(const QLocale& loc) { return withoutZone(loc.timeFormat(QLocale::LongFormat)); }

}  // namespace

QString DateKeyText(const QDateTime& value)
{
    const QDateTime dt = value.toLocalTime();
    const QLocale loc = QLocale::system();
    QString text = loc.toString(dt.date(), shortDateFormat(loc));
    if (dt.time() != QTime(0, 0))
        text += u' ' + loc.toString(dt.time(), longTimeFormat(loc));
    return text;
}

QDateTime DateFromKeyText(const QString& raw)
{
    const QString text = raw.trimmed();
    if (text.isEmpty())
        return {};
    const QLocale loc = QLocale::system();
    const QLocale c = QLocale::c();

    struct Attempt {
        const QLocale* locale;
        QString format;
        bool dateOnly;
        bool twoDigitYear;
    };
    const QString sysDate = shortDateFormat(loc);
    const QString sysDateRaw = loc.dateFormat(QLocale::ShortFormat);
    const QString sysTime = longTimeFormat(loc);
    std::vector<Attempt> attempts = {
        {&loc, sysDate + u' ' + sysTime, false, false},
        {&loc, sysDate, true, false},
    };
    if (sysDateRaw != sysDate) {
        // A file written by a tool that kept the locale's two-digit year.
        attempts.push_back({&loc, sysDateRaw + u' ' + sysTime, false, true});
        attempts.push_back({&loc, sysDateRaw, true, true});
    }
    for (const char* f : {"yyyy/M/d H:mm:ss", "yyyy/M/d H:mm", "yyyy-M-d H:mm:ss", "yyyy-M-d H:mm", "yyyy.M.d H:mm:ss",
                          "yyyy'年'M'月'd'日' H:mm:ss"})
        attempts.push_back({&c, QString::fromUtf8(f), false, false});
    for (const char* f : {"yyyy/M/d", "yyyy-M-d", "yyyy.M.d", "yyyy'年'M'月'd'日'"})
        attempts.push_back({&c, QString::fromUtf8(f), true, false});

    for (const Attempt& a : attempts) {
        QDateTime dt;
        if (a.dateOnly) {
            const QDate d = a.locale->toDate(text, a.format);
            if (d.isValid())
                dt = QDateTime(d, QTime(0, 0));
        } else {
            dt = a.locale->toDateTime(text, a.format);
        }
        if (!dt.isValid())
            continue;
        if (a.twoDigitYear && dt.date().year() < 1930)
            dt = dt.addYears(100);
        return dt;
    }
    QDateTime iso = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!iso.isValid())
        iso = QDateTime::fromString(text, Qt::ISODate);
    if (iso.isValid()) {
        // A stated offset or zone is honoured; the record holds local time.
        return iso.toLocalTime();
    }
    return {};
}

namespace {

QString normalizedDir(const QString& dir)
{
    QString d = QDir::fromNativeSeparators(dir);
    while (d.size() > 1 && d.endsWith(u'/'))
        d.chop(1);
    return d;
}

void writeKey(const QString& path, std::string_view key, std::string_view value)
{
    // The per-user folder may not exist yet on a first start.
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder))
        QDir().mkpath(folder);
    try {
        WriteProfileString(path, kSection, key, fromGb(value));
    } catch (const EProfileWriteError&) {
        throw ESettingsWriteError(path);
    }
}

// The roster and the settings file are what the program reads: no output
// of it may replace them (platform/atomicfile.h).
void protectRoster(const std::string& rosterGb) { ProtectFromOutput(QStringLiteral("花名册"), {fromGb(rosterGb)}); }

int readInt(const TProfileSnapshot& file, std::string_view key, int def)
{
    const auto text = file.Read(kSection, key);
    int v = 0;
    if (text && TryStrToInt(*text, v))
        return v;
    return def;
}

}  // namespace

QDateTime LocalNow()
{
    if (const auto& clock = clockOverride())
        return clock().toLocalTime();
    return QDateTime::currentDateTime();
}

void SetLocalClock(std::function<QDateTime()> clock) { clockOverride() = std::move(clock); }

ESettingsWriteError::ESettingsWriteError(const QString& path)
    : std::runtime_error("Unable to write to " + QDir::toNativeSeparators(path).toStdString())
{
}

TVdcs DefaultVdcs()
{
    TVdcs v;
    v.DocNo = gb(kDefaultDocNo);
    v.IssuedBy = gb(kDefaultIssuedBy);
    v.PrintDate = LocalNow().date();
    v.StartRow = kDefaultStartRow;
    v.EndRow = kDefaultEndRow;
    v.OpinionWidth = kDefaultOpinionWidth;
    return v;
}

TEntryFields::TEntryFields()
    : docNo(gb(kDefaultDocNo)),
      issuedBy(gb(kDefaultIssuedBy)),
      start(std::to_string(kDefaultStartRow)),
      end(std::to_string(kDefaultEndRow)),
      // The width field's own value before loading, which loading always
      // replaces (a first start shows the default, 78).
      width("80"),
      printDate(LocalNow())
{
}

QString SettingsFilePath(const std::string& appDirGb)
{
    QString dir = normalizedDir(fromGb(appDirGb));
    if (dir.isEmpty())
        dir = QDir::currentPath();
    QString portable = (dir.endsWith(u'/') ? dir : dir + u'/') + QStringLiteral("vdmq.ini");
    const QFileInfo folder(dir);
    if (QFileInfo::exists(portable) || (folder.isDir() && folder.isWritable()))
        return portable;
    QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (config.isEmpty())
        return portable;
    return config + QStringLiteral("/vdmq.ini");
}

void LoadSettings(TVdcs& vdcs, TEntryFields& fields, const std::string& appDirGb)
{
    vdcs.AppDir = toGb(normalizedDir(fromGb(appDirGb)));
    const QString path = SettingsFilePath(vdcs.AppDir);
    ProtectFromOutput(QStringLiteral("设置文件"), {path});

    // The file is read once for all its keys.  One that is no settings
    // file (too large, UTF-16 without its mark) is not read: the defaults
    // apply, as for a missing one, and the caller is told after the fields
    // are filled.
    TProfileSnapshot file;
    std::optional<EProfileUnreadable> unreadable;
    try {
        file = TProfileSnapshot::Load(path);
    } catch (const EProfileUnreadable& e) {
        unreadable = e;
    }
    vdcs.DocNo = toGb(file.Read(kSection, "File", QString::fromUtf8(kDefaultDocNo)));
    vdcs.IssuedBy = toGb(file.Read(kSection, "Area", QString::fromUtf8(kDefaultIssuedBy)));
    QDateTime date;
    if (const auto text = file.Read(kSection, "Date"))
        date = DateFromKeyText(*text);
    vdcs.PrintDate = date.isValid() ? date.date() : LocalNow().date();
    vdcs.StartRow = readInt(file, "Start", kDefaultStartRow);
    vdcs.EndRow = readInt(file, "End", kDefaultEndRow);
    vdcs.RosterPath = toGb(file.Read(kSection, "excelFileName", QString()));
    protectRoster(vdcs.RosterPath);
    vdcs.OpinionWidth = readInt(file, "yjkd", kDefaultOpinionWidth);

    fields.docNo = vdcs.DocNo;
    fields.issuedBy = vdcs.IssuedBy;
    // The picker takes the date; it keeps its own time of day.
    fields.printDate = QDateTime(vdcs.PrintDate, fields.printDate.toLocalTime().time());
    fields.start = std::to_string(vdcs.StartRow);
    fields.end = std::to_string(vdcs.EndRow);
    fields.width = std::to_string(vdcs.OpinionWidth);
    if (unreadable)
        throw ESettingsReadError(unreadable->what());
}

bool EntriesDiffer(const TEntryFields& a, const TEntryFields& b)
{
    return a.docNo != b.docNo || a.issuedBy != b.issuedBy || a.start != b.start || a.end != b.end ||
           a.width != b.width || a.printDate.toLocalTime().date() != b.printDate.toLocalTime().date();
}

void SaveSettings(const TVdcs& vdcs, const TEntryFields& fields, const TEntryFields* loaded)
{
    const QString path = SettingsFilePath(vdcs.AppDir);
    TProfileSnapshot file;
    if (loaded) {
        try {
            file = TProfileSnapshot::Load(path);
        } catch (const EProfileUnreadable&) {
            loaded = nullptr;  // every write is refused, and says so
        }
    }
    auto save = [&](std::string_view key, const std::string& value, bool changed) {
        if (!loaded || changed || !file.Read(kSection, key))
            writeKey(path, key, value);
    };
    save("File", fields.docNo, loaded && fields.docNo != loaded->docNo);
    save("Area", fields.issuedBy, loaded && fields.issuedBy != loaded->issuedBy);
    save("Date", toGb(DateKeyText(fields.printDate)),
         loaded && fields.printDate.toLocalTime().date() != loaded->printDate.toLocalTime().date());
    save("Start", fields.start, loaded && fields.start != loaded->start);
    save("End", fields.end, loaded && fields.end != loaded->end);
    save("yjkd", fields.width, loaded && fields.width != loaded->width);
}

void SaveRosterPath(TVdcs& vdcs, const std::string& pathGb)
{
    writeKey(SettingsFilePath(vdcs.AppDir), "excelFileName", pathGb);
    vdcs.RosterPath = pathGb;
    protectRoster(pathGb);
}

}  // namespace vdmq
