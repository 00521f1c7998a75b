// The update log's options and the logs they choose.
#include "record/log_options.h"

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <map>

#include "record/update_log.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

EnvLookup environmentOf(std::map<std::string, std::string> values) {
  return [values = std::move(values)](const std::string& name) {
    const auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  };
}

// The options of `args` (after the program), or why they are refused.
std::pair<LogOptions, std::string> parsed(std::vector<std::string> args) {
  CLI::App app;
  app.allow_extras();
  LogOptions options;
  addLogOptions(app, options);
  std::reverse(args.begin(), args.end());  // CLI11 takes them last first
  try {
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    return {options, e.what()};
  }
  return {options, checkLogOptions(options)};
}

TEST(LogOptions, commandLines_giveTheOptionsOrOneLineWhy) {
  const struct {
    std::vector<std::string> args;
    std::optional<int> history;
    const char* logFile;
    const char* error;  // a part of it; empty: none
  } rows[] = {
      {{"--history"}, 20, "", ""},
      {{"--history", "5"}, 5, "", ""},
      {{"--history=5"}, 5, "", ""},
      {{"--history", "007", "folder"}, 7, "", ""},
      {{"--history", "-1"}, {}, "", "N is a number of records from 1 up, not \"-1\""},
      {{"--history", "0"}, {}, "", "from 1 up, not \"0\""},
      {{"--history", "x"}, {}, "", "from 1 up, not \"x\""},
      {{"--history", "0x10"}, {}, "", "from 1 up, not \"0x10\""},
      {{"--log", "a.jsonl", "--no-log"}, {}, "a.jsonl", "give --log FILE or --no-log, not both"},
      {{"--log"}, {}, "", "--log"},
      {{"--log", "my.jsonl", "-platform", "offscreen"}, {}, "my.jsonl", ""},
  };
  for (const auto& row : rows) {
    const auto [options, error] = parsed(row.args);
    const std::string line = ::testing::PrintToString(row.args);
    EXPECT_EQ(error.empty(), std::string(row.error).empty()) << line << ": " << error;
    EXPECT_NE(error.find(row.error), std::string::npos) << line << ": " << error;
    EXPECT_EQ(options.logFile, row.logFile) << line;
    if (error.empty()) {
      EXPECT_EQ(options.history, row.history) << line;
    }
  }
  EXPECT_NE(checkLogOptions({0, false, "", false}), "");
}

#ifdef _WIN32
const fs::path kStateHome = "C:\\Users\\op\\AppData\\Local\\TorVane\\updates.jsonl";
const std::map<std::string, std::string> kHome{{"LOCALAPPDATA", "C:\\Users\\op\\AppData\\Local"}};
#else
const fs::path kStateHome = "/srv/state/torvane-update/updates.jsonl";
const std::map<std::string, std::string> kHome{{"XDG_STATE_HOME", "/srv/state"}, {"HOME", "/home/op"}};
#endif

TEST(LogOptions, logs_comeFromTheOptionsThenTorvaneLogThenTheDefault) {
  const struct {
    LogOptions options;
    const char* torvaneLog;
    std::optional<fs::path> written;
    fs::path read;
  } rows[] = {
      {{}, "", kStateHome, kStateHome},
      {{}, "off", std::nullopt, kStateHome},
      {{}, "b.jsonl", "b.jsonl", "b.jsonl"},
      {{{}, false, "a.jsonl", false}, "off", "a.jsonl", "a.jsonl"},
      {{{}, false, "a.jsonl", false}, "b.jsonl", "a.jsonl", "a.jsonl"},
      {{{}, false, "", true}, "b.jsonl", std::nullopt, "b.jsonl"},
  };
  for (const auto& row : rows) {
    std::map<std::string, std::string> values = kHome;
    values["TORVANE_LOG"] = row.torvaneLog;
    EXPECT_EQ(chosenLog(row.options, environmentOf(values)), row.written) << row.torvaneLog;
    EXPECT_EQ(historyLog(row.options, environmentOf(values)), row.read) << row.torvaneLog;
    EXPECT_EQ(updateRecorder(chosenLog(row.options, environmentOf(values)), {}) != nullptr, row.written.has_value());
  }
}

#ifndef _WIN32
TEST(LogOptions, defaultLog_takesAnAbsoluteStateHomeElseTheHomeFolder) {
  const struct {
    std::map<std::string, std::string> environment;
    const char* log;
  } rows[] = {
      {kHome, "/srv/state/torvane-update/updates.jsonl"},
      {{{"XDG_STATE_HOME", "relative"}, {"HOME", "/home/op"}}, "/home/op/.local/state/torvane-update/updates.jsonl"},
      {{{"HOME", "/home/op"}}, "/home/op/.local/state/torvane-update/updates.jsonl"},
  };
  for (const auto& row : rows) EXPECT_EQ(defaultLogPath(environmentOf(row.environment)), row.log);
}
#endif

}  // namespace
}  // namespace torvane
