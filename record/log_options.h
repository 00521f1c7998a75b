// The update log's part of a front end's command line and environment:
//
//   --history [N]   print the last N records (default 20) and exit
//   (--json         with --history: the records as they are stored; the front end's)
//   --log FILE      the log to write and read; TORVANE_LOG=FILE likewise
//   --no-log        record nothing; TORVANE_LOG=off likewise
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "record/host.h"
#include "record/update_recorder.h"

namespace CLI {
class App;
}

namespace torvane {

struct LogOptions {
  std::optional<int> history;  // --history [N]
  bool json = false;
  std::string logFile;  // --log FILE (UTF-8 on Windows)
  bool noLog = false;
};

// Declares --log FILE and --no-log on `app`, with their help texts, and
// with `history` also --history [N] (N, when given, decimal digits only).
// --json (the records as stored) is the front end's to declare: it may
// mean more there.
void addLogOptions(CLI::App& app, LogOptions& options, bool history = true);

// Checks what the parser cannot: N is a whole number from 1 up; --log and
// --no-log not together. Empty when the options can be used, else one line
// that says why.
std::string checkLogOptions(const LogOptions& options);

// The log the options and TORVANE_LOG (FILE, or "off") choose for the
// records; none: no records.
std::optional<std::filesystem::path> chosenLog(const LogOptions& options, const EnvLookup& environment);

// The log --history reads: --log, else TORVANE_LOG unless it is "off", else
// the default (also with TORVANE_LOG=off).
std::filesystem::path historyLog(const LogOptions& options, const EnvLookup& environment);

// The recorder that writes `log`; null without a log.
std::unique_ptr<UpdateRecorder> updateRecorder(const std::optional<std::filesystem::path>& log, RecorderSetup setup);

}  // namespace torvane
