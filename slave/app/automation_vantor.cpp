#include "slave/app/automation_vantor.h"

#include <QDBusError>
#include <QDBusMessage>

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "framework/automation.h"
#include "framework/mdi.h"
#include "resources/vantor_resources.h"
#include "slave/app/main_frame.h"
#include "slave/app/vantor_doc.h"
#include "slave/engine/autochange.h"
#include "slave/engine/slave_engine.h"

namespace {

// CreateSlave takes the lengths a poll of zelmor's automation can read.
constexpr int kMaxAutomationBits = modbus::MAX_READ_BITS;
constexpr int kMaxAutomationRegisters = 127;

// Index ranges of the automation's value members.
constexpr int kLastCoil = slaveengine::kMaxBitLength - 1;
constexpr int kLastRegister = kMaxAutomationRegisters - 1;

bool SlaveAcceptable(int slaveId, int table, int address, int length) {
  if (slaveId < 1 || slaveId > modbus::MAX_UNIT_ID || !autochange::IsKnownTable(table) || address < 0 ||
      address > modbus::MAX_ADDRESS)
    return false;
  const int maxLength = autochange::IsBitTable(table) ? kMaxAutomationBits : kMaxAutomationRegisters;
  return length >= 0 && length <= maxLength;
}

std::uint16_t ImageWord(const std::uint8_t* image, int index) {
  return static_cast<std::uint16_t>(image[2 * index] | (image[2 * index + 1] << 8));
}

}  // namespace

// ------------------------------------------------------------ application

VantorApplicationObject::VantorApplicationObject(CMainFrame* frame, fw::AutomationHost* host, QObject* parent)
    : QObject(parent), frame_(frame), host_(host) {}

QDBusObjectPath VantorApplicationObject::CreateDocument() {
  CVantorDoc* document = nullptr;
  {
    fw::QuietRegistration quiet;  // a bus call answers, it never waits on a box
    document = qobject_cast<CVantorDoc*>(frame_->newDocument());
  }
  if (document != nullptr && document->slot() == -1) {
    // All slots are taken: a document the engine does not serve is of no use to a client.
    fw::RefuseClientDocument(*this, document, QDBusError::LimitsExceeded,
                             QString::fromLatin1(vantorres::kNoResources));
    return {};
  }
  return fw::PublishClientDocument(*this, host_, frame_, document, [&](const QString& path) {
    return new VantorDocumentObject(document, frame_, host_, path);
  });
}

// --------------------------------------------------------------- document

VantorDocumentObject::VantorDocumentObject(CVantorDoc* document, CMainFrame* frame, fw::AutomationHost* host,
                                           const QString& path)
    : QObject(document), document_(document), frame_(frame), host_(host), path_(path) {}

VantorDocumentObject::~VantorDocumentObject() {
  if (host_) host_->removeDocument(path_);
}

int VantorDocumentObject::displayFormat() const { return document_->displayFormat(); }

void VantorDocumentObject::setDisplayFormat(int format) {
  if (format >= 0 && format < autochange::kAllFormatCount) document_->setDisplayFormat(format);
}

int VantorDocumentObject::CreateSlave(int slaveId, int table, int address, int length) {
  if (!SlaveAcceptable(slaveId, table, address, length)) return 0;
  // Only a window the user can see may show the "no more data resources" box.
  const bool quiet = !(host_ && host_->userControl());
  document_->takeSlave(slaveId, table, address, length, quiet);
  return 1;
}

void VantorDocumentObject::ShowWindow() {
  if (host_) host_->handToUser();
  shown_ = true;
  fw::ShowClientFrame(frame_, document_);
  frame_->updateCommands();
}

short VantorDocumentObject::Coil(short index) {
  if (index < 0 || index > kLastCoil) return 0;
  return document_->image()[index];
}

void VantorDocumentObject::SetCoil(short index, short value) {
  if (index >= 0 && index <= kLastCoil) document_->storeCoil(index, value != 0 ? 1 : 0);
}

short VantorDocumentObject::Register(short index) {
  if (index < 0 || index > kLastRegister) return 0;
  return static_cast<short>(ImageWord(document_->image(), index));
}

void VantorDocumentObject::SetRegister(short index, short value) {
  if (index >= 0 && index <= kLastRegister) document_->storeRegister(index, static_cast<std::uint16_t>(value));
}

double VantorDocumentObject::ValueInFormat(short index, int format) {
  const int n = valuefmt::RegistersPerValue(format);
  double value = 0;
  if (n == 1 || index < 0 || n * (index + 1) > kLastRegister + 1) return 0;
  valuefmt::CellNumber(document_->image(), autochange::kImageBytes, autochange::kTableHoldingRegisters, format,
                       n * index, n * (index + 1), true, &value);
  return value;
}

void VantorDocumentObject::SetValueInFormat(short index, int format, double value) {
  const int n = valuefmt::RegistersPerValue(format);
  std::uint16_t words[4];
  if (n == 1 || index < 0 || n * (index + 1) > kLastRegister + 1 || !valuefmt::NumberRegisters(format, value, words))
    return;
  for (int w = 0; w < n; ++w) document_->storeRegister(n * index + w, words[w]);
}

void VantorDocumentObject::closeHidden() {
  if (closing_) return;
  closing_ = true;
  // The frame goes once this call has been answered; the object leaves the
  // bus at once, so later calls get "unknown object".
  fw::CloseFrameLater(frame_, document_, false);
  if (host_) host_->removeDocument(path_);
}

void VantorDocumentObject::Close() {
  if (!shown_) {
    closeHidden();
    return;
  }
  // A window the user has seen closes as its close box would, save prompt
  // included, after this call has been answered.
  fw::CloseFrameLater(frame_, document_, true);
}
