#pragma once
// Where the program's file dialogs start, and the folder the forms were
// last exported to (kept in vdmq.ini, section "vdmq", key "ExportDir").
#include "app/core/settings.h"
#include <QString>

namespace vdmq {

// Folders of the system's own (programs, libraries, configuration): no
// place to look for or leave a roster, even where the user may write.
bool IsSystemFolder(const QString& dir);

// The user's documents folder when it exists, else the home folder.
QString DocumentsFolder();

// Where the roster open dialog starts: the recorded roster's folder; else
// the program's own folder when it is writable and no system folder (a copy
// kept beside its rosters); else the documents folder, else home.
QString RosterDialogFolder(const QString& rosterPath, const QString& appDir);

// Where the export dialogs (text, PDF) start: the folder last exported to,
// while it exists; else the documents folder, else home.
QString ExportFolder(const TVdcs& vdcs);
// Records `dir` for the next export.  A settings file that cannot be
// written keeps the old value; the export itself is not affected.
void RememberExportFolder(const TVdcs& vdcs, const QString& dir);

}  // namespace vdmq
