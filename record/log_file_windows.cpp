// LogFile on Windows file handles.
#include <windows.h>

#include <system_error>

#include "record/log_file.h"

namespace torvane {

namespace {

std::string reason(DWORD error) { return std::system_category().message(static_cast<int>(error)); }

HANDLE native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

LogFile::LogFile(const std::filesystem::path& path, Use use) {
  // Looked at first, so that a directory or a link is refused by name; the
  // opened handle is looked at again below (devices such as NUL or COM1).
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    const bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    if (absent && use == Use::Read) {
      missing_ = true;
      return;
    }
    if (!absent) {
      error_ = reason(error);
      return;
    }
  } else if (use == Use::Append && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    error_ = kSymbolicLink;
    return;
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error_ = kNotRegularFile;
    return;
  }
  const DWORD access = use == Use::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | (use == Use::Append ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  const HANDLE h = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               use == Use::Read ? OPEN_EXISTING : OPEN_ALWAYS, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = reason(GetLastError());
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  BY_HANDLE_FILE_INFORMATION info{};
  LARGE_INTEGER size{};
  if (GetFileType(h) != FILE_TYPE_DISK) {
    error_ = kNotRegularFile;
  } else if (!GetFileInformationByHandle(h, &info)) {
    error_ = reason(GetLastError());
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error_ = kNotRegularFile;
  } else if (use == Use::Append && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    error_ = kSymbolicLink;
  } else {
    // Other writers (the workers of a station) append one at a time, so that
    // a write cut back takes nothing of theirs.
    OVERLAPPED whole{};
    if (use == Use::Append) LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    if (!GetFileSizeEx(h, &size)) error_ = reason(GetLastError());
  }
  if (!error_.empty()) {
    close();
    return;
  }
  size_ = static_cast<uint64_t>(size.QuadPart);
}

LogFile::~LogFile() {
  if (isOpen()) CloseHandle(native(handle_));
}

std::size_t LogFile::read(char* buffer, std::size_t capacity) {
  DWORD n = 0;
  const DWORD most = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  if (ReadFile(native(handle_), buffer, most, &n, nullptr)) return n;
  error_ = reason(GetLastError());
  return 0;
}

std::optional<char> LogFile::lastByte() {
  if (size_ == 0) return {};
  OVERLAPPED at{};
  const uint64_t offset = size_ - 1;
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  char last = 0;
  DWORD n = 0;
  if (!ReadFile(native(handle_), &last, 1, &n, &at) || n != 1) return {};
  return last;
}

bool LogFile::append(const std::string& bytes) {
  const HANDLE h = native(handle_);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size_);
  DWORD written = 0;
  if (bytes.size() <= MAXDWORD && SetFilePointerEx(h, end, nullptr, FILE_BEGIN) &&
      WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size()) {
    return true;
  }
  error_ = written == 0 ? reason(GetLastError()) : shortWriteText(static_cast<std::size_t>(written), bytes.size());
  if (!SetFilePointerEx(h, end, nullptr, FILE_BEGIN) || !SetEndOfFile(h)) {
    error_ += kNotCutBack + reason(GetLastError());
  }
  return false;
}

bool LogFile::close() {
  const HANDLE h = native(handle_);
  handle_ = kClosed;
  if (h == INVALID_HANDLE_VALUE || CloseHandle(h)) return true;
  error_ = reason(GetLastError());
  return false;
}

}  // namespace torvane
