#include "master/app/automation_zelmor.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

#include "common/modbus_protocol.h"
#include "framework/automation.h"
#include "framework/mdi.h"
#include "master/core/automation_values.h"
#include "master/app/main_frame.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"
#include "master/engine/comm_interface.h"
#include "master/engine/result_codes.h"
#include "resources/zelmor_resources.h"

namespace me = masterengine;
namespace av = zelmor::automation;
namespace text = zelmor::res::text;

// ------------------------------------------------------------ application

ZelmorApplicationObject::ZelmorApplicationObject(CZelmorApp* app, fw::AutomationHost* host, QObject* parent)
    : QObject(parent), app_(app), host_(host) {}

QDBusObjectPath ZelmorApplicationObject::CreateDocument() {
  CMainFrame* frame = app_->mainFrame();
  CZelmorDoc* document = nullptr;
  {
    fw::QuietRegistration quiet;  // a bus call answers, it never waits on a box
    document = frame != nullptr ? qobject_cast<CZelmorDoc*>(frame->newDocument()) : nullptr;
  }
  if (document != nullptr && document->pollSlot() == -1) {
    // All polls are taken: a document that cannot poll is of no use to a client.
    fw::RefuseClientDocument(*this, document, QDBusError::LimitsExceeded, QString::fromLatin1(text::kNoResources));
    return {};
  }
  return fw::PublishClientDocument(*this, host_, frame, document, [&](const QString& path) {
    return new ZelmorDocumentObject(document, app_, host_, path);
  });
}

// --------------------------------------------------------------- document

ZelmorDocumentObject::ZelmorDocumentObject(CZelmorDoc* document, CZelmorApp* app, fw::AutomationHost* host,
                                           const QString& path)
    : QObject(document), document_(document), app_(app), host_(host), path_(path) {}

ZelmorDocumentObject::~ZelmorDocumentObject() {
  if (host_) host_->removeDocument(path_);
}

int ZelmorDocumentObject::displayFormat() const { return document_->displayFormat(); }

void ZelmorDocumentObject::setDisplayFormat(int format) {
  // setDisplayFormat ignores anything outside 0..19.
  document_->setDisplayFormat(format);
}

short ZelmorDocumentObject::writeResult() const {
  if (!app_->isConnected()) return static_cast<short>(me::RESULT_NO_CONNECTION);
  return static_cast<short>(me::GetResultCode(0));
}

short ZelmorDocumentObject::readResult() const {
  if (!app_->isConnected()) return static_cast<short>(me::RESULT_NO_CONNECTION);
  // A poll that found no free slot never completes: say so rather than "no reply yet" for ever.
  if (document_->pollSlot() == -1) return static_cast<short>(me::RESULT_BAD_SLOT);
  return static_cast<short>(document_->lastResult());
}

int ZelmorDocumentObject::CreateRequest(int slaveId, int function, int address, int length, int scanRate) {
  if (!av::RequestAcceptable(slaveId, function, address, length, scanRate)) return 0;
  // Only a window the user can see may show the "no more data resources" box.
  const bool quiet = !(host_ && host_->userControl());
  document_->takeRequest(slaveId, function, address, length, scanRate, quiet);
  return 1;
}

void ZelmorDocumentObject::ShowWindow() {
  if (host_) host_->handToUser();
  shown_ = true;
  CMainFrame* frame = app_->mainFrame();
  if (frame == nullptr) return;
  fw::ShowClientFrame(frame, document_);
  frame->updateCommandUI();
}

bool ZelmorDocumentObject::submitWrite(int function, int slaveId, int address, int count) {
  // Checked before submitting: a one-shot request whose data the setter then
  // refuses would hold the slot for ever.
  if (!av::WriteAcceptable(function, slaveId, address, count)) return false;
  if (me::SubmitOneShot(0, 0, static_cast<std::uint16_t>(slaveId), static_cast<std::uint16_t>(function), 0, 0,
                        static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(count)) == 0)
    return false;
  const std::uint8_t* buffer = document_->writeBuffer();
  int stored = 0;
  if (modbus::IsBitFunction(function)) {
    stored = me::SetWriteBytes(0, count, buffer);
  } else {
    std::uint16_t words[av::kLastRegister + 1];
    for (int i = 0; i < count; ++i) words[i] = static_cast<std::uint16_t>(buffer[2 * i] | (buffer[2 * i + 1] << 8));
    stored = me::SetWriteRegisters(0, count, words);
  }
  if (stored == 0) {
    me::UnregisterPoll(0);
    return false;
  }
  return true;
}

