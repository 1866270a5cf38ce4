#pragma once
// Tests say which day and hour it is, and in which zone, instead of taking
// whatever the machine's clock and zone happen to be.
#include "app/core/settings.h"

#include <QByteArray>
#include <QDateTime>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <ostream>

// Failure messages show dates and times as text, not as bytes.
inline void PrintTo(const QDate& d, std::ostream* os) { *os << d.toString(Qt::ISODate).toStdString(); }
inline void PrintTo(const QDateTime& d, std::ostream* os)
{
    *os << d.toString(Qt::ISODateWithMs).toStdString() << (d.timeSpec() == Qt::LocalTime ? " local" : "");
}

namespace testclock {

// Runs the rest of the scope in time zone `zone` (an IANA name); the
// caller's zone comes back afterwards.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            saved_ = QByteArray(old);
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone()
    {
        if (saved_)
            setenv("TZ", saved_->constData(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedZone(const ScopedZone&) = delete;
    ScopedZone& operator=(const ScopedZone&) = delete;

private:
    std::optional<QByteArray> saved_;
};

// The program's clock stands at `local` (wall-clock time in the current
// zone) for the rest of the scope.
class ScopedClock {
public:
    explicit ScopedClock(const QDateTime& local)
    {
        vdmq::SetLocalClock([date = local.date(), time = local.time()] { return QDateTime(date, time); });
    }
    ~ScopedClock() { vdmq::SetLocalClock({}); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace testclock
