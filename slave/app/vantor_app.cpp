#include "slave/app/identity_dialog.h"
#include "slave/app/vantor_app.h"

#include <cstdio>

#include "common/baud_table.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "link/serial_link.h"
#include "platform/port_map.h"
#include "resources/vantor_resources.h"
#include "slave/engine/receive_loop.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"

namespace {
QString Text(const char* text) { return QString::fromLatin1(text); }
constexpr int kSerialPorts = 8;
}  // namespace

CVantorApp::CVantorApp() : workspaceName_(Text(vantorres::kWorkspaceInitialName)) { slaveengine::InitEngine(); }

CVantorApp::~CVantorApp() {
  if (isConnected()) {
    slaveloop::StopReceiveThread();
    slaveloop::CloseSlaveSerialPort();
    slavetcp::StopTcpServer();
  }
  slaveloop::StopReceiveThread();
}

void CVantorApp::readSettings() {
  fw::Profile& profile = fw::AppProfile();
  const QString section = Text(slavesettings::kSection);
  const slavesettings::SlaveSettings defaults;
  for (const slavesettings::ProfileKey& key : slavesettings::kProfileKeys)
    settings_.*key.field = profile.readInt(section, Text(key.name), defaults.*key.field);
  settings_.connected = 0;
  slavesettings::Sanitize(&settings_);
  autoEnable_ = profile.readInt(section, Text(slavesettings::kAutoEnableKey), 0) != 0;
  listenAddress_ = profile.readString(section, Text(vantorres::kKeyListenAddress), QString());
  listenPort_ = profile.readIntInRange(section, Text(vantorres::kKeyListenPort), 502, 1, 65535);
  listenTransport_ = profile.readIntInRange(section, Text(slavesettings::kTransportKey),
                                            slavesettings::kTransportModbusTcp, 0, slavesettings::kTransportCount - 1);
  profile.loadPortMap();
  // Faults themselves start off in every run; only their seed is remembered.
  bool seedOk = false;
  const qulonglong seed =
      profile.readString(Text(vantorres::kSectionFaults), Text(vantorres::kKeyFaultSeed), QString()).toULongLong(&seedOk);
  slaveengine::SetFaultSeed(seedOk ? seed : 0);
  LoadIdentityFromProfile();
}

void CVantorApp::setAutoEnable(bool on) {
  autoEnable_ = on;
  fw::AppProfile().writeInt(Text(slavesettings::kSection), Text(slavesettings::kAutoEnableKey), on ? 1 : 0);
  fw::AppProfile().sync();
}

void CVantorApp::setListen(const QString& address, int port) {
  listenAddress_ = address;
  listenPort_ = port;
}

void CVantorApp::writeSettings() const {
  fw::Profile& profile = fw::AppProfile();
  const QString section = Text(slavesettings::kSection);
  for (const slavesettings::ProfileKey& key : slavesettings::kProfileKeys)
    profile.writeInt(section, Text(key.name), settings_.*key.field);
  profile.writeString(section, Text(vantorres::kKeyListenAddress), listenAddress_);
  profile.writeInt(section, Text(vantorres::kKeyListenPort), listenPort_);
  // Only a transport other than Modbus/TCP is written: the profile of a plain
  // Modbus/TCP or serial setup stays as older versions wrote it.
  if (listenTransport_ != slavesettings::kTransportModbusTcp)
    profile.writeInt(section, Text(slavesettings::kTransportKey), listenTransport_);
  else
    profile.remove(section, Text(slavesettings::kTransportKey));
  profile.savePortMap();
  profile.sync();
}

