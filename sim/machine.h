// The simulated machine: announcement, handshake at 4800 baud, STX once the
// host is at 38400, then frames against verdict bytes, with the named faults
// of FaultPlan. One poll() loop; every wait has a deadline, nothing spins.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

#include "sim/fault_plan.h"
#include "sim/image_rebuilder.h"
#include "sim/pty_line.h"
#include "sim/sim_options.h"
#include "sim/sim_report.h"

namespace torvane::sim {

class Machine {
 public:
  Machine(SimOptions options, PtyLine& line);

  // Runs until a signal arrives on stopFd (a readable byte), an exit option
  // fires, or the line fails.
  void run(int stopFd);

  const SimReport& report() const { return report_; }
  const ImageRebuilder& images() const { return images_; }

 private:
  enum class Phase {
    Idle,       // announcing, waiting for the load command
    WaitStart,  // replies sent, waiting for "A"
    WaitSpeed,  // "A" received, waiting for the host to reach frame speed
    Frames,     // STX sent, exchanging frames
    Finished,   // end frame accepted
    Silent      // a --silent-at fault: nothing more is answered
  };
  struct PendingVerdict {
    Verdict verdict;
    ByteString noise;
    int64_t dueUs;
    std::size_t record;
  };

  int64_t nowUs() const;
  int frameSpeed() const { return options_.wrongSpeed ? 9600 : 38400; }
  int64_t pollTimeoutUs(int64_t now) const;  // -1: no timer pending
  void onTimers(int64_t now);
  void announce(int64_t now);
  void checkSpeed(int64_t now);
  int resolveSpeed(const Chunk& chunk) const;
  void onChunk(const Chunk& arrived, int64_t now);
  void onHandshakeBytes(const Chunk& chunk, int64_t now);
  void startSession(int64_t now);
  void processFrames(int64_t now);
  void handleFrame(ByteString frame, int64_t firstUs, int64_t lastUs, int64_t now);
  void handlePartialFrame(int64_t now);
  void scheduleVerdict(Verdict verdict, int frame, std::size_t record, int64_t firstUs, int64_t now);
  void sendVerdict(int64_t now);
  void send(const std::string& what, const ByteString& bytes, int64_t now);
  void stop(const std::string& reason);
  void unplug(int64_t now);

  SimOptions options_;
  PtyLine& line_;
  SimReport report_;
  ImageRebuilder images_;
  std::chrono::steady_clock::time_point start_;

  Phase phase_ = Phase::Idle;
  bool stopping_ = false;
  bool announcing_ = true;
  bool garbledStxSent_ = false;
  int session_ = 0;
  int framePosition_ = 1;
  std::map<int, int> attempts_;
  ByteString handshake_;
  ByteString rx_;
  int64_t rxFirstUs_ = 0, rxLastUs_ = 0;
  std::optional<PendingVerdict> pending_;
  int64_t lastSentUs_ = -1;
  int64_t lastActivityUs_ = 0;
  int64_t nextAnnounceUs_ = 0;
  int64_t exitAtUs_ = -1;
};

}  // namespace torvane::sim
