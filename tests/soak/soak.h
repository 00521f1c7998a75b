// The soak: many update runs, one after another, in one process of the tool
// (one window, one serial port object, one event loop), each against a fresh
// simulated machine with a random named fault or none. Every run must end
// the way its fault implies, and across the runs the process must keep its
// descriptors and not grow in memory.
//
// Runs use the end-to-end bench (tests/e2e) with its fast clock, so the 5-s
// and 20-s time-outs that some faults lead to pass in a fraction of that.
// The choice of faults, their frame numbers and the image sizes come from one
// seed: the same seed gives the same sequence of runs.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "context/window_ops.h"
#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/sim_process.h"

namespace torvane::soak {

// How a run must end.
enum class Expected {
  Complete,          // " Status: UPDATE COMPLETE", the machine holds every image
  CompleteAfterBox,  // the same, after the ready-reply time-out box
  FrameRejected,     // failure path without a fault: " Error: ", box "0: , "
  PortLost,          // failure path with a fault of the port: " Error: <text>", one box
  StxTimedOut,       // early end " Status: Waiting for STX timed out, program end"
};

const char* expectedName(Expected expected);

// One image file of a run's transfer list.
struct SoakImage {
  std::string name;
  int memoryType = 1;
  uint32_t address = 0;
  std::size_t size = 0;
};

// One run: the source, the images, the simulator's arguments and the end.
struct SoakRun {
  std::string fault;                 // "none", "nak-once", ... (the torvane-sim option without dashes)
  std::vector<std::string> simArgs;  // the named fault as torvane-sim options
  Source source = Source::Program;
  std::vector<SoakImage> images;
  Expected expected = Expected::Complete;

  // Frames the run sends when nothing goes wrong: one address frame per
  // image, its data frames, and the end frame.
  int frameCount() const;
  // "nak-times 3:2 (program.txt, 1700+52 bytes)" for the log.
  std::string describe() const;
};

// Every fault the soak draws from, "none" included.
const std::vector<std::string>& faultNames();

// The next run of the sequence that `rng` produces; with `onlyFault` set,
// every run has that fault (its frame number and the images still drawn).
SoakRun drawRun(std::mt19937& rng, const std::string& onlyFault = "");

// Checks a run's outcome and the machine's report against the run's expected
// end (`sent`: the bytes of each image, in list order). Returns what is
// wrong, "" when nothing is.
std::string checkRun(const SoakRun& run, const e2e::Outcome& outcome, const e2e::SimReport& report,
                     const std::vector<std::string>& sent);

struct SoakOptions {
  int runs = 20;
  uint32_t seed = 1;
  int warmUpRuns = 5;   // runs before the descriptor and memory baseline is taken
  double speedup = 10;  // of the bench's clock
  long rssGrowthLimitKiB = 2048;
  bool checkRss = true;         // false under AddressSanitizer: its quarantine holds freed memory
  std::string onlyFault;        // one of faultNames() to soak that fault alone; empty: all
  std::ostream* log = nullptr;  // one line per run, and the summary
};

struct SoakResult {
  int runs = 0;
  std::vector<std::string> problems;  // one line per run that did not end as expected, and per leak
                                      // (the simulator's folder of a wrong run is kept in the bench's
                                      // folder, which TORVANE_E2E_KEEP=1 keeps)
  std::map<std::string, int> runsPerFault;
  int fdsBaseline = -1;  // after the warm-up runs
  int fdsEnd = -1;
  long rssBaselineKiB = -1;
  long rssEndKiB = -1;
  double realSeconds = 0;

  bool ok() const { return problems.empty(); }
};

// Runs the soak on the calling thread (a QApplication must exist, offscreen).
SoakResult runSoak(const SoakOptions& options);

// VmRSS of this process in KiB, or -1.
long residentKiB();

}  // namespace torvane::soak
