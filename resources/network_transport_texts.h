#pragma once
// The names of the network transports of the TCP/IP choice, shared by zelmor's
// and vantor's transport lists and status bars, and the "name host:port" text
// both status bars show.
#include <string>

#include "common/host_text.h"

namespace transporttexts {

// In the order of both programs' transport values (zelmor::kTransport*,
// slavesettings::kTransport*, slavetcp::Framing).
constexpr const char* kNames[] = {"Modbus/TCP", "RTU over TCP", "Modbus/UDP"};
constexpr int kCount = static_cast<int>(sizeof kNames / sizeof kNames[0]);

// "RTU over TCP 127.0.0.1:1502", "Modbus/UDP [::1]:502": the transport's name
// (Modbus/TCP for a value out of range), the host and the port; an IPv6
// address gets its brackets, once.
inline std::string EndpointText(int transport, const std::string& host, unsigned port) {
  if (transport < 0 || transport >= kCount) transport = 0;
  return std::string(kNames[transport]) + " " + hosttext::WithPort(host, port);
}

}  // namespace transporttexts
