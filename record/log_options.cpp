#include "record/log_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <utility>

#include "record/update_log.h"

namespace torvane {

namespace {

constexpr char kOff[] = "off";
constexpr char kDefaultCount[] = "20";

std::string countRefusal(const std::string& given) {
  return "N is a number of records from 1 up, not \"" + given + "\"";
}

// N of --history: decimal digits that make a number from 1 up, handed on
// without leading zeros (the parser itself would also take "0x10", "+5",
// and "010" as octal 8).
std::string decimalCount(std::string& given) {
  int count = 0;
  const char* end = given.data() + given.size();
  const bool digits = !given.empty() && given.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || std::from_chars(given.data(), end, count).ptr != end || count < 1) return countRefusal(given);
  given = std::to_string(count);
  return {};
}

}  // namespace

void addLogOptions(CLI::App& app, LogOptions& options, bool history) {
  if (history) {
    app.add_option("--history", options.history,
                   "Print the last N update runs of the log (N after the option, default 20) as a table, then exit.")
        ->expected(0, 1)
        ->default_str(kDefaultCount)
        ->type_name("[N]")
        ->transform(CLI::Validator(decimalCount, ""));
  }
  app.add_option("--log", options.logFile, "The update log to write and read (also TORVANE_LOG=FILE).")
      ->type_name("FILE")
      ->check(
          CLI::Validator([](const std::string& file) { return file.empty() ? "needs the name of a file" : ""; }, ""));
  app.add_flag("--no-log", options.noLog, "Keep no record of the update runs (also TORVANE_LOG=off).");
}

std::string checkLogOptions(const LogOptions& options) {
  if (options.history && *options.history < 1) return "--history: " + countRefusal(std::to_string(*options.history));
  if (!options.logFile.empty() && options.noLog) return "give --log FILE or --no-log, not both";
  return {};
}

std::filesystem::path historyLog(const LogOptions& options, const EnvLookup& environment) {
  if (!options.logFile.empty()) return pathFromText(options.logFile);
  const std::string fromEnvironment = environment("TORVANE_LOG");
  if (!fromEnvironment.empty() && fromEnvironment != kOff) return pathFromText(fromEnvironment);
  return defaultLogPath(environment);
}

std::optional<std::filesystem::path> chosenLog(const LogOptions& options, const EnvLookup& environment) {
  if (options.noLog || (options.logFile.empty() && environment("TORVANE_LOG") == kOff)) return std::nullopt;
  return historyLog(options, environment);
}

std::unique_ptr<UpdateRecorder> updateRecorder(const std::optional<std::filesystem::path>& log, RecorderSetup setup) {
  if (!log) return nullptr;
  setup.logPath = *log;
  return std::make_unique<UpdateRecorder>(std::move(setup));
}

}  // namespace torvane
