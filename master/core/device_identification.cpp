#include "master/core/device_identification.h"

#include <cstdio>

#include "common/device_objects.h"
#include "common/modbus_protocol.h"

namespace devid {
namespace {

using namespace modbus;

// Bytes of a 43/14 reply before its first object: function, MEI type, read
// device id code, conformity level, more follows, next object id, object count.
constexpr int kReplyHeader = 7;

std::string Hex2(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

// The shared opening checks: a reply at all, an exception, the function code.
std::string CheckFunction(const std::uint8_t* pdu, int length, std::uint8_t function) {
  if (length < 1) return "empty reply";
  if (pdu[0] == (function | EXCEPTION_FLAG)) {
    if (length < 2) return "exception reply without its code";
    return ExceptionText(pdu[1]);
  }
  if (pdu[0] != function) return "reply with function " + Hex2(pdu[0]) + " to function " + Hex2(function);
  return {};
}

// Walks the objects after the header; returns an empty text or the fault.
std::string ParseObjects(const std::uint8_t* pdu, int length, int count, DeviceIdReply* reply) {
  int at = kReplyHeader;
  for (int i = 0; i < count; ++i) {
    if (at + 2 > length) return "reply ends inside the header of object " + std::to_string(i + 1);
    const std::uint8_t id = pdu[at];
    const int size = pdu[at + 1];
    at += 2;
    if (at + size > length)
      return "object " + Hex2(id) + " claims " + std::to_string(size) + " bytes, reply holds " +
             std::to_string(length - at);
    reply->objects.push_back({id, std::string(reinterpret_cast<const char*>(pdu + at), size)});
    at += size;
  }
  if (at != length) return std::to_string(length - at) + " bytes after the last object";
  return {};
}

}  // namespace

int BuildReadDeviceIdRequest(std::uint8_t readCode, std::uint8_t objectId, std::uint8_t* pdu) {
  pdu[0] = FC_ENCAPSULATED_INTERFACE;
  pdu[1] = MEI_READ_DEVICE_ID;
  pdu[2] = readCode;
  pdu[3] = objectId;
  return 4;
}

std::string ParseReadDeviceIdReply(const std::uint8_t* pdu, int length, DeviceIdReply* reply) {
  *reply = DeviceIdReply{};
  if (std::string fault = CheckFunction(pdu, length, FC_ENCAPSULATED_INTERFACE); !fault.empty()) return fault;
  if (length < kReplyHeader) return "reply too short (" + std::to_string(length) + " bytes)";
  if (pdu[1] != MEI_READ_DEVICE_ID) return "reply with MEI type " + Hex2(pdu[1]);
  if (pdu[2] < READ_DEVICE_ID_BASIC || pdu[2] > READ_DEVICE_ID_INDIVIDUAL)
    return "reply with read device id code " + Hex2(pdu[2]);
  if (pdu[4] != DEVICE_ID_LAST && pdu[4] != DEVICE_ID_MORE_FOLLOWS) return "bad more follows byte " + Hex2(pdu[4]);
  reply->readCode = pdu[2];
  reply->conformity = pdu[3];
  reply->moreFollows = pdu[4] == DEVICE_ID_MORE_FOLLOWS;
  reply->nextObjectId = pdu[5];
  return ParseObjects(pdu, length, pdu[6], reply);
}

std::string ObjectName(int id) {
  if (id >= 0 && id < static_cast<int>(kDeviceObjectNames.size())) return std::string(kDeviceObjectNames[id]);
  return "Object " + Hex2(id);
}

std::string ObjectText(const std::string& value) {
  std::string text;
  for (unsigned char c : value) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      text += escaped;
    }
  }
  return text;
}

std::string ObjectHex(const std::string& value) {
  std::string text;
  for (unsigned char c : value) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", c);
    if (!text.empty()) text += ' ';
    text += pair;
  }
  return text;
}

Reading::Reading(std::uint8_t readCode, std::uint8_t objectId)
    : readCode_(readCode), nextObject_(objectId), asked_(DEVICE_OBJECT_COUNT, false) {
  asked_[objectId] = true;
}

int Reading::NextRequest(std::uint8_t* pdu) const { return BuildReadDeviceIdRequest(readCode_, nextObject_, pdu); }

std::string Reading::TakeReply(const std::uint8_t* pdu, int length) {
  DeviceIdReply reply;
  if (std::string fault = ParseReadDeviceIdReply(pdu, length, &reply); !fault.empty()) return fault;
  if (reply.readCode != readCode_)
    return "reply with read device id code " + Hex2(reply.readCode) + " to code " + Hex2(readCode_);
  if (readCode_ == READ_DEVICE_ID_INDIVIDUAL && reply.objects.size() != 1)
    return "individual access answered with " + std::to_string(reply.objects.size()) + " objects";
  conformity_ = reply.conformity;
  objects_.insert(objects_.end(), reply.objects.begin(), reply.objects.end());
  if (!reply.moreFollows || readCode_ == READ_DEVICE_ID_INDIVIDUAL) {
    done_ = true;
    return {};
  }
  if (reply.objects.empty()) return "more follows without any object";
  if (asked_[reply.nextObjectId]) return "more follows names object " + Hex2(reply.nextObjectId) + " again";
  if (requests_ > kMaxContinuations) return "more than " + std::to_string(kMaxContinuations) + " continuations";
  asked_[reply.nextObjectId] = true;
  nextObject_ = reply.nextObjectId;
  ++requests_;
  return {};
}

int BuildReportSlaveIdRequest(std::uint8_t* pdu) {
  pdu[0] = FC_REPORT_SLAVE_ID;
  return 1;
}

std::string ParseReportSlaveIdReply(const std::uint8_t* pdu, int length, SlaveIdReply* reply) {
  *reply = SlaveIdReply{};
  if (std::string fault = CheckFunction(pdu, length, FC_REPORT_SLAVE_ID); !fault.empty()) return fault;
  if (length < 3) return "reply too short (" + std::to_string(length) + " bytes)";
  const int count = pdu[1];
  if (count + 2 != length)
    return "byte count " + std::to_string(count) + " with " + std::to_string(length - 2) + " data bytes";
  reply->data.assign(reinterpret_cast<const char*>(pdu + 2), count);
  reply->slaveId = pdu[2];
  if (count >= 2) {
    reply->hasRunIndicator = true;
    reply->runIndicator = pdu[3];
    reply->additional = reply->data.substr(2);
  }
  return {};
}

std::string ExceptionText(std::uint8_t code) { return "exception " + std::to_string(code); }

}  // namespace devid
