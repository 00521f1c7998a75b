#include "record/update_log.h"

#include <system_error>

#include "record/log_file.h"

namespace torvane {

namespace fs = std::filesystem;

fs::path defaultLogPath(const EnvLookup& environment) {
#ifdef _WIN32
  std::string base = environment("LOCALAPPDATA");
  if (base.empty()) base = environment("USERPROFILE") + "\\AppData\\Local";
  return pathFromText(base) / "TorVane" / "updates.jsonl";
#else
  fs::path base = pathFromText(environment("XDG_STATE_HOME"));
  if (base.empty() || base.is_relative()) {
    const std::string home = environment("HOME");
    base = fs::path(home.empty() ? "/" : home) / ".local" / "state";
  }
  return base / "torvane-update" / "updates.jsonl";
#endif
}

std::string appendLine(const fs::path& log, const std::string& line) {
  const fs::path folder = log.parent_path();
  std::error_code ec;
  if (!folder.empty() && !fs::is_directory(folder, ec)) fs::create_directories(folder, ec);
  if (!folder.empty() && !fs::is_directory(folder, ec)) {  // another writer may have made it meanwhile
    const fs::path shown = fs::absolute(folder, ec);
    return "the folder " + pathText(ec ? folder : shown) + " cannot be made";
  }
  LogFile file(log, LogFile::Use::Append);
  if (!file.isOpen()) return file.error();
  std::string bytes;
  if (const std::optional<char> last = file.lastByte(); last && *last != '\n') bytes = "\n";
  bytes += line;
  bytes += '\n';
  if (!file.append(bytes) || !file.close()) return file.error();
  return {};
}

}  // namespace torvane
