#include "master/app/workspace_io.h"

#include <QApplication>
#include <QFileInfo>

#include "framework/document.h"
#include "framework/message_box.h"
#include "framework/placement.h"
#include "framework/recent_files.h"
#include "master/core/zelmor_files.h"
#include "framework/mdi.h"
#include "master/app/zelmor_connection.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

bool SaveWorkspace(fw::MdiMainWindow& window, const zelmor::CommSettings& settings, const QString& path,
                   QString* workspaceName) {
  fw::MdiMainWindow* frame = &window;
  if (!zelmor::HasWorkspaceExtension(path.toStdString())) {
    // Saving nothing without a word would leave the user believing it was saved.
    fw::ShowMessage(text::kWorkspaceNotSaved, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, frame);
    return false;
  }
  if (workspaceName != nullptr) *workspaceName = path;  // proposed again, in the same folder, by the next dialog
  QFileInfo target(path);
  if (!QFileInfo(target.absolutePath()).isWritable() || (target.exists() && !target.isWritable())) {
    fw::ShowMessage(text::kFileOpenError, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, frame);
    return false;
  }

  zelmor::WorkspaceData workspace;
  workspace.settings = settings;
  workspace.mainPlacement = fw::PlacementOf(frame);
  for (fw::Document* document : frame->documents()) {
    zelmor::WorkspaceDocument record;
    if (fw::ChildFrame* child = frame->frameOf(document)) record.placement = child->placement();
    record.title = document->title().left(zelmor::kWorkspaceTitleField - 1).toStdString();
    // A document that was never saved must be saved (or left out) now.
    if (document->path().isEmpty()) document->setModified(true);
    document->maybeSave();
    if (document->path().isEmpty()) continue;
    record.path = document->path().toStdString();
    workspace.documents.push_back(record);
  }
  std::string error;
  if (!archive::WriteFileAtomically(path.toStdString(), zelmor::EncodeWorkspace(workspace), &error)) {
    fw::ShowMessage(text::kDiskError, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, frame);
    return false;
  }
  frame->recentFiles()->add(path);
  return true;
}

WorkspaceLoadResult LoadWorkspace(fw::MdiMainWindow& window, ZelmorConnection& connection, const QString& path,
                                  bool allowConnect) {
  WorkspaceLoadResult result;
  fw::MdiMainWindow* frame = &window;
  // Loading disconnects and may reconnect: not while a connect is still running
  // (a recent-file entry or a dropped file can get here with the command disabled).
  if (connection.isConnecting()) {
    QApplication::beep();
    return result;
  }
  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!archive::ReadFile(path.toStdString(), &bytes, &error, zelmor::kMaxWorkspaceFileSize)) {
    fw::ShowMessage(path + text::kWasNotFound, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, frame);
    return result;
  }
  zelmor::WorkspaceData workspace;
  workspace.settings = connection.settings();
  zelmor::WorkspaceReadResult read =
      bytes.size() < 4 ? zelmor::WorkspaceReadResult::kFormatError : zelmor::DecodeWorkspace(bytes, &workspace);
  if (read == zelmor::WorkspaceReadResult::kFormatError) {
    fw::ShowMessage(text::kFileFormatError, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, frame);
    return result;
  }
  // A short settings block or placement leaves everything as it was.
  if (read != zelmor::WorkspaceReadResult::kOk) return result;
  if (!fw::ApplyPlacement(frame, workspace.mainPlacement)) return result;

  if (!frame->closeAllDocuments()) return result;  // the user cancelled a save prompt
  connection.disconnectLink();

  result.savedConnected = workspace.settings.connected != 0;
  zelmor::CommSettings settings = workspace.settings;
  settings.connected = 0;
  connection.setSettings(settings);
  if (result.savedConnected && allowConnect) connection.connectLink(false, frame);

  for (const zelmor::WorkspaceDocument& record : workspace.documents) {
    QString documentPath = QString::fromStdString(record.path);
    // A workspace inside a workspace would reload (and close) everything again.
    if (zelmor::LooksLikeWorkspace(record.path)) continue;
    fw::Document* document = frame->openDocumentFile(documentPath);
    if (document == nullptr) continue;
    if (fw::ChildFrame* child = frame->frameOf(document)) child->applyPlacement(record.placement);
  }
  frame->recentFiles()->add(path);
  result.loaded = true;
  return result;
}
