// The check of an update folder before any machine is touched: every
// transfer list read exactly as the transfer phase reads it (the transfer
// plan), each image with its size, frames and SHA-256, and what an update
// would stumble on. Errors are what would make an update fail or send what
// was not meant (a missing, unreadable or empty image, a line the run
// faults on, a digest that differs from SHA256SUMS or an image it leaves
// out, more frames than a run can count); warnings are sent as they are (a
// memory type outside 1..3, two images of one memory type whose ranges
// overlap).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "check/sha256sums.h"
#include "encoding/fault.h"
#include "run/transfer_plan.h"

namespace torvane::check {

struct Problem {
  bool error = true;  // false: a warning
  std::string text;
};

struct ImageReport {
  PlannedImage planned;
  std::string sha256;                   // of the file as it is; empty when it cannot be read
  std::optional<std::string> expected;  // what SHA256SUMS lists for it
  std::vector<Problem> problems;
};

struct ListReport {
  std::string list;  // "program.txt"
  std::vector<ImageReport> images;
  std::vector<Problem> problems;  // of the list itself
  int64_t bytes = 0;              // image bytes sent
  long frames = 0;                // frames handed over, the end frame included
  double seconds = 0;             // on the line at 38400 baud, the verdict bytes included
};

struct FolderReport {
  std::filesystem::path folder;
  std::optional<Sha256Sums> sums;  // none: the folder has no SHA256SUMS
  std::vector<Problem> problems;   // of the folder: SHA256SUMS itself, no list at all
  std::vector<ListReport> lists;

  int errors() const;
  int warnings() const;
};

// Checks every transfer list the folder holds (lorebank.txt, program.txt,
// all.txt, ERestore.txt), or only `onlyList`.
FolderReport checkFolder(const std::filesystem::path& folder, const std::optional<std::string>& onlyList = {});

// The report for a person: a table of each list's images, its totals and
// its problems, then the verdict.
std::string reportText(const FolderReport& report);
// The same as one JSON object.
std::string reportJson(const FolderReport& report);

// What "Start Update" and the station check before the port opens, when the
// folder holds SHA256SUMS: every image of the list that would be sent must
// be listed there with its digest. The fault of the first that is not (or
// of a SHA256SUMS that cannot be read); none without SHA256SUMS or when all match.
std::optional<Fault> verifyAgainstSums(const std::filesystem::path& folder, const std::string& listName);

// SHA-256 of a file's bytes, read as it goes; empty when it cannot be read.
std::string fileSha256(const std::filesystem::path& file);

}  // namespace torvane::check
