// A scripted serial port with nine COM devices behind it.
//
// Each device can be absent or busy, receive bytes at set times on the fake
// clock, answer written bytes by rule, and fail a chosen operation. Every
// operation is logged and the log is never cleared.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "context/serial_port.h"
#include "tests/fakes/fake_clock.h"

namespace torvane::testing {

struct Arrival {
  double time;
  ByteString bytes;
};

struct WriteRecord {
  int port;
  std::string settings;
  ByteString bytes;
  double time;
};

struct FakeDevice {
  bool present = true;
  bool busy = false;              // in use by another program: open fails
  std::vector<Arrival> arrivals;  // delivered by input() once the clock reaches their time
  ByteString received;            // delivered already but not yet read
  // Called with each written byte string; may schedule arrivals.
  std::function<void(const ByteString&)> onWrite;
  // Number of input() calls after which input() throws once (-1: never).
  int failReadAfter = -1;
  int reads = 0;
  int opens = 0;
  int closes = 0;
  bool touched = false;  // selected, opened or read at all

  void receiveAt(double time, const ByteString& bytes) { arrivals.push_back({time, bytes}); }
};

class FakeSerialPort : public SerialPort {
 public:
  explicit FakeSerialPort(FakeClock& clock);
  ~FakeSerialPort() override { clock_.nextInputAfter = nullptr; }
  FakeSerialPort(const FakeSerialPort&) = delete;
  FakeSerialPort& operator=(const FakeSerialPort&) = delete;

  FakeDevice& device(int number) { return devices_[number]; }

  // When a written byte string equals `trigger`, `reply` arrives `after`
  // seconds later (every time, or only `times` times).
  void respond(int number, const ByteString& trigger, const ByteString& reply, double after = 0.01, int times = -1);

  // Earliest arrival still pending on the open port, if any.
  std::optional<double> nextArrival() const;
  // Earliest arrival on the open port still to come after `time`: what would
  // wake a sleeping event loop (bytes already due woke it when they came).
  std::optional<double> nextArrivalAfter(double time) const;

  // What the port did, in order: "select 3", "open 3", "settings 38400,N,8,1",
  // "close 3", "clear", ...
  std::vector<std::string> log;
  std::vector<WriteRecord> writes;
  // Pending transmit count reported by outBufferCount() after a write; it
  // drops to 0 at drainTime.
  double drainSeconds = 0;
  // Port operations that should throw once: "open", "settings", "output", "input", "close".
  std::map<std::string, int> failNext;
  // Fault number of the injected failures.
  int32_t failNumber = 8018;
  // Clock reading at each log entry.
  std::vector<double> logTimes;
  // Clears that discarded bytes still queued for sending.
  int clearsWithPending = 0;

  // SerialPort
  void setCommPort(int number) override;
  int commPort() const override { return commPort_; }
  void setSettings(const std::string& settings) override;
  std::string settings() const override { return settings_; }
  void setPortOpen(bool open) override;
  bool portOpen() const override { return open_; }
  void setInBufferSize(int bytes) override;
  void setOutBufferSize(int bytes) override;
  void setInputLen(int bytes) override;
  void output(const ByteString& bytes) override;
  ByteString input() override;
  int inBufferCount() override;
  int outBufferCount() override;
  void clearOutBuffer() override;

  int inBufferSize = 0;
  int outBufferSize = 0;
  int inputLen = -1;

 private:
  void note(const std::string& entry) {
    log.push_back(entry);
    logTimes.push_back(clock_.now);
  }
  void maybeFail(const std::string& op);
  void requireOpen(const char* op) const;

  FakeClock& clock_;
  std::map<int, FakeDevice> devices_;
  int commPort_ = 1;
  std::string settings_ = "4800,N,8,1";
  bool open_ = false;
  int pending_ = 0;
  double drainAt_ = 0;
};

}  // namespace torvane::testing
