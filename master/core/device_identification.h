#pragma once
// Device identification for the master: the request PDUs of read device
// identification (43/14) and report slave id (17), the checks of their replies
// and the reading of all objects of a category across "more follows" replies.
// Qt-free and free of I/O: the caller sends the PDUs (zelmor through the
// engine's one-shot slot) and hands the reply PDUs back.
#include <cstdint>
#include <string>
#include <vector>

namespace devid {

// The longest request PDU built here.
constexpr int kMaxRequestPdu = 4;
// A reading stops with an error after this many continuation requests.
constexpr int kMaxContinuations = 32;

struct DeviceObject {
  std::uint8_t id = 0;
  std::string value;  // the object's bytes as sent
};

struct DeviceIdReply {
  std::uint8_t readCode = 0;
  std::uint8_t conformity = 0;
  bool moreFollows = false;
  std::uint8_t nextObjectId = 0;
  std::vector<DeviceObject> objects;
};

// Builds 43/14 with a read device id code (1..4) and the first object id.
// Returns the PDU length (4).
int BuildReadDeviceIdRequest(std::uint8_t readCode, std::uint8_t objectId, std::uint8_t* pdu);
// Checks a reply PDU (function code first) and fills reply. Returns an empty
// text when it is sound, else what is wrong with it (an exception reply
// included).
std::string ParseReadDeviceIdReply(const std::uint8_t* pdu, int length, DeviceIdReply* reply);

// "VendorName" .. "UserApplicationName" for 0..6, else "Object 0xNN".
std::string ObjectName(int id);
// The value for display: printable ASCII as it is, other bytes as \xNN.
std::string ObjectText(const std::string& value);
// The value's bytes in hex ("41 42").
std::string ObjectHex(const std::string& value);

// All objects of one request and its continuations.
class Reading {
 public:
  // A stream reading (codes 1..3) from objectId on, or one object (code 4).
  Reading(std::uint8_t readCode, std::uint8_t objectId);
  // The next request PDU (kMaxRequestPdu bytes); returns its length.
  int NextRequest(std::uint8_t* pdu) const;
  // Takes the reply to the last request. Returns an empty text when it is
  // sound (check done() for the end), else why the reading stops.
  std::string TakeReply(const std::uint8_t* pdu, int length);
  bool done() const { return done_; }
  int requests() const { return requests_; }
  std::uint8_t conformity() const { return conformity_; }
  const std::vector<DeviceObject>& objects() const { return objects_; }

 private:
  std::uint8_t readCode_;
  std::uint8_t nextObject_;
  std::uint8_t conformity_ = 0;
  int requests_ = 1;
  bool done_ = false;
  std::vector<bool> asked_;
  std::vector<DeviceObject> objects_;
};

struct SlaveIdReply {
  std::uint8_t slaveId = 0;
  bool hasRunIndicator = false;
  std::uint8_t runIndicator = 0;
  std::string additional;  // the bytes after the run indicator
  std::string data;        // every byte after the byte count
};

// Builds 17. Returns the PDU length (1).
int BuildReportSlaveIdRequest(std::uint8_t* pdu);
// Checks a 17 reply PDU; same contract as ParseReadDeviceIdReply.
std::string ParseReportSlaveIdReply(const std::uint8_t* pdu, int length, SlaveIdReply* reply);

// The text of an exception reply ("exception 2"); the programs add their own
// name of the code (masterengine::ResultText).
std::string ExceptionText(std::uint8_t code);

}  // namespace devid
