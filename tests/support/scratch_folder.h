// A fresh temporary folder as the working folder of one test, and the small
// file helpers the tests that work in it share.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "encoding/bytes.h"
#include "tests/support/host.h"

namespace torvane::test {

// Makes a new scratch folder the working folder for its lifetime; then the
// previous working folder is restored and the scratch folder removed, even
// where a test took the write or search rights away.
class ScratchWorkingFolder {
 public:
  explicit ScratchWorkingFolder(const std::string& prefix)
      : previous_(std::filesystem::current_path()), dir_(makeScratchDirectory(prefix)) {
    if (!dir_.empty()) std::filesystem::current_path(dir_);
  }
  ~ScratchWorkingFolder() {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::current_path(previous_, ec);
    if (dir_.empty()) return;
    for (const auto& entry : fs::recursive_directory_iterator(dir_, ec)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  ScratchWorkingFolder(const ScratchWorkingFolder&) = delete;
  ScratchWorkingFolder& operator=(const ScratchWorkingFolder&) = delete;

  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path dir_;
};

inline void writeFile(const std::filesystem::path& name, const ByteString& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_TRUE(out.good()) << name;
}

inline ByteString readFile(const std::filesystem::path& name) {
  std::ifstream in(name, std::ios::binary);
  return ByteString(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace torvane::test
