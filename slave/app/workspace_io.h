#pragma once
// Saving and loading ".vnw" workspaces: the link settings, the main window's
// placement and the open slave documents with their placements.
#include <QString>

#include "slave/core/slave_settings.h"

class CVantorApp;

namespace fw {
class MdiMainWindow;
}

// Saves the workspace of `window` with the link settings to path; asks to
// save modified and untitled documents first. A name whose extension is not
// "vnw" is refused with a message; any other name is kept in *workspaceName
// (when given) for the next dialog. True when written.
bool SaveVantorWorkspace(fw::MdiMainWindow& window, const slavesettings::SlaveSettings& settings,
                         const QString& path, QString* workspaceName = nullptr);
// Loads a workspace: closes all documents (after asking), disconnects, takes
// the settings into `app`, connects when the workspace was saved connected and
// allowConnect is set, and opens its documents. *wantsConnect (may be null)
// tells whether it was saved connected.
bool LoadVantorWorkspace(fw::MdiMainWindow& window, CVantorApp& app, const QString& path, bool allowConnect,
                         bool* wantsConnect = nullptr);
