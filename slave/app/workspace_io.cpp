#include "slave/app/workspace_io.h"

#include <QFile>
#include <QFileInfo>
#include <unistd.h>

#include "framework/mdi.h"
#include "framework/message_box.h"
#include "framework/placement.h"
#include "framework/recent_files.h"
#include "resources/vantor_resources.h"
#include "slave/app/vantor_app.h"
#include "slave/core/vnw_file.h"

namespace {

void ShowWorkspaceError(QWidget* window, const char* text) {
  fw::ShowMessage(QString::fromLatin1(text), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, window);
}

}  // namespace

bool SaveVantorWorkspace(fw::MdiMainWindow& window, const slavesettings::SlaveSettings& settings,
                         const QString& path, QString* workspaceName) {
  if (!vnw::HasWorkspaceExtension(path.toStdString())) {
    // Saving nothing without a word would leave the user believing it was saved.
    ShowWorkspaceError(&window, vantorres::kWrongWorkspaceExtension);
    return false;
  }
  if (workspaceName != nullptr) *workspaceName = path;
  const QFileInfo info(path);
  if (info.isDir() || ::access(QFile::encodeName(info.absolutePath()).constData(), W_OK) != 0) {
    ShowWorkspaceError(&window, vantorres::kFileOpenError);
    return false;
  }
  vnw::Workspace workspace;
  workspace.settings = settings;
  workspace.mainPlacement = fw::PlacementOf(&window);
  for (fw::Document* document : window.documents()) {
    fw::ChildFrame* frame = window.frameOf(document);
    if (!frame) continue;
    const archive::WindowPlacement placement = frame->placement();
    const QString title = document->title();
    if (document->path().isEmpty()) document->setModified(true);
    if (!document->maybeSave()) continue;
    if (document->path().isEmpty()) continue;
    workspace.documents.push_back(
        {placement, title.toStdString(), QFile::encodeName(document->path()).toStdString()});
  }
  std::string error;
  // Temporary file and rename: a failed save keeps the previous workspace.
  if (!archive::WriteFileAtomically(QFile::encodeName(path).toStdString(), vnw::Encode(workspace), &error)) {
    ShowWorkspaceError(&window, vantorres::kDiskError);
    return false;
  }
  window.recentFiles()->add(path);
  return true;
}

bool LoadVantorWorkspace(fw::MdiMainWindow& window, CVantorApp& app, const QString& path, bool allowConnect,
                         bool* wantsConnect) {
  if (wantsConnect) *wantsConnect = false;
  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!archive::ReadFile(QFile::encodeName(path).toStdString(), &bytes, &error, vnw::kMaxFileSize)) {
    fw::ShowMessage(path + QString::fromLatin1(vantorres::kWasNotFound), fw::MsgIcon::Exclamation,
                    fw::MsgButtons::Ok, &window);
    return false;
  }
  vnw::Workspace workspace;
  workspace.settings = app.settings();
  const vnw::DecodeResult result = vnw::Decode(bytes, &workspace);
  if (result == vnw::DecodeResult::FormatError) {
    ShowWorkspaceError(&window, vantorres::kFileFormatError);
    return false;
  }
  if (result == vnw::DecodeResult::Truncated) return false;
  if (!fw::ApplyPlacement(&window, workspace.mainPlacement)) return false;
  if (!window.closeAllDocuments()) return false;
  if (app.isConnected()) app.disconnectLink();

  const bool savedConnected = workspace.settings.connected != 0;
  app.settings() = workspace.settings;
  app.settings().connected = 0;
  if (wantsConnect) *wantsConnect = savedConnected;
  if (savedConnected && allowConnect) app.connectLink(&window, false);

  for (const vnw::DocumentRecord& record : workspace.documents) {
    const QString documentPath = QFile::decodeName(QByteArray::fromStdString(record.path));
    fw::Document* document = window.openDocumentFile(documentPath);
    if (!document) continue;
    if (fw::ChildFrame* frame = window.frameOf(document)) frame->applyPlacement(record.placement);
  }
  window.recentFiles()->add(path);
  return true;
}
