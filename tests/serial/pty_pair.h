// A pseudo-terminal pair for the serial port tests: the port opens the
// slave side by its path, the test plays the far end on the master side.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

#include "encoding/bytes.h"
#include "encoding/fault.h"

namespace torvane::testing {

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& slavePath() const { return path_; }
  int master() const { return master_; }
  // The test's own descriptor of the slave side, for tcgetattr and FIONREAD;
  // the test never reads from it.
  int slave() const { return slave_; }

  void writeMaster(const ByteString& bytes);
  // Reads from the master side until `count` bytes came or `ms` passed,
  // running the Qt event loop meanwhile.
  ByteString readMaster(std::size_t count, int ms);
  // Waits (without running the Qt event loop) until the slave side holds at
  // least `count` received bytes; false after `ms`.
  bool waitSlaveHolds(std::size_t count, int ms);
  // The far end goes away: the slave side hangs up.
  void closeMaster();
  // The test lets go of the slave side: only what opens it by its path holds it.
  void closeSlave();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// Another program holding a device: a child process that opens `device`
// under the command name `name`, takes the device's lock when `lock`, and
// keeps it until release() or its end.
class HoldingProcess {
 public:
  HoldingProcess(const std::string& device, const char* name, bool lock);
  ~HoldingProcess();
  HoldingProcess(const HoldingProcess&) = delete;
  HoldingProcess& operator=(const HoldingProcess&) = delete;

  // True once the child holds the device (and its lock when asked).
  bool holding() const { return holding_; }
  pid_t pid() const { return pid_; }
  // The child closes the device and ends; returns when it has.
  void release();

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool holding_ = false;
};

// Runs the Qt event loop for `ms` milliseconds.
void runEventLoop(int ms);

// Runs `action` and returns the Fault it throws; fails the test if none.
Fault faultOf(const std::function<void()>& action);

// Every byte value 0..255 once.
ByteString allByteValues();

}  // namespace torvane::testing
