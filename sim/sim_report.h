// What the simulated machine saw and did, written as JSON at exit.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "encoding/bytes.h"
#include "sim/image_rebuilder.h"

namespace torvane::sim {

// Bytes received outside a frame exchange (the handshake, and anything that
// came at a speed the machine was not listening at), with the speed they came at.
struct ReceivedRecord {
  int64_t timeUs = 0;
  int speed = 0;
  ByteString bytes;  // the first kMaxRecordedBytes only
  std::size_t length = 0;
  std::string note;
};

struct SentRecord {
  int64_t timeUs = 0;
  std::string what;
  ByteString bytes;
};

struct FrameRecord {
  int session = 0;
  int number = 0;   // frame position in the session; a resend keeps it
  int attempt = 0;  // 1 for the first arrival of that position
  FrameKind kind = FrameKind::Partial;
  std::size_t length = 0;
  bool crcOk = false;
  std::string verdict;  // ACK, NAK, CAN, ETX, STX, none, hang-up, unplugged
  int64_t firstUs = 0, lastUs = 0, verdictUs = -1;
  int64_t hostTurnaroundUs = -1;  // from our previous verdict (or STX); -1: none
  std::string note;
};

struct SimReport {
  static constexpr std::size_t kMaxRecords = 2000;
  static constexpr std::size_t kMaxRecordedBytes = 64;

  std::string slavePath;
  std::string model;
  // The machine's clock: every *_us time counts from here, a reading of the
  // host's monotonic clock (CLOCK_MONOTONIC on Linux) in microseconds, so
  // another process can set them beside its own readings.
  int64_t monotonicStartUs = 0;
  bool speedNotifications = true;
  int sessions = 0;
  int announcements = 0;
  std::vector<ReceivedRecord> received;
  std::size_t receivedDropped = 0;
  std::vector<SentRecord> sent;
  std::vector<FrameRecord> frames;
  std::vector<std::string> errors;
  std::map<std::string, int> verdicts;
  bool hungUp = false;
  int unplugs = 0;  // --unplug-at hang-ups the machine came back from
  std::string exitReason;

  void addReceived(int64_t timeUs, int speed, const ByteString& bytes, const std::string& note);
};

struct Outcome {
  bool ok = false;
  std::string summary;  // "sim: ..., OK" or "..., INCOMPLETE"
};

Outcome summarize(const SimReport& report, const ImageRebuilder& images);

void writeJson(std::ostream& out, const SimReport& report, const ImageRebuilder& images, const Outcome& outcome);

// JSON string literal of arbitrary bytes, as the report writes them (control
// and non-ASCII bytes as \u00XX).
std::string jsonString(const std::string& bytes);

std::string hexOf(const ByteString& bytes);

}  // namespace torvane::sim
