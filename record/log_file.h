// The update log's file as the host holds it. Only a regular file is used:
// a directory, a device or a pipe is refused before a byte is read or
// written (and opening one never waits), and so is a symbolic link as the
// file to write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace torvane {

class LogFile {
 public:
  enum class Use {
    Read,    // follows a symbolic link to a regular file
    Append,  // makes the file when missing (not its folder); the file stays locked against other writers
  };

  LogFile(const std::filesystem::path& path, Use use);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  bool isOpen() const { return handle_ != kClosed; }
  // Read: there is no such file (then not open and no error).
  bool missing() const { return missing_; }
  // Why the last step failed; empty while none has.
  const std::string& error() const { return error_; }
  // The file's size when it was opened.
  uint64_t size() const { return size_; }

  // The next bytes from the start, at most `capacity`; 0 at the end, or on a
  // failure (error() then says why).
  std::size_t read(char* buffer, std::size_t capacity);

  // The last byte of the file; none in an empty file or when it cannot be read.
  std::optional<char> lastByte();

  // Appends `bytes` at the end in one write. The write is whole or not at
  // all: when it fails or is cut short (a full disk, the file size limit, an
  // I/O error) the file is cut back to its size before it, and false.
  bool append(const std::string& bytes);

  // Closes the file; false (error() says why) when the host reports a failure.
  bool close();

 private:
  static constexpr std::intptr_t kClosed = -1;

  std::intptr_t handle_ = kClosed;  // a descriptor, or a Windows HANDLE
  bool missing_ = false;
  std::string error_;
  uint64_t size_ = 0;
};

// The texts of the refusals and of a write cut short.
inline constexpr char kNotRegularFile[] = "it is not a regular file";
inline constexpr char kSymbolicLink[] = "it is a symbolic link, not a regular file";
inline std::string shortWriteText(std::size_t written, std::size_t total) {
  return "only " + std::to_string(written) + " of " + std::to_string(total) + " bytes could be written";
}
inline constexpr char kNotCutBack[] = "; what was written stays: ";

}  // namespace torvane
