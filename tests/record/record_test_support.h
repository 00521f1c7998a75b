// What the update log's tests share: the records a log holds, and paths
// that are no regular file to keep a log in.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "record/history.h"
#include "record/log_file.h"
#include "tests/support/host.h"

namespace torvane::test {

inline std::deque<StoredRecord> storedRecords(const std::filesystem::path& log) {
  std::deque<StoredRecord> records;
  const std::string error = readRecords(log, 1000, records);
  EXPECT_EQ(error, "") << log;
  return records;
}

// In the working folder: a directory, and where the host has them a FIFO,
// its null device and symbolic links to the FIFO and to the directory.
inline std::vector<std::filesystem::path> notRegularFiles() {
  namespace fs = std::filesystem;
  fs::create_directory("a-folder");
  std::vector<fs::path> paths{"a-folder"};
#ifdef _WIN32
  paths.push_back("NUL");
#else
  EXPECT_TRUE(makeFifo("a-fifo"));
  fs::create_symlink("a-fifo", "link-to-fifo");
  fs::create_directory_symlink("a-folder", "link-to-folder");
  paths.insert(paths.end(), {"a-fifo", "/dev/null", "link-to-fifo", "link-to-folder"});
#endif
  return paths;
}

}  // namespace torvane::test
