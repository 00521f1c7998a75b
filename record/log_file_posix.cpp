// LogFile on POSIX descriptors.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "record/log_file.h"

namespace torvane {

namespace {

std::string reason(int error) { return std::generic_category().message(error); }

// Why `status` is no file to use, or empty.
std::string refusal(const struct stat& status) {
  if (S_ISLNK(status.st_mode)) return kSymbolicLink;
  return S_ISREG(status.st_mode) ? "" : kNotRegularFile;
}

}  // namespace

LogFile::LogFile(const std::filesystem::path& path, Use use) {
  // Looked at first, so that a device or a pipe is not even opened (opening
  // some devices acts on them); the opened file is looked at again below.
  struct stat status {};
  const int looked = use == Use::Read ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status);
  const bool absent = looked != 0 && (errno == ENOENT || errno == ENOTDIR);
  if (looked != 0 && !absent) {
    error_ = reason(errno);
    return;
  }
  if (absent && use == Use::Read) {
    missing_ = true;
    return;
  }
  if (looked == 0 && !(error_ = refusal(status)).empty()) return;
  const int flags = use == Use::Read ? O_RDONLY : O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW;
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) {
    error_ = errno == ELOOP ? kSymbolicLink : errno == EISDIR ? kNotRegularFile : reason(errno);
    return;
  }
  handle_ = fd;
  if (::fstat(fd, &status) != 0 || !(error_ = refusal(status)).empty()) {
    if (error_.empty()) error_ = reason(errno);
    close();
    return;
  }
  // Other writers (the workers of a station) append to the same log: one
  // at a time, so that a write cut back takes nothing of theirs. Where the
  // file system has no locks the line goes in unlocked.
  if (use == Use::Append) ::flock(fd, LOCK_EX);
  if (use == Use::Append && ::fstat(fd, &status) != 0) {
    error_ = reason(errno);
    close();
    return;
  }
  size_ = static_cast<uint64_t>(status.st_size);
}

LogFile::~LogFile() {
  if (isOpen()) ::close(static_cast<int>(handle_));
}

std::size_t LogFile::read(char* buffer, std::size_t capacity) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer, capacity);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) {
      error_ = reason(errno);
      return 0;
    }
  }
}

std::optional<char> LogFile::lastByte() {
  char last = 0;
  if (size_ == 0 || ::pread(static_cast<int>(handle_), &last, 1, static_cast<off_t>(size_ - 1)) != 1) return {};
  return last;
}

bool LogFile::append(const std::string& bytes) {
  const int fd = static_cast<int>(handle_);
  ssize_t written = -1;
  do {
    written = ::write(fd, bytes.data(), bytes.size());
  } while (written < 0 && errno == EINTR);
  if (written == static_cast<ssize_t>(bytes.size())) return true;
  error_ = written < 0 ? reason(errno) : shortWriteText(static_cast<std::size_t>(written), bytes.size());
  if (::ftruncate(fd, static_cast<off_t>(size_)) != 0) error_ += kNotCutBack + reason(errno);
  return false;
}

bool LogFile::close() {
  const int fd = static_cast<int>(handle_);
  handle_ = kClosed;
  if (fd < 0 || ::close(fd) == 0) return true;
  error_ = reason(errno);
  return false;
}

}  // namespace torvane
