#pragma once
// Saving and loading ".zmw" workspaces: the link settings, the main window's
// placement and the open poll documents with their placements.
#include <QString>

class CZelmorApp;

struct WorkspaceLoadResult {
  bool loaded = false;
  bool savedConnected = false;  // the workspace was saved while connected
};

// Saves the workspace; asks to save modified and untitled documents first.
// A name without the ".zmw" extension is refused with a message. True when written.
bool SaveWorkspace(CZelmorApp& app, const QString& path);
// Loads a workspace: closes all documents (after asking), disconnects, takes the
// settings, reconnects when the workspace was saved connected and allowConnect
// is set, and opens its documents.
WorkspaceLoadResult LoadWorkspace(CZelmorApp& app, const QString& path, bool allowConnect);
