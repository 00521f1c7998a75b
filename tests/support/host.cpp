#include "tests/support/host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace torvane::test {

namespace fs = std::filesystem;

fs::path makeScratchDirectory(const std::string& prefix) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) {
    ADD_FAILURE() << "no temporary folder: " << ec.message();
    return {};
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix + "-";
    for (int i = 0; i < 8; ++i) name += kLetters[pick(random)];
    // create_directory is true only for a directory it made itself.
    if (fs::create_directory(base / name, ec)) return base / name;
    if (ec) break;
  }
  ADD_FAILURE() << "cannot make a scratch directory in " << base.string() << (ec ? ": " + ec.message() : "");
  return {};
}

#ifdef _WIN32

namespace {

// The test program starts in the build tree; under Wine that is a Unix
// folder seen through a drive letter, which absolute Unix paths then need.
const fs::path kStartFolder = fs::current_path();

bool heldOpen(const fs::path& file) {
  const HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}

}  // namespace

int openFileCount() {
  int n = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(fs::current_path(), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec) && heldOpen(it->path())) ++n;
  }
  return n;
}

std::string commandWord(const fs::path& program) {
  fs::path p = program;
  if (!p.has_root_name() && p.has_root_directory()) p = kStartFolder.root_name() / p;
  if (!p.has_extension()) p += ".exe";
  return "\"" + p.make_preferred().string() + "\"";
}

int exitCodeOf(int systemStatus) { return systemStatus; }

void setEnvironmentVariable(const std::string& name, const std::string& value) {
  EXPECT_EQ(_putenv_s(name.c_str(), value.c_str()), 0) << name;  // "" removes it
}

bool runningAsRoot() { return false; }

bool dropRootRights() { return false; }

bool makeFifo(const fs::path&) { return false; }

FileSizeLimit::FileSizeLimit(uint64_t) {
  ADD_FAILURE() << "Windows has no per-process limit on the size of written files";
}

FileSizeLimit::~FileSizeLimit() = default;

#else

int openFileCount() {
  int n = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it) ++n;
  return n;
}

std::string commandWord(const fs::path& program) {
  std::string quoted = "'";
  for (char c : program.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int exitCodeOf(int systemStatus) {
  return systemStatus != -1 && WIFEXITED(systemStatus) ? WEXITSTATUS(systemStatus) : -1;
}

void setEnvironmentVariable(const std::string& name, const std::string& value) {
  EXPECT_EQ(value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1), 0) << name;
}

bool runningAsRoot() { return ::geteuid() == 0; }

bool dropRootRights() { return ::setgid(65534) == 0 && ::setuid(65534) == 0; }

bool makeFifo(const fs::path& name) { return ::mkfifo(name.c_str(), 0600) == 0; }

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) {
    ADD_FAILURE() << "getrlimit failed";
    return;
  }
  savedLimit_ = limit.rlim_cur;
  savedHandler_ = ::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  active_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  if (!active_) ADD_FAILURE() << "setrlimit failed";
}

FileSizeLimit::~FileSizeLimit() {
  if (!active_) return;
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = savedLimit_;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::signal(SIGXFSZ, savedHandler_);
}

#endif

}  // namespace torvane::test
