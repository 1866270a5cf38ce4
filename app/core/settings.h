#pragma once
// The settings record and the settings file "vdmq.ini" (section "xtcs").
// Texts are GB18030 byte strings.
#include "platform/gbtext.h"
#include <QDateTime>
#include <QString>
#include <functional>
#include <stdexcept>
#include <string>

namespace vdmq {

// The print date is a day of the user's own calendar (TVdcs::PrintDate).
// The date picker holds it as a wall-clock date and time in the user's own
// zone (Qt::LocalTime), and the "Date" key keeps that picker's time of day
// with it; values held in UTC or at a fixed offset are converted to local
// time where they come in.

// The local date and time now.  Whatever needs "today" asks here, so that a
// test can say which day and hour it is.
QDateTime LocalNow();
// Pins the clock (tests); an empty function restores the system clock.
void SetLocalClock(std::function<QDateTime()> clock);

// The "Date" key's text: the system's short date, and its long time (with
// the zone left out) unless the time is midnight; and its reading, which
// also takes the forms other tools write.  An invalid date when unreadable.
QString DateKeyText(const QDateTime& value);
QDateTime DateFromKeyText(const QString& text);

// What the settings record holds when the file has no value (a first
// start): the settings file's reading, vdmq-print and its help, and the
// benchmarks all take them from here.  Texts in UTF-8 as written here; the
// record holds them as GB18030 (DefaultVdcs).
inline constexpr const char* kDefaultDocNo = "澜人发(2007)71号";         // "File"
inline constexpr const char* kDefaultIssuedBy = "澜坪市人事局工资处制";  // "Area"
inline constexpr int kDefaultStartRow = 7;                               // "Start": the first data row
inline constexpr int kDefaultEndRow = 7;                                 // "End"
inline constexpr int kDefaultOpinionWidth = 78;                          // "yjkd", in bytes

struct TVdcs {
    std::string DocNo;
    QDate PrintDate;
    int OpinionWidth = 0;
    int StartRow = 0;
    int EndRow = 0;
    std::string AppDir;  // folder of the program file, no trailing separator
    std::string IssuedBy;
    std::string RosterPath;
};
extern TVdcs Vdcs;

// The record with the defaults above and the print date now (LocalNow);
// AppDir and RosterPath empty.
TVdcs DefaultVdcs();

// "Unable to write to <full path>".
class ESettingsWriteError : public std::runtime_error {
public:
    explicit ESettingsWriteError(const QString& path);
};

// The settings file could not be taken (too large to be one, or UTF-16
// without its mark); the message says which file and why.
class ESettingsReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The main window's entry fields as the settings see them.
struct TEntryFields {
    TEntryFields();        // the values the fields hold before loading
    std::string docNo;     // "File"
    std::string issuedBy;  // "Area"
    std::string start;     // "Start"
    std::string end;       // "End"
    std::string width;     // "yjkd"
    QDateTime printDate;   // "Date": the picker's day, at the picker's own time of day
};

// Where the file lives: <appDir>/vdmq.ini when that file exists or the
// folder is writable, else the per-user configuration folder.
QString SettingsFilePath(const std::string& appDirGb);

// Fills `vdcs` (AppDir := appDir) and then the fields from it.  A file that
// is no settings file gives the defaults, then ESettingsReadError.
void LoadSettings(TVdcs& vdcs, TEntryFields& fields, const std::string& appDirGb);
// Writes File, Area, Date, Start, End, yjkd from the fields; stops at the
// first refused write with ESettingsWriteError.  With `loaded` (the fields
// as this program showed them after loading), a key whose field was not
// changed is left as the file has it, unless the file lacks it: a second
// instance of the program may have saved its own value meanwhile.
void SaveSettings(const TVdcs& vdcs, const TEntryFields& fields, const TEntryFields* loaded = nullptr);
// Whether the entries differ as the settings file would keep them: the
// texts, and the print date's day.
bool EntriesDiffer(const TEntryFields& a, const TEntryFields& b);
// Writes excelFileName, then sets vdcs.RosterPath.
void SaveRosterPath(TVdcs& vdcs, const std::string& pathGb);

}  // namespace vdmq
