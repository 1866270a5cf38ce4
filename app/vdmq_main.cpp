// The GUI program: the main window, maximised.  An optional argument is a
// roster workbook to work on ("Open with" from the file manager); it is
// recorded as the roster before the window is shown.
#include "app/core/settings.h"
#include "app/ui/VdApplication.h"
#include "app/ui/VdMainUnit.h"
#include "app/ui/VdTranslations.h"
#include "platform/gbtext.h"
#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    vdmq::SetUpApplication();
    // Before any window, so that every dialog Qt makes speaks the desktop's language.
    vdmq::InstallQtTranslations();

    vdmq::TMainWindow window;  // loads the settings

    QString roster;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (!args[i].startsWith(QLatin1Char('-'))) {
            roster = args[i];
            break;
        }
    }
    if (!roster.isEmpty()) {
        try {
            vdmq::SaveRosterPath(vdmq::Vdcs, vdmq::toGb(QFileInfo(roster).absoluteFilePath()));
        } catch (const std::exception& e) {
            window.ShowError(e);
        }
    }

    window.showMaximized();
    return app.exec();
}