bool ZelmorDocumentObject::PresetMultipleRegisters(int slaveId, int address, int count) {
  return submitWrite(modbus::FC_WRITE_MULTIPLE_REGISTERS, slaveId, address, count);
}

bool ZelmorDocumentObject::ForceSingleCoil(int slaveId, int address) {
  return submitWrite(modbus::FC_WRITE_SINGLE_COIL, slaveId, address, 1);
}

bool ZelmorDocumentObject::PresetSingleRegister(int slaveId, int address) {
  return submitWrite(modbus::FC_WRITE_SINGLE_REGISTER, slaveId, address, 1);
}

bool ZelmorDocumentObject::ForceMultipleCoils(int slaveId, int address, int count) {
  return submitWrite(modbus::FC_WRITE_MULTIPLE_COILS, slaveId, address, count);
}

short ZelmorDocumentObject::Register(short index) { return av::Register(document_->values(), index); }
void ZelmorDocumentObject::SetRegister(short index, short value) {
  av::SetRegister(document_->mutableWriteBuffer(), index, value);
}
int ZelmorDocumentObject::Long(short index) { return av::Long(document_->values(), index, false); }
void ZelmorDocumentObject::SetLong(short index, int value) {
  av::SetLong(document_->mutableWriteBuffer(), index, value, false);
}
int ZelmorDocumentObject::LongInv(short index) { return av::Long(document_->values(), index, true); }
void ZelmorDocumentObject::SetLongInv(short index, int value) {
  av::SetLong(document_->mutableWriteBuffer(), index, value, true);
}
double ZelmorDocumentObject::ValueInFormat(short index, int format) {
  return av::ValueInFormat(document_->values(), index, format);
}
void ZelmorDocumentObject::SetValueInFormat(short index, int format, double value) {
  av::SetValueInFormat(document_->mutableWriteBuffer(), index, format, value);
}
double ZelmorDocumentObject::Float(short index) { return av::Float(document_->values(), index, false); }
void ZelmorDocumentObject::SetFloat(short index, double value) {
  av::SetFloat(document_->mutableWriteBuffer(), index, static_cast<float>(value), false);
}
double ZelmorDocumentObject::FloatInv(short index) { return av::Float(document_->values(), index, true); }
void ZelmorDocumentObject::SetFloatInv(short index, double value) {
  av::SetFloat(document_->mutableWriteBuffer(), index, static_cast<float>(value), true);
}
double ZelmorDocumentObject::Double(short index) { return av::Double(document_->values(), index, false); }
void ZelmorDocumentObject::SetDouble(short index, double value) {
  av::SetDouble(document_->mutableWriteBuffer(), index, value, false);
}
double ZelmorDocumentObject::DoubleInv(short index) { return av::Double(document_->values(), index, true); }
void ZelmorDocumentObject::SetDoubleInv(short index, double value) {
  av::SetDouble(document_->mutableWriteBuffer(), index, value, true);
}
short ZelmorDocumentObject::Coil(short index) { return av::Coil(document_->values(), index); }
void ZelmorDocumentObject::SetCoil(short index, short value) {
  av::SetCoil(document_->mutableWriteBuffer(), index, value);
}

void ZelmorDocumentObject::closeHidden() {
  if (closing_) return;
  closing_ = true;
  // The frame goes once this call has been answered; the object leaves the
  // bus at once, so later calls get "unknown object".
  fw::CloseFrameLater(app_, document_, false);
  if (host_) host_->removeDocument(path_);
}

void ZelmorDocumentObject::Close() {
  if (!shown_) {
    closeHidden();
    return;
  }
  // A window the user has seen closes as its close box would, save prompt
  // included, after this call has been answered.
  fw::CloseFrameLater(app_, document_, true);
}
