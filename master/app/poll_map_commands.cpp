#include "master/app/poll_map_commands.h"

#include <vector>

#include "common/register_map.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "master/app/zelmor_doc.h"
#include "master/core/poll_register_map.h"
#include "resources/zelmor_resources.h"

namespace pollmap {
namespace {

namespace menu = zelmor::res::menu;

fw::FileDialogRequest MapRequest(bool save) {
  fw::FileDialogRequest request;
  request.save = save;
  request.filter = QString::fromLatin1(menu::kRegisterMapFilter);
  request.defaultExtension = QStringLiteral("csv");
  return request;
}

}  // namespace

bool AttachRegisterMapFile(CZelmorDoc* document, const QString& path, QString* error) {
  regmap::RegisterMap map;
  std::string why;
  if (!regmap::LoadRegisterMap(path.toStdString(), &map, &why)) return *error = QString::fromStdString(why), false;
  document->setRegisterMap(path.toStdString(), map);
  return true;
}

void AttachRegisterMap(CZelmorDoc* document, QWidget* parent) {
  const QString path = fw::ChooseFile(parent, MapRequest(false));
  if (path.isEmpty()) return;
  QString error;
  if (!AttachRegisterMapFile(document, path, &error))
    fw::ShowMessage(path + QStringLiteral(": ") + error, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, parent);
}

bool ExportPollValuesFile(const CZelmorDoc* document, const QString& path, QString* error) {
  const regmap::RegisterMap map =
      zelmor::PollValuesAsMap(document->registerMap(), document->function(), document->address(), document->length(),
                              document->displayFormat(), document->values());
  std::string why;
  if (!regmap::SaveRegisterMap(path.toStdString(), map, &why)) return *error = QString::fromStdString(why), false;
  return true;
}

void ExportPollValues(CZelmorDoc* document, QWidget* parent) {
  const QString path = fw::ChooseFile(parent, MapRequest(true));
  if (path.isEmpty()) return;
  QString error;
  if (!ExportPollValuesFile(document, path, &error))
    fw::ShowMessage(path + QStringLiteral(": ") + error, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, parent);
}

QStringList ExportRecordingMaps(const QString& recordingPath, const QList<CZelmorDoc*>& documents, QString* error) {
  std::vector<zelmor::PollMapPart> parts;
  for (const CZelmorDoc* doc : documents)
    parts.push_back({doc->slaveId(), &doc->registerMap(), doc->function(), doc->address(), doc->length(),
                     doc->displayFormat(), doc->values()});
  std::vector<std::string> written;
  std::string why;
  error->clear();
  if (!zelmor::SaveDeviceMaps((recordingPath + QStringLiteral(".map.csv")).toStdString(), parts, &written, &why))
    *error = QString::fromStdString(why);
  QStringList paths;
  for (const std::string& path : written) paths << QString::fromStdString(path);
  return paths;
}

}  // namespace pollmap
