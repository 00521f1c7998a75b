// Reading the update log back: the last records as a table or as stored.
#pragma once

#include <cstddef>
#include <deque>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

namespace torvane {

struct StoredRecord {
  std::string line;  // as stored, without its line end
  nlohmann::json record;
};

// A line longer than this is no record of this tool and is skipped unread.
inline constexpr std::size_t kLongestRecordLine = std::size_t(1) << 20;

// The last `count` records of the log, oldest first: its lines that hold a
// JSON object. A line cut off by a crash or a full disk, or anything else
// that is not a record, is skipped. The log is read line by line up to the
// size it had when opened, keeping no more than `count` records. Only a
// regular file is read (a symbolic link to one too): a directory, a device
// or a pipe is refused at once. Returns why the log cannot be read, or an
// empty text; a missing log holds no records.
std::string readRecords(const std::filesystem::path& log, std::size_t count, std::deque<StoredRecord>& records);

// Prints the last `count` records to `out`: a table (end, outcome, source,
// port, frames, resends, and each image with the first 12 hex digits of its
// SHA-256), or with `asJson` the lines as stored. Control characters taken
// from the log are never printed as they are: the table shows them as \xNN,
// and a line that holds any is printed with them escaped as JSON escapes
// them. Returns the exit code: 0, or 1 with the reason on `err` when the log
// cannot be read.
int printHistory(const std::filesystem::path& log, int count, bool asJson, std::ostream& out, std::ostream& err);

}  // namespace torvane
