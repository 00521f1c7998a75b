// Observers for the procedures' tests: the core's record builder with the
// bytes themselves in hex as digest, and an observer that throws from every call.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "context/run_record.h"
#include "encoding/encoders.h"

namespace torvane::testing {

class BytesAsHex : public EntryHash {
 public:
  void reset() override { hex_.clear(); }
  void add(const ByteString& bytes) override {
    for (char c : bytes) hex_ += hexByte(static_cast<uint8_t>(c));
  }
  std::string hex() override { return hex_; }

 private:
  std::string hex_;
};

inline std::string bytesAsHex(const ByteString& bytes) {
  BytesAsHex hash;
  hash.add(bytes);
  return hash.hex();
}

class FakeRunRecorder : public RunRecordBuilder {
 public:
  FakeRunRecorder() : RunRecordBuilder(std::make_unique<BytesAsHex>()) {}
};

class ThrowingObserver : public RunObserver {
 public:
  int calls = 0;
  void runStarted(int, std::optional<Source>, const std::string&, double) override { fail(); }
  void entryStarted(const std::string&, std::optional<int32_t>, uint8_t, int32_t) override { fail(); }
  void dataFrameSent(const ByteString&) override { fail(); }
  void frameSent() override { fail(); }
  void frameResent() override { fail(); }
  void verdict(Verdict) override { fail(); }
  void entrySent() override { fail(); }
  void runEnded(RunOutcome, const std::string&, const Fault*, double) override { fail(); }

 private:
  void fail() {
    ++calls;
    throw std::runtime_error("observer out of order");
  }
};

}  // namespace torvane::testing
