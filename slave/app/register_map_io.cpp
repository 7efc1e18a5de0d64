#include "slave/app/register_map_io.h"

#include <QInputDialog>

#include "common/register_map.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "resources/vantor_resources.h"
#include "slave/app/main_frame.h"
#include "slave/app/vantor_doc.h"
#include "slave/core/register_map_definitions.h"

namespace vantormapio {
namespace {

QString Text(const char* text) { return QString::fromLatin1(text); }

QList<CVantorDoc*> Definitions(CMainFrame* frame) {
  QList<CVantorDoc*> documents;
  for (fw::Document* d : frame->documents())
    if (auto* v = dynamic_cast<CVantorDoc*>(d)) documents << v;
  return documents;
}

}  // namespace

bool ImportRegisterMapFile(CMainFrame* frame, const QString& path, int slaveId, QString* error) {
  regmap::RegisterMap map;
  std::string why;
  if (!regmap::LoadRegisterMap(path.toStdString(), &map, &why)) return *error = QString::fromStdString(why), false;
  const QList<CVantorDoc*> open = Definitions(frame);
  std::vector<vnd::VndDocument> definitions;
  for (CVantorDoc* d : open) definitions.push_back(d->data());
  if (!vantormap::ApplyRegisterMap(map, slaveId, &definitions, &why)) return *error = QString::fromStdString(why), false;
  // Everything is known to fit: now the windows take it.
  for (std::size_t k = 0; k < definitions.size(); ++k) {
    CVantorDoc* d = k < static_cast<std::size_t>(open.size()) ? open[static_cast<int>(k)]
                                                               : dynamic_cast<CVantorDoc*>(frame->newDocument());
    if (d != nullptr && !(d->data() == definitions[k])) d->takeMapDefinition(definitions[k]);
  }
  return true;
}

void ImportRegisterMap(CMainFrame* frame) {
  using namespace vantorres;
  fw::FileDialogRequest request;
  request.filter = Text(kRegisterMapFilter);
  request.defaultExtension = QStringLiteral("csv");
  const QString path = fw::ChooseFile(frame, request);
  if (path.isEmpty()) return;
  bool ok = false;
  const int slaveId = QInputDialog::getInt(frame, Text(kRegisterMapSlaveTitle), Text(kRegisterMapSlaveLabel), 1, 0,
                                           255, 1, &ok);
  if (!ok) return;
  QString error;
  if (!ImportRegisterMapFile(frame, path, slaveId, &error)) fw::ShowMessage(path + QStringLiteral(": ") + error);
}

bool ExportRegisterMapFile(CMainFrame* frame, const QString& path, QString* error) {
  std::vector<vnd::VndDocument> definitions;
  for (CVantorDoc* d : Definitions(frame)) definitions.push_back(d->data());
  std::string why;
  if (!regmap::SaveRegisterMap(path.toStdString(), vantormap::ExportRegisterMap(definitions), &why))
    return *error = QString::fromStdString(why), false;
  return true;
}

void ExportRegisterMap(CMainFrame* frame) {
  using namespace vantorres;
  if (Definitions(frame).isEmpty()) {
    fw::ShowMessage(Text(kRegisterMapNothing));
    return;
  }
  fw::FileDialogRequest request;
  request.save = true;
  request.filter = Text(kRegisterMapFilter);
  request.defaultExtension = QStringLiteral("csv");
  const QString path = fw::ChooseFile(frame, request);
  if (path.isEmpty()) return;
  QString error;
  if (!ExportRegisterMapFile(frame, path, &error)) fw::ShowMessage(path + QStringLiteral(": ") + error);
}

}  // namespace vantormapio
