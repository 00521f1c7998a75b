// The end-to-end bench: the real tool (window, Qt serial port, update run,
// port scan) against the simulated machine on a pseudo-terminal, in this
// test process, on Qt's offscreen platform.
//
// One bench per test. It
//   - makes a temporary working folder and gives it to the window (the
//     transfer lists and image files a test writes live there; the process's
//     current folder stays where it is);
//   - maps COM1..COM9 (TORVANE_COM<n>) to absent paths inside that directory
//     unless a test maps a port to the simulator (startSim) or to a silent
//     pseudo-terminal of the bench's own (mapSilent); the previous
//     environment is restored at the end;
//   - builds the product objects as the program does (QtSerialPort, a
//     clock, Frmdl) the first time a test needs them, captures message boxes
//     through the controller's messageBoxHook and records every status text through a
//     window-operations decorator over the window's own;
//   - stops the simulator (SIGTERM, reaped) and closes everything it opened.
//
// The clock may run faster than real time (FastClock, for tests only) so
// that runs which reach a 5-s or 20-s time-out end in a fraction of it.
// Choose the speed-up so that the real time the machine needs to answer
// still fits: a wait of W seconds lasts W / speedup real seconds.
//
// Test programs that use the bench need a QApplication on the offscreen
// platform: link torvane_e2e_main for that (it also warms Qt up once so that
// descriptor counts compare like with like).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "context/window_ops.h"
#include "tests/e2e/sim_process.h"

namespace torvane {
class Frmdl;
class QtSerialPort;
}  // namespace torvane

namespace torvane::e2e {

class RecordingWindowOps;

// What a test sees after an update run or a port scan.
struct Outcome {
  std::string finalStatus;                // the status line at the end
  std::vector<std::string> statuses;      // every status text set, in order (repeats folded)
  std::vector<std::string> boxes;         // message boxes shown, in order
  std::string timeLine;                   // the time line at the end, CR LF kept
  bool portClosed = false;                // mscCom reports the port closed
  bool defaultPointer = false;            // no override cursor is left set
  int fdsBefore = -1;                     // open descriptors of the process before the run
  int fdsAfter = -1;                      // ... and after it
  std::vector<std::string> fdListBefore;  // "fd -> target" of each, for messages
  std::vector<std::string> fdListAfter;
  int selectedPort = 0;        // checked port option 1..9, 0 for none
  int commPort = 0;            // the port number of mscCom at the end
  double realSeconds = 0;      // wall time the run took
  bool watchdogFired = false;  // the run did not end in time and was told to stop

  bool sawStatus(const std::string& text) const;
  // Index of the first status containing part, or -1.
  int findStatus(const std::string& part, int from = 0) const;
};

// Deterministic pseudo-random bytes (all values 0..255 occur).
std::string patternBytes(std::size_t size, uint32_t seed);

// Lower-case hexadecimal SHA-256 of bytes.
std::string sha256Of(const std::string& bytes);

// Open descriptors of this process as "fd -> target" (entries of
// /proc/self/fd), without the eventfds of Qt's own helper threads.
std::vector<std::string> openFdList();
// How many there are.
int openFdCount();
// What is in `after` and not in `before`, and the reverse, for messages.
std::string fdDifference(const std::vector<std::string>& before, const std::vector<std::string>& after);

class E2eBench {
 public:
  // speedup: how much faster than real time the tool's clock runs (1: real).
  explicit E2eBench(double speedup = 1.0);
  ~E2eBench();
  E2eBench(const E2eBench&) = delete;
  E2eBench& operator=(const E2eBench&) = delete;

  // False, with the reason in error(), when the bench could not be set up.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  // The working directory of the test (the current directory while the bench lives).
  const std::string& dir() const { return dir_; }
  // Writes a file into the working directory.
  void writeFile(const std::string& name, const std::string& bytes);

  // Starts torvane-sim with args and maps COM com to its terminal. False
  // (see error()) when it did not start.
  bool startSim(int com, const std::vector<std::string>& args);
  SimProcess& sim() { return sim_; }
  // Stops the simulator and reads its report (also done at the end).
  SimReport stopSim() { return sim_.stop(); }

  // Maps COM com to a pseudo-terminal that the bench opens and nobody answers on.
  bool mapSilent(int com);
  // Maps COM com to a path that does not exist (the default for every port).
  void mapAbsent(int com);
  std::string deviceOf(int com) const;

  // Real-time limit of one run or scan; past it the bench asks the window to
  // close, which ends the procedure at its next wait (watchdogFired).
  void setWatchdogSeconds(double seconds) { watchdogSeconds_ = seconds; }

  // Selects the source option and the port option com (1..9; 0 leaves the
  // port options as they are), then presses "&Start Update". Returns when
  // the run has ended.
  Outcome runUpdate(Source source, int com);
  // Start-up: shows the window and runs the port scan (Form_Load).
  Outcome formLoad();
  // "&Configure Port": one port scan.
  Outcome configurePort();

  // The product objects, built on first use.
  Frmdl& window();
  QtSerialPort& port();
  RecordingWindowOps& ops();

 private:
  struct Product;
  Product& product();
  template <typename F>
  Outcome observe(F&& action);

  double speedup_;
  double watchdogSeconds_ = 60;
  std::string error_;
  std::string dir_;
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnv_;
  std::vector<int> silentMasters_;
  SimProcess sim_;
  std::unique_ptr<Product> product_;
};

}  // namespace torvane::e2e
