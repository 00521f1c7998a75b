// Command line of torvane-sim.
#pragma once

#include <string>
#include <vector>

#include "sim/fault_plan.h"

namespace torvane::sim {

struct SimOptions {
  std::string model = "torvane";  // torvane | teal | amber
  std::string loadReply = "As";   // sent followed by CR
  int announceMs = 500;           // 0: no announcement
  bool announceAnySpeed = false;  // announce whatever speed the host has set
  bool emergency = false;
  bool noReady = false;
  bool wrongSpeed = false;
  bool pace = false;
  int turnaroundMs = 0;
  bool exitAfterEnd = false;
  int lingerMs = 0;
  int idleExitMs = 0;     // 0: never
  int frameGapMs = 1000;  // silence that turns a partial frame into garbage
  std::string reportPath;
  std::string saveImagesDir;
  FaultPlan faults;
};

struct ParsedOptions {
  SimOptions options;
  bool help = false;
  bool version = false;
  std::string error;  // empty when the command line was understood
};

// args excludes the program name.
ParsedOptions parseOptions(const std::vector<std::string>& args);

// The ready reply of a model, CR included.
std::string readyReply(const std::string& model);

const char* helpText();

}  // namespace torvane::sim
