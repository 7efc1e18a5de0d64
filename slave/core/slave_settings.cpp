#include "slave/core/slave_settings.h"

#include "resources/network_transport_texts.h"

namespace slavesettings {

const ProfileKey kProfileKeys[kProfileKeyCount] = {
    {"Port", &SlaveSettings::port},
    {"BaudRate", &SlaveSettings::baudRate},
    {"DataBits", &SlaveSettings::dataBits},
    {"Parity", &SlaveSettings::parity},
    {"StopBits", &SlaveSettings::stopBits},
    {"Timeout", &SlaveSettings::timeout},
    {"DTRDSR", &SlaveSettings::dtrDsr},
    {"RTSCTS", &SlaveSettings::rtsCts},
    {"RTS", &SlaveSettings::rts},
    {"CLRRTSDelay", &SlaveSettings::clrRtsDelay},
    {"RTU/ASCII", &SlaveSettings::rtuAscii},
    {"UID", &SlaveSettings::uid},
};

namespace {

// The record's fields in file order.
constexpr std::int32_t SlaveSettings::*kFileOrder[13] = {
    &SlaveSettings::port,   &SlaveSettings::baudRate,  &SlaveSettings::dataBits,    &SlaveSettings::parity,
    &SlaveSettings::stopBits, &SlaveSettings::timeout, &SlaveSettings::dtrDsr,      &SlaveSettings::rtsCts,
    &SlaveSettings::rts,    &SlaveSettings::rtuAscii,  &SlaveSettings::clrRtsDelay, &SlaveSettings::connected,
    &SlaveSettings::uid,
};

void Clamp(std::int32_t* value, std::int32_t low, std::int32_t high, std::int32_t fallback) {
  if (*value < low || *value > high) *value = fallback;
}

void Flag(std::int32_t* value) { *value = *value != 0 ? 1 : 0; }

}  // namespace

void Sanitize(SlaveSettings* s) {
  const SlaveSettings defaults;
  Clamp(&s->port, 0, kPortChoices - 1, defaults.port);
  Clamp(&s->baudRate, 0, kBaudIndexCount - 1, defaults.baudRate);
  Clamp(&s->dataBits, 0, 1, defaults.dataBits);
  Clamp(&s->parity, 0, 2, defaults.parity);
  Clamp(&s->stopBits, 0, 1, defaults.stopBits);
  Clamp(&s->rtuAscii, 0, 1, defaults.rtuAscii);
  Clamp(&s->clrRtsDelay, 0, kMaxRtsDelay, defaults.clrRtsDelay);
  Flag(&s->dtrDsr);
  Flag(&s->rtsCts);
  Flag(&s->rts);
  Flag(&s->connected);
  Flag(&s->uid);
}

std::uint8_t FlowControlFlags(const SlaveSettings& s) {
  return static_cast<std::uint8_t>((s.dtrDsr ? 1 : 0) | (s.rtsCts ? 2 : 0) | (s.rts ? 4 : 0));
}

bool IsTcp(const SlaveSettings& s) { return s.port == kTcpPort; }

static_assert(kTransportCount == transporttexts::kCount);

std::string ServingText(int transport, const std::string& address, unsigned port) {
  return transporttexts::EndpointText(transport, address, port);
}

void Write(archive::Writer& writer, const SlaveSettings& s, bool olderLayout) {
  const int count = olderLayout ? 12 : 13;
  for (int i = 0; i < count; ++i) writer.int32(s.*kFileOrder[i]);
}

bool Read(archive::Reader& reader, SlaveSettings* settings, bool olderLayout) {
  const int count = olderLayout ? 12 : 13;
  if (reader.remaining() < static_cast<std::size_t>(4 * count)) return false;
  for (int i = 0; i < count; ++i) (*settings).*kFileOrder[i] = reader.int32();
  return reader.ok();
}

}  // namespace slavesettings
