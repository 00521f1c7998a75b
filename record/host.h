// What the update log needs of the host beside its files: the environment,
// the computer's name, the local time with its offset from UTC, paths as
// UTF-8 text, and the signal of the file size limit. Texts are UTF-8 on
// every host.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

namespace torvane {

// The value of an environment variable; empty when it is unset or empty.
using EnvLookup = std::function<std::string(const std::string& name)>;

// The process's own environment.
std::string processEnvironment(const std::string& name);

// The computer's name; empty when the host does not tell.
std::string hostName();

// The account: USER, LOGNAME or USERNAME, the first that is set; empty
// when none is.
std::string userName(const EnvLookup& environment);

// ISO 8601 to the second with the offset from UTC ("2025-03-04T09:15:00+01:00"),
// from a local time and its offset east of UTC in seconds.
std::string isoWithOffset(const std::tm& local, long offsetSeconds);

// The system clock's time now, in local time, as isoWithOffset writes it.
std::string localTimeNow();

// A path as text with the host's separators, and text as a path. On Linux a
// path is its bytes, whatever they are; on Windows, UTF-16 and UTF-8.
std::string pathText(const std::filesystem::path& path);
std::filesystem::path pathFromText(const std::string& text);

// A write past the file size limit (RLIMIT_FSIZE) then fails with EFBIG
// instead of killing the process with SIGXFSZ. A program's main calls it at
// start; nothing to do on Windows, which has no such limit.
void ignoreFileSizeSignal();

}  // namespace torvane
