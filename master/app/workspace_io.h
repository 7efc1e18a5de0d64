#pragma once
// Saving and loading ".zmw" workspaces: the link settings, the main window's
// placement and the open poll documents with their placements.
#include <QString>

#include "master/core/zelmor_files.h"

class ZelmorConnection;

namespace fw {
class MdiMainWindow;
}

struct WorkspaceLoadResult {
  bool loaded = false;
  bool savedConnected = false;  // the workspace was saved while connected
};

// Saves the workspace of `window` with the link settings; asks to save
// modified and untitled documents first. A name without the ".zmw" extension
// is refused with a message; any other name is kept in *workspaceName (when
// given) for the next dialog. True when written.
bool SaveWorkspace(fw::MdiMainWindow& window, const zelmor::CommSettings& settings, const QString& path,
                   QString* workspaceName = nullptr);
// Loads a workspace: closes all documents (after asking), disconnects, takes the
// settings, reconnects when the workspace was saved connected and allowConnect
// is set, and opens its documents.
WorkspaceLoadResult LoadWorkspace(fw::MdiMainWindow& window, ZelmorConnection& connection, const QString& path,
                                  bool allowConnect);
