#include "tests/soak/soak.h"

#include <stdlib.h>

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include "context/sources.h"
#include "encoding/fault.h"
#include "run/transfer_list.h"
#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/sim_process.h"

namespace torvane::soak {

namespace {

namespace fs = std::filesystem;
using e2e::Outcome;
using e2e::SimReport;

constexpr std::size_t kBlock = 512;
constexpr double kWatchdogSeconds = 30;
const char* const kReadyBox = "receiving (TorVane Ready to Receive<CR>) time out";

int uniform(std::mt19937& rng, int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }

template <typename T>
const T& oneOf(std::mt19937& rng, const std::vector<T>& choices) {
  return choices[static_cast<std::size_t>(uniform(rng, 0, static_cast<int>(choices.size()) - 1))];
}

std::vector<SoakImage> imagesFor(Source source, std::mt19937& rng) {
  std::vector<SoakImage> images = {
      {"code.bin", 1, 0x0E00, static_cast<std::size_t>(uniform(rng, 0, 2100))},
      {"vector.bin", 1, 0xFFCC, 52},
  };
  if (source == Source::ProgramAndDsd) {
    images.push_back({"dsd.bin", 3, 0x10000, static_cast<std::size_t>(uniform(rng, 1, 1600))});
  }
  return images;
}

// The named fault as torvane-sim options, and how the run must end with it.
void applyFault(SoakRun& run, std::mt19937& rng) {
  const std::string n = std::to_string(uniform(rng, 1, run.frameCount()));
  const std::string& f = run.fault;
  if (f == "none") {
  } else if (f == "nak-once" || f == "stx-instead" || f == "etx-instead" || f == "corrupt-at") {
    run.simArgs = {"--" + f, n};
  } else if (f == "nak-times") {
    run.simArgs = {"--nak-times", n + ":" + std::to_string(uniform(rng, 1, 3))};
  } else if (f == "noise") {
    // Text and line ends, never a verdict byte; frame 0 means every verdict.
    const std::string at = uniform(rng, 0, 3) == 0 ? "0" : n;
    run.simArgs = {"--noise", at + ":" + oneOf<std::string>(rng, {"hello", "0x0d0a", "0x00ff7f41"})};
  } else if (f == "model") {
    run.simArgs = {"--model", oneOf<std::string>(rng, {"teal", "amber", "torvane"})};
  } else if (f == "no-ready") {
    run.simArgs = {"--no-ready"};
    run.expected = Expected::CompleteAfterBox;
  } else if (f == "emergency") {
    run.simArgs = {"--emergency"};
  } else if (f == "can-at" || f == "silent-at") {
    run.simArgs = {"--" + f, n};
    run.expected = Expected::FrameRejected;
  } else if (f == "hangup-at") {
    run.simArgs = {"--hangup-at", n};
    run.expected = Expected::PortLost;
  } else if (f == "wrong-speed") {
    run.simArgs = {"--wrong-speed"};
    run.expected = Expected::StxTimedOut;
  }
}

std::string listText(const SoakRun& run) {
  std::string text;
  for (const SoakImage& image : run.images) {
    char address[16];
    std::snprintf(address, sizeof address, "0x%X", image.address);
    text += image.name + '\t' + std::to_string(image.memoryType) + '\t' + address + "\r\n";
  }
  return text;
}

std::string imageBytes(const SoakImage& image, uint32_t seed, int index) {
  return e2e::patternBytes(image.size, seed * 7919u + static_cast<uint32_t>(index) * 31u + image.name.size());
}

std::string boxesText(const std::vector<std::string>& boxes) {
  return std::to_string(boxes.size()) + " boxes" + (boxes.empty() ? "" : " (first \"" + boxes[0] + "\")") + "; ";
}

// What every end of a run must leave behind.
void checkCleanEnd(const Outcome& o, const SimReport& r, std::ostringstream& wrong) {
  if (o.watchdogFired) wrong << "did not end within " << kWatchdogSeconds << " s; ";
  if (!o.portClosed) wrong << "port left open; ";
  if (!o.defaultPointer) wrong << "busy pointer left; ";
  if (o.fdsAfter != o.fdsBefore) wrong << "descriptors " << o.fdsBefore << " -> " << o.fdsAfter << "; ";
  if (o.timeLine.find("\r\nEnd:  ") == std::string::npos) wrong << "no end time; ";
  if (!r.parsed) wrong << "no machine report (" << r.parseError << "); ";
}

// A completed run: the status, the boxes, and every image intact at the machine.
void checkCompleted(const Outcome& o, const SimReport& r, const std::vector<std::string>& boxes,
                    const std::vector<std::string>& sent, std::ostringstream& wrong) {
  if (o.finalStatus != " Status: UPDATE COMPLETE") wrong << "final status \"" << o.finalStatus << "\"; ";
  if (o.boxes != boxes) wrong << boxesText(o.boxes);
  if (!r.parsed) return;
  if (r.result != "OK") wrong << "machine says " << r.summaryLine << "; ";
  if (r.images.size() != sent.size())
    wrong << "machine holds " << r.images.size() << " images, " << sent.size() << " sent; ";
  for (std::size_t k = 0; k < sent.size() && k < r.images.size(); ++k) {
    if (r.images[k].sha256 != e2e::sha256Of(sent[k])) wrong << "image " << k + 1 << " differs; ";
  }
}

// A run that did not complete: the status, the boxes, and no end frame at the machine.
void checkStopped(const SoakRun& run, const Outcome& o, const SimReport& r, std::ostringstream& wrong) {
  if (r.parsed && r.result != "INCOMPLETE") wrong << "machine says " << r.summaryLine << "; ";
  switch (run.expected) {
    case Expected::FrameRejected:
      if (o.finalStatus != " Error: ") wrong << "final status \"" << o.finalStatus << "\"; ";
      if (o.boxes != std::vector<std::string>{"0: , "}) wrong << boxesText(o.boxes);
      if (run.fault == "silent-at" && !o.sawStatus(" Status: Received Time out")) wrong << "no time-out status; ";
      if (run.fault == "can-at" && o.findStatus(" Status: Received program fail") < 0)
        wrong << "no program-fail status; ";
      break;
    case Expected::PortLost:  // 8020: the device went away
      if (o.finalStatus.rfind(" Error: ", 0) != 0 || o.finalStatus.find("COM1") == std::string::npos) {
        wrong << "final status \"" << o.finalStatus << "\"; ";
      }
      if (o.boxes.size() != 1 || o.boxes[0].rfind("8020: ", 0) != 0) wrong << boxesText(o.boxes);
      break;
    case Expected::StxTimedOut:
      if (o.finalStatus != " Status: Waiting for STX timed out, program end") {
        wrong << "final status \"" << o.finalStatus << "\"; ";
      }
      if (!o.boxes.empty()) wrong << boxesText(o.boxes);
      break;
    case Expected::Complete:
    case Expected::CompleteAfterBox: break;
  }
}

// The last `count` status texts of a run, for the report of a wrong end.
std::string lastStatuses(const Outcome& o, std::size_t count) {
  std::string text;
  const std::size_t from = o.statuses.size() > count ? o.statuses.size() - count : 0;
  for (std::size_t k = from; k < o.statuses.size(); ++k)
    text += (k > from ? " | " : "") + quotedForFault(o.statuses[k]);
  return text;
}

}  // namespace

std::string checkRun(const SoakRun& run, const Outcome& o, const SimReport& r, const std::vector<std::string>& sent) {
  std::ostringstream wrong;
  checkCleanEnd(o, r, wrong);
  if (run.expected == Expected::Complete) {
    checkCompleted(o, r, {}, sent, wrong);
  } else if (run.expected == Expected::CompleteAfterBox) {
    checkCompleted(o, r, {kReadyBox}, sent, wrong);
  } else {
    checkStopped(run, o, r, wrong);
  }
  return wrong.str();
}

const char* expectedName(Expected expected) {
  switch (expected) {
    case Expected::Complete: return "complete";
    case Expected::CompleteAfterBox: return "complete after the ready box";
    case Expected::FrameRejected: return "failure path, frame result";
    case Expected::PortLost: return "failure path, port fault";
    case Expected::StxTimedOut: return "early end, no STX";
  }
  return "?";
}

int SoakRun::frameCount() const {
  int frames = 1;  // the end frame
  for (const SoakImage& image : images) frames += 1 + static_cast<int>((image.size + kBlock - 1) / kBlock);
  return frames;
}

std::string SoakRun::describe() const {
  std::string text = fault;
  for (const std::string& arg : simArgs) text += " " + arg;
  text += std::string(" (") + sourceInfo(source).listFile + ", ";
  for (std::size_t k = 0; k < images.size(); ++k) text += (k ? "+" : "") + std::to_string(images[k].size);
  return text + " bytes)";
}

const std::vector<std::string>& faultNames() {
  static const std::vector<std::string> names = {
      "none",  "nak-once", "nak-times", "stx-instead", "etx-instead", "corrupt-at", "noise",
      "model", "no-ready", "emergency", "can-at",      "silent-at",   "hangup-at",  "wrong-speed",
  };
  return names;
}

SoakRun drawRun(std::mt19937& rng, const std::string& onlyFault) {
  SoakRun run;
  run.fault = oneOf(rng, faultNames());
  if (!onlyFault.empty()) run.fault = onlyFault;
  run.source = run.fault == "emergency"
                   ? Source::EmergencyRestore
                   : oneOf<Source>(rng, {Source::Program, Source::ProgramAndDsd, Source::EmergencyRestore});
  run.images = imagesFor(run.source, rng);
  applyFault(run, rng);
  return run;
}

long residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

namespace {

// Writes the run's images and list, starts a fresh machine on COM1, presses
// "&Start Update" and checks the end. Returns what is wrong, or "".
std::string soakOne(e2e::E2eBench& bench, const SoakRun& run, int index, const SoakOptions& options) {
  std::vector<std::string> sent;
  for (const SoakImage& image : run.images) {
    sent.push_back(imageBytes(image, options.seed, index));
    bench.writeFile(image.name, sent.back());
  }
  bench.writeFile(sourceInfo(run.source).listFile, listText(run));

  const std::string simDir = bench.dir() + "/sim" + std::to_string(index);
  fs::create_directories(simDir);
  std::string problem;
  {
    e2e::SimProcess sim;
    if (!sim.start(run.simArgs, simDir)) return "the simulated machine did not start: " + sim.error();
    ::setenv("TORVANE_COM1", sim.slavePath().c_str(), 1);
    const Outcome o = bench.runUpdate(run.source, 1);
    const SimReport r = sim.stop();
    problem = checkRun(run, o, r, sent);
    if (!problem.empty()) problem += "statuses: " + lastStatuses(o, 8);
    if (options.log) {
      *options.log << "run " << index + 1 << "/" << options.runs << ": " << run.describe() << " -> \"" << o.finalStatus
                   << "\" " << (problem.empty() ? "as expected" : "WRONG") << " (" << expectedName(run.expected) << ", "
                   << o.realSeconds << " s)" << std::endl;
    }
  }
  std::error_code ec;
  if (problem.empty()) fs::remove_all(simDir, ec);  // a wrong run's report stays for a look
  return problem;
}

// Descriptors and memory at the end against the baseline after the warm-up.
void checkNothingLost(SoakResult& result, const SoakOptions& options) {
  result.fdsEnd = e2e::openFdCount();
  result.rssEndKiB = residentKiB();
  if (result.fdsEnd != result.fdsBaseline) {
    result.problems.push_back("descriptors after the warm-up " + std::to_string(result.fdsBaseline) + ", at the end " +
                              std::to_string(result.fdsEnd));
  }
  const long growth = result.rssEndKiB - result.rssBaselineKiB;
  if (options.checkRss && growth > options.rssGrowthLimitKiB) {
    result.problems.push_back("resident memory grew by " + std::to_string(growth) + " KiB (limit " +
                              std::to_string(options.rssGrowthLimitKiB) + " KiB)");
  }
}

}  // namespace

SoakResult runSoak(const SoakOptions& options) {
  SoakResult result;
  QElapsedTimer took;
  took.start();
  e2e::E2eBench bench(options.speedup);
  if (!bench.ok()) {
    result.problems.push_back("bench: " + bench.error());
    return result;
  }
  bench.setWatchdogSeconds(kWatchdogSeconds);
  std::mt19937 rng(options.seed);
  const int warmUp = std::min(options.warmUpRuns, options.runs / 2);

  for (int i = 0; i < options.runs; ++i) {
    if (i == warmUp) {
      result.fdsBaseline = e2e::openFdCount();
      result.rssBaselineKiB = residentKiB();
    }
    const SoakRun run = drawRun(rng, options.onlyFault);
    const std::string problem = soakOne(bench, run, i, options);
    ++result.runs;
    ++result.runsPerFault[run.fault];
    if (!problem.empty()) {
      result.problems.push_back("run " + std::to_string(i + 1) + " " + run.describe() + ": " + problem);
      if (options.log) *options.log << "  " << problem << "\n";
    }
  }
  checkNothingLost(result, options);
  result.realSeconds = static_cast<double>(took.elapsed()) / 1000.0;
  if (options.log) {
    *options.log << "soak: seed " << options.seed << ", " << result.runs << " runs in " << result.realSeconds << " s, "
                 << result.problems.size() << " problems; descriptors " << result.fdsBaseline << " -> " << result.fdsEnd
                 << "; VmRSS " << result.rssBaselineKiB << " -> " << result.rssEndKiB << " KiB ("
                 << (options.checkRss ? "checked" : "not checked") << ")\n";
  }
  return result;
}

}  // namespace torvane::soak
