// One update run as the JSON object of its line in the update log. The
// field names are those other tools read; see README, "The update log".
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "context/run_record.h"

namespace torvane {

// What a port is, as far as the front end knows it: its COM number (none
// for a port named by its device path), and texts that are left out of the
// record when empty.
struct PortDetails {
  std::optional<int> com;
  std::string device{};
  std::string description{};
  std::string vidPid{};
  std::string serial{};
};

// What the record holds beside the core's RunRecord. Texts are UTF-8; bytes
// that are not (a name from a transfer list, a folder) are stored as U+FFFD.
struct RunSetting {
  std::string start;  // ISO 8601 with the offset from UTC
  std::string end;
  std::string toolName;
  std::string toolVersion;
  std::string host;    // empty: unknown
  std::string user;    // empty: unknown
  std::string folder;  // the working folder
  PortDetails port;
};

nlohmann::json recordJson(const RunRecord& record, const RunSetting& setting);

// The record's line in the log, without its line end: compact, keys in
// alphabetical order, UTF-8 unescaped.
std::string recordLine(const RunRecord& record, const RunSetting& setting);

// JSON as the log stores it (and --history --json prints it).
std::string compactJson(const nlohmann::json& value);

}  // namespace torvane
