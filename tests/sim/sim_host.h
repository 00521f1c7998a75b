// The host side of a torvane-sim session, for tests: starts the simulator,
// opens the terminal it prints, and talks to it as the tool would.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "encoding/bytes.h"

namespace torvane::sim::testing {

class SimHost {
 public:
  // Starts build/bin/torvane-sim with args plus --report <temporary file>.
  explicit SimHost(const std::vector<std::string>& args);
  ~SimHost();
  SimHost(const SimHost&) = delete;
  SimHost& operator=(const SimHost&) = delete;

  bool ready() const { return fd_ >= 0; }
  // The line went away (POLLHUP/POLLERR) during a read.
  bool hungUp() const { return hungUp_; }
  const std::string& slavePath() const { return slavePath_; }

  void setSpeed(speed_t speed);
  // Clears every local flag, as a host that builds its settings from scratch
  // would; this takes away the simulator's speed-change notification.
  void clearLocalFlags();
  void send(const ByteString& bytes);
  // Everything that arrives within ms milliseconds.
  ByteString readFor(int ms);
  // Reads until the received bytes contain needle, or ms pass.
  ByteString readUntil(const ByteString& needle, int ms);
  // Reads until at least count bytes arrived, or ms pass.
  ByteString readCount(std::size_t count, int ms);

  // 4800, "s" CR, replies, "A", 38400, STX. Returns everything received.
  ByteString handshake(const ByteString& readyReply = "Torvane Ready to Receive\r");

  void closeLine();
  void reopenLine();

  // SIGTERM, then waits for the exit; returns the summary line.
  std::string stop();
  // Waits up to ms for the simulator to exit by itself; "" if it did not.
  std::string waitExit(int ms);
  std::string report() const;
  // The report parsed; a discarded value when it is missing or not JSON.
  nlohmann::json reportJson() const;
  const std::string& reportPath() const { return reportPath_; }

 private:
  std::string readStdoutRest();
  ByteString readWhile(const std::function<bool(const ByteString&)>& more, int ms);

  pid_t pid_ = -1;
  int out_ = -1;
  int fd_ = -1;
  speed_t speed_ = B4800;
  bool hungUp_ = false;
  std::string slavePath_;
  std::string reportPath_;
  std::string tempDir_;
};

// Whether an entry of list has every member of fields, with the same value.
bool hasEntry(const nlohmann::json& list, const nlohmann::json& fields);
// The entry of the report's "frames" list with this number and attempt; null
// if there is none.
nlohmann::json frameOf(const nlohmann::json& report, int number, int attempt);
// How many times needle occurs in text.
std::size_t countOf(const std::string& text, const std::string& needle);

}  // namespace torvane::sim::testing
