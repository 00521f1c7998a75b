// torvane-sim as a child process of an end-to-end test: started with the
// test's arguments plus --report and --save-images in a folder of the test,
// stopped with SIGTERM and reaped (no zombie, no descriptor left behind),
// and its JSON report read back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace torvane::e2e {

struct SimImage {
  int index = 0;
  int session = 0;
  int memoryType = 0;
  uint32_t address = 0;
  std::size_t size = 0;      // announced in the address frame
  std::size_t received = 0;  // data bytes that arrived for it
  bool complete = false;
  std::string sha256;  // lower-case hex of the received bytes
};

struct SimFrame {
  int session = 0;
  int number = 0;
  int attempt = 0;
  std::string kind;  // address, data, end, ...
  std::size_t length = 0;
  bool crcOk = false;
  std::string verdict;  // ACK, NAK, CAN, ETX, STX, none, hang-up, unplugged
};

// What the simulated machine reports at its exit.
struct SimReport {
  bool parsed = false;
  std::string parseError;
  std::string result;  // "OK" or "INCOMPLETE"
  bool endFrame = false;
  bool hungUp = false;
  int unplugs = 0;  // times the machine hung the line up and came back (--unplug-at)
  int sessions = 0;
  std::string model;
  std::vector<SimImage> images;
  std::vector<SimFrame> frames;
  std::vector<std::string> errors;
  std::map<std::string, int> verdicts;
  std::string exitReason;
  std::string summaryLine;  // the last line on the simulator's standard output
  std::string json;         // the whole report as written

  int verdictCount(const std::string& name) const;
};

// Reads the report text; parsed is false (with the reason) when it is not JSON.
SimReport parseSimReport(const std::string& json);

class SimProcess {
 public:
  SimProcess() = default;
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts binary (build/bin/torvane-sim by default) with args followed by
  // --report <dir>/report.json --save-images <dir>/received, and waits up to
  // startMs for the terminal path on its first output line. False (with the
  // reason in error()) when it did not start; nothing is left running then.
  bool start(const std::vector<std::string>& args, const std::string& dir, int startMs = 10000,
             const std::string& binary = "");

  bool running() const { return pid_ > 0; }
  const std::string& slavePath() const { return slavePath_; }
  const std::string& error() const { return error_; }
  const std::string& reportPath() const { return reportPath_; }
  const std::string& imagesDir() const { return imagesDir_; }

  // Stops the simulator (SIGTERM; SIGKILL if it has not ended within
  // stopMs), reaps it and reads its report. Safe to call once it has exited
  // by itself; a second call returns the same report.
  SimReport stop(int stopMs = 10000);

  // The bytes of the n-th (1-based) image the simulator saved; empty if absent.
  std::string savedImage(int index) const;
  // How many image files the simulator saved.
  int savedImageCount() const;

 private:
  std::string readOutputUntil(bool (*done)(const std::string&), int ms);
  void reap(int ms);

  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
  std::string slavePath_;
  std::string reportPath_;
  std::string imagesDir_;
  std::string error_;
  bool stopped_ = false;
  SimReport report_;
};

}  // namespace torvane::e2e
