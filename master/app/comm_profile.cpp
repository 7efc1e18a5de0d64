#include "master/app/comm_profile.h"

#include "framework/profile.h"

namespace zelmor {

namespace {
const QString kSection = QStringLiteral("CommSetup");
// The transport and a remote the IPAddress key cannot hold (a host name or an
// IPv6 address) live in their own section, which older versions never read.
const QString kNetworkSection = QStringLiteral("CommNetwork");
}

CommSettings ReadCommSettings(const fw::Profile& p) {
  CommSettings d;  // defaults
  CommSettings s;
  s.port = p.readIntInRange(kSection, "Port", d.port, 0, 8);
  s.baudIndex = p.readIntInRange(kSection, "BaudRate", d.baudIndex, 0, 11);
  s.dataBits = p.readIntInRange(kSection, "DataBits", d.dataBits, 0, 1);
  s.parity = p.readIntInRange(kSection, "Parity", d.parity, 0, 2);
  s.stopBits = p.readIntInRange(kSection, "StopBits", d.stopBits, 0, 1);
  s.timeout = p.readIntInRange(kSection, "Timeout", d.timeout, 50, 100000);
  s.dtrDsr = p.readIntInRange(kSection, "DTRDSR", d.dtrDsr, 0, 1);
  s.rtsCts = p.readIntInRange(kSection, "RTSCTS", d.rtsCts, 0, 1);
  s.rtsToggle = p.readIntInRange(kSection, "RTS", d.rtsToggle, 0, 1);
  s.clrRtsDelay = p.readIntInRange(kSection, "CLRRTSDelay", d.clrRtsDelay, 0, 10);
  s.asciiMode = p.readIntInRange(kSection, "RTU/ASCII", d.asciiMode, 0, 1);
  s.ipAddress = p.readString(kSection, "IPAddress", QString::fromStdString(d.ipAddress)).left(kIpAddressMaxLength).toStdString();
  s.servicePort = p.readIntInRange(kSection, "ServicePort", d.servicePort, 1, 65535);
  s.delayBetweenPolls = p.readIntInRange(kSection, "DelayBetweenPolls", d.delayBetweenPolls, 0, 1000);
  s.echo = p.readIntInRange(kSection, "Echo", d.echo, 0, 1);
  s.transport = p.readIntInRange(kNetworkSection, "Transport", kTransportModbusTcp, 0, kTransportCount - 1);
  s.host = p.readString(kNetworkSection, "Host", QString()).left(kHostMaxLength).toStdString();
  return s;
}

void WriteCommSettings(fw::Profile& p, const CommSettings& s) {
  p.writeInt(kSection, "Port", s.port);
  p.writeInt(kSection, "BaudRate", s.baudIndex);
  p.writeInt(kSection, "DataBits", s.dataBits);
  p.writeInt(kSection, "Parity", s.parity);
  p.writeInt(kSection, "StopBits", s.stopBits);
  p.writeInt(kSection, "Timeout", s.timeout);
  p.writeInt(kSection, "DTRDSR", s.dtrDsr);
  p.writeInt(kSection, "RTSCTS", s.rtsCts);
  p.writeInt(kSection, "RTS", s.rtsToggle);
  p.writeInt(kSection, "CLRRTSDelay", s.clrRtsDelay);
  p.writeInt(kSection, "RTU/ASCII", s.asciiMode);
  p.writeString(kSection, "IPAddress", QString::fromStdString(s.ipAddress));
  p.writeInt(kSection, "ServicePort", s.servicePort);
  p.writeInt(kSection, "DelayBetweenPolls", s.delayBetweenPolls);
  p.writeInt(kSection, "Echo", s.echo);
  if (HasNetworkExtras(s)) {
    p.writeInt(kNetworkSection, "Transport", s.transport);
    p.writeString(kNetworkSection, "Host", QString::fromStdString(s.host));
  } else {
    p.remove(kNetworkSection, "Transport");
    p.remove(kNetworkSection, "Host");
  }
  p.sync();
}

int ReadAutoEnable(const fw::Profile& p) { return p.readIntInRange(kSection, "AutoEnable", 0, 0, 1); }

void WriteAutoEnable(fw::Profile& p, int autoEnable) {
  p.writeInt(kSection, "AutoEnable", autoEnable);
  p.sync();
}

}  // namespace zelmor

#include "common/baud_table.h"
#include "resources/network_transport_texts.h"
#include "resources/zelmor_resources.h"

namespace zelmor {

static_assert(kTransportCount == transporttexts::kCount);

QString CommPaneText(const CommSettings& s) {
  // Modbus/TCP keeps its "host: port"; the other transports name themselves, as
  // vantor's status bar does.
  const bool named = s.transport == kTransportRtuOverTcp || s.transport == kTransportUdp;
  if (s.port == kTcpPortChoice && named)
    return QString::fromStdString(
        transporttexts::EndpointText(s.transport, RemoteHost(s), static_cast<unsigned>(s.servicePort)));
  if (s.port == kTcpPortChoice)
    return QString::asprintf(res::text::kTcpStatusFormat, RemoteHost(s).c_str(), s.servicePort);
  return QString::fromStdString(baudtable::SerialStatusText(s.port, s.baudIndex, s.dataBits, s.parity, s.stopBits));
}

}  // namespace zelmor