bool CVantorApp::connectLink(QWidget* parent, bool withDialog, bool hidden) {
  if (isConnected()) return true;
  if (withDialog) {
    ConnectionChoice choice;
    choice.settings = settings_;
    for (int i = 0; i < kSerialPorts; ++i)
      choice.devicePaths[i] = QString::fromStdString(platform::SerialPortPath(i + 1));
    choice.listenAddress = listenAddress_;
    choice.listenPort = listenPort_;
    choice.transport = listenTransport_;
    ConnectionDialog dialog(choice, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    const ConnectionChoice& chosen = dialog.choice();
    settings_ = chosen.settings;
    settings_.connected = 0;
    for (int i = 0; i < kSerialPorts; ++i)
      platform::SetSerialPortPath(i + 1, chosen.devicePaths[i].toStdString());
    listenAddress_ = chosen.listenAddress;
    listenPort_ = chosen.listenPort;
    listenTransport_ = chosen.transport;
  }

  linklayer::SetLineOptions(slavesettings::FlowControlFlags(settings_));
  linklayer::SetRtsReleaseDelay(static_cast<std::uint16_t>(settings_.clrRtsDelay));
  const bool tcp = slavesettings::IsTcp(settings_);
  bool opened = false;
  QString failure;
  if (tcp) {
    opened = slavetcp::StartTcpServer(listenAddress_.toStdString(), static_cast<std::uint16_t>(listenPort_),
                                      static_cast<slavetcp::Framing>(listenTransport_)) == 0;
    if (!opened) {
      failure = Text(vantorres::kTcpFailed);
      const QString reason = QString::fromStdString(slavetcp::LastTcpServerError());
      if (!reason.isEmpty()) failure += QLatin1Char('\n') + reason;
    }
  } else {
    opened = slaveloop::OpenSlaveSerialPort(settings_.port + 1, baudtable::BaudRateForIndex(settings_.baudRate),
                                            settings_.dataBits ? 8 : 7, settings_.parity,
                                            settings_.stopBits ? 2 : 0);
    if (!opened) {
      failure = Text(vantorres::kPortNotAvailable);
      const std::string reason = platform::SerialOpenErrorText(linklayer::LastSerialOpenError());
      const std::string path = platform::SerialPortPath(settings_.port + 1);
      if (!reason.empty()) failure += QString::fromStdString("\n" + path + ": " + reason);
    }
  }
  if (!opened) {
    if (hidden)
      std::fprintf(stderr, "vantor: %s\n", failure.toLocal8Bit().constData());
    else
      fw::ShowMessage(failure, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, parent,
                      Text(vantorres::kConnectionCaption));
    return false;
  }
  if (withDialog) writeSettings();
  slaveloop::SetLinkMode(tcp ? std::uint16_t{slaveloop::kLinkTcp} : static_cast<std::uint16_t>(settings_.rtuAscii));
  slaveengine::SetIgnoreUnitId(tcp && settings_.uid != 0);
  if (!slaveloop::StartReceiveThread()) {
    slaveloop::CloseSlaveSerialPort();
    slavetcp::StopTcpServer();
    fw::ShowMessage(Text(vantorres::kThreadFailed), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, parent,
                    Text(vantorres::kConnectionCaption));
    return false;
  }
  settings_.connected = 1;
  emit connectionChanged();
  return true;
}

void CVantorApp::disconnectLink() {
  slaveloop::StopReceiveThread();
  slaveloop::CloseSlaveSerialPort();
  slavetcp::StopTcpServer();
  slaveengine::NotifyStateChange();
  settings_.connected = 0;
  emit connectionChanged();
}

QString CVantorApp::servingText() const {
  if (!isConnected() || !slavesettings::IsTcp(settings_) || !slavetcp::IsTcpServerRunning()) return QString();
  return QString::fromStdString(slavesettings::ServingText(listenTransport_, slavetcp::ListeningAddress(),
                                                           slavetcp::ListeningPort()));
}

QString CVantorApp::statusText() const {
  if (slavesettings::IsTcp(settings_)) return Text(vantorres::kTcpStatus);
  return QString::fromStdString(baudtable::SerialStatusText(settings_.port, settings_.baudRate, settings_.dataBits,
                                                            settings_.parity, settings_.stopBits));
}
