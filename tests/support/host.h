// What the tests need of the host that standard C++ does not offer, in one
// place with a POSIX and a Windows branch, so that the core's tests build for
// both. Where Windows has no counterpart the Windows branch reports a test
// failure (never a silent pass); scripts/windows-tests lists those tests in
// its exclusion list with the reason.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace torvane::test {

// A new, empty directory under the system's temporary folder, named
// <prefix>-<random letters>. Fails the test (and returns an empty path) when
// none can be made.
std::filesystem::path makeScratchDirectory(const std::string& prefix);

// How many files the process holds open. POSIX: the descriptors in
// /proc/self/fd. Windows: the files below the working directory that are
// held open (opening a file without sharing fails while any handle to it is
// open); the tests that ask keep their files there.
int openFileCount();

// A program of the build as one word of a std::system() command line: quoted
// for the shell, ".exe" and a drive letter on Windows.
std::string commandWord(const std::filesystem::path& program);

// The exit code of a finished std::system() command; -1 when it did not end
// with an exit code (a signal, or no shell).
int exitCodeOf(int systemStatus);

// Sets an environment variable of this process; an empty value removes it.
void setEnvironmentVariable(const std::string& name, const std::string& value);

// True when the process runs with root rights (never on Windows).
bool runningAsRoot();

// Gives up root rights for the rest of the process (user and group
// "nobody"). False when that fails, and always on Windows.
bool dropRootRights();

// Makes a named pipe (FIFO) in the file system. False when that fails, and
// always on Windows, which has no FIFOs in its file system.
bool makeFifo(const std::filesystem::path& name);

// Limits the size of the files that the process writes, for its lifetime;
// writes past the limit fail instead of raising a signal. Windows has no
// such limit: there the constructor fails the test.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  uint64_t savedLimit_ = 0;
  void (*savedHandler_)(int) = nullptr;
  bool active_ = false;
};

}  // namespace torvane::test
