#include "master/app/device_recorder.h"

#include <QFile>
#include <QWidget>

#include "framework/message_box.h"
#include "master/app/zelmor_connection.h"
#include "master/app/zelmor_doc.h"
#include "master/core/engine_glue.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

DeviceRecorder::DeviceRecorder(ZelmorConnection* connection, QObject* parent)
    : QObject(parent), connection_(connection) {
  connect(connection_, &ZelmorConnection::connectionChanged, this, [this] {
    if (!connection_->isConnected()) stop();
  });
}

bool DeviceRecorder::start(const QString& path, const QList<CZelmorDoc*>& documents, QString* error) {
  stop();
  std::string why;
  if (!recording_.start(QFile::encodeName(path).toStdString(), &why)) {
    *error = QString::fromStdString(why);
    return false;
  }
  windowsLeft_ = static_cast<int>(documents.size());
  for (CZelmorDoc* doc : documents) {
    feeds_ << connect(doc, &CZelmorDoc::pollTaken, this, [this, doc](std::uint16_t result) { take(doc, result); });
    // With no window left the Setup menu is gone too: nothing could stop it but the connection.
    feeds_ << connect(doc, &QObject::destroyed, this, [this] {
      if (--windowsLeft_ == 0) stop();
    });
  }
  emit activeChanged(true);
  return true;
}

void DeviceRecorder::stop() {
  for (const QMetaObject::Connection& feed : feeds_) disconnect(feed);
  feeds_.clear();
  if (!recording_.active()) return;
  recording_.stop();
  emit activeChanged(false);
}

void DeviceRecorder::take(const CZelmorDoc* doc, std::uint16_t result) {
  // Only good replies make rows: nothing to copy for the others.
  if (result != 0 || !recording_.active()) return;
  std::uint16_t raw[zelmor::kValueBytes] = {};  // bits: one a value
  zelmor::CopyRawValues(doc->pollSlot(), doc->function(), doc->length(), raw);
  if (recording_.record(result, doc->slaveId(), doc->function(), doc->address(), raw, doc->length()) !=
      zelmor::DeviceRecording::Outcome::kWriteFailed)
    return;
  stop();
  fw::ShowMessage(text::kDiskError, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, messageParent_);
}
