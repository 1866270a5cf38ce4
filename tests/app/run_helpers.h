#pragma once
// A run of the main window goes on from the application's event loop, a
// form at a time.  RunToEnd runs that loop, as the program's own main loop,
// until the run is over and no run follows (继续打印 starts the next one
// from the loop).  QCoreApplication::exit() from a test's step ends it as it
// ends the program.
#include "app/ui/VdMainUnit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>

inline void RunToEnd(vdmq::TVdMainForm& form, int timeoutMs = 120000)
{
    // Between two preview windows no window of the test is open.
    const bool quitOnClose = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QElapsedTimer clock;
    clock.start();
    int idle = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        idle = form.RunActive() ? 0 : idle + 1;
        if (idle >= 3 || clock.elapsed() > timeoutMs)
            QCoreApplication::exit(0);
    });
    poll.start(10);
    QCoreApplication::exec();
    QGuiApplication::setQuitOnLastWindowClosed(quitOnClose);
}
