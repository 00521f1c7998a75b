// The host helpers behave alike on Linux and on Windows (under Wine).
#include "tests/support/host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace torvane {
namespace {

namespace fs = std::filesystem;

TEST(Host, makeScratchDirectory_givesNewEmptyDistinctDirectories) {
  const fs::path a = test::makeScratchDirectory("torvane-host");
  const fs::path b = test::makeScratchDirectory("torvane-host");
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  EXPECT_NE(a, b);
  for (const fs::path& dir : {a, b}) {
    EXPECT_TRUE(fs::is_directory(dir)) << dir;
    EXPECT_TRUE(fs::is_empty(dir)) << dir;
    EXPECT_EQ(dir.filename().string().rfind("torvane-host-", 0), 0u) << dir;
    EXPECT_EQ(dir.string().rfind(fs::temp_directory_path().string(), 0), 0u) << dir;
    fs::remove_all(dir);
  }
}

TEST(Host, openFileCount_seesAFileWhileItIsOpen) {
  const fs::path previous = fs::current_path();
  const fs::path dir = test::makeScratchDirectory("torvane-host");
  ASSERT_FALSE(dir.empty());
  fs::current_path(dir);
  std::ofstream("held.bin") << "x";
  const int before = test::openFileCount();
  {
    std::ifstream held("held.bin", std::ios::binary);
    ASSERT_TRUE(held.is_open());
    EXPECT_EQ(test::openFileCount(), before + 1);
  }
  EXPECT_EQ(test::openFileCount(), before);
  fs::current_path(previous);
  fs::remove_all(dir);
}

TEST(Host, exitCodeOf_givesTheCommandsExitCode) {
  for (int code : {0, 1, 3}) {
    EXPECT_EQ(test::exitCodeOf(std::system(("exit " + std::to_string(code)).c_str())), code);
  }
}

}  // namespace
}  // namespace torvane
