#include "serial/posix_port_host.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "serial/com_names.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

// ---- sysfs -----------------------------------------------------------------

// The first line of a small sysfs file without trailing blanks; empty when
// it cannot be read.
std::string firstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

template <typename Number>
std::optional<Number> parsed(const std::string& text, int base) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

bool isUartName(std::string_view name) {
  return name.size() > 4 && name.substr(0, 4) == "ttyS" && name[4] >= '0' && name[4] <= '9';
}

// A ttyS line that sysfs reports with a UART type (0 is "no UART there").
bool hasUart(const fs::path& entry) {
  const std::optional<int> type = parsed<int>(firstLine(entry / "type"), 10);
  return type && *type > 0;
}

bool inside(const fs::path& path, const fs::path& root) {
  const std::string& p = path.native();
  const std::string& r = root.native();
  return p.size() > r.size() && p.compare(0, r.size(), r) == 0 && p[r.size()] == '/';
}

// The USB device's own descriptors, from the nearest folder above the tty's
// device (an interface of the USB device) that has an idVendor file.
void describeUsb(const fs::path& device, const fs::path& sysRoot, PortDescription& port) {
  std::error_code ec;
  for (fs::path dir = device; inside(dir, sysRoot); dir = dir.parent_path()) {
    if (!fs::exists(dir / "idVendor", ec)) continue;
    port.vendorId = parsed<uint16_t>(firstLine(dir / "idVendor"), 16);
    port.productId = parsed<uint16_t>(firstLine(dir / "idProduct"), 16);
    port.manufacturer = firstLine(dir / "manufacturer");
    port.description = firstLine(dir / "product");
    port.serialNumber = firstLine(dir / "serial");
    return;
  }
}

// The port of one /sys/class/tty entry; none when it is not a serial port
// that can be opened.
std::optional<PortDescription> ttyPort(const fs::directory_entry& entry, const fs::path& sysRoot,
                                       const fs::path& devRoot) {
  std::error_code ec;
  const std::string name = entry.path().filename().string();
  if (!fs::is_symlink(entry.path() / "device", ec)) return std::nullopt;
  if (isUartName(name) && !hasUart(entry.path())) return std::nullopt;
  const fs::path node = devRoot / name;
  if (!fs::exists(node, ec)) return std::nullopt;
  PortDescription port;
  port.device = node.string();
  const fs::path device = fs::canonical(entry.path() / "device", ec);
  if (ec) return port;
  port.location = device.string();
  describeUsb(device, sysRoot, port);
  return port;
}

// ---- accounts and processes -------------------------------------------------------

std::string groupName(gid_t gid) {
  std::vector<char> buffer(16384);
  group entry{};
  group* found = nullptr;
  int rc = 0;
  while ((rc = ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  return rc == 0 && found != nullptr ? std::string(found->gr_name) : std::to_string(gid);
}

std::vector<uint32_t> groupsOf(const char* user, gid_t primary) {
  std::vector<gid_t> groups(64);
  int count = static_cast<int>(groups.size());
  while (::getgrouplist(user, primary, groups.data(), &count) < 0 && groups.size() < 65536) {
    groups.resize(std::max(static_cast<std::size_t>(count), groups.size() * 2));
    count = static_cast<int>(groups.size());
  }
  count = std::clamp(count, 0, static_cast<int>(groups.size()));
  return std::vector<uint32_t>(groups.begin(), groups.begin() + count);
}

bool isNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

// True when one of the process's open files is `target`; nothing when they cannot be read.
std::optional<bool> holds(const std::string& pid, const struct stat& target) {
  const std::string fdDir = "/proc/" + pid + "/fd";
  DIR* dir = ::opendir(fdDir.c_str());
  if (dir == nullptr) return std::nullopt;
  bool found = false;
  for (const dirent* entry = ::readdir(dir); entry != nullptr && !found; entry = ::readdir(dir)) {
    struct stat st {};
    if (!isNumber(entry->d_name) || ::stat((fdDir + "/" + entry->d_name).c_str(), &st) != 0) continue;
    found = S_ISCHR(target.st_mode) ? S_ISCHR(st.st_mode) && st.st_rdev == target.st_rdev
                                    : st.st_dev == target.st_dev && st.st_ino == target.st_ino;
  }
  ::closedir(dir);
  return found;
}

// The command name (the program's own choice of text).
std::string commandName(const std::string& pid) {
  std::ifstream file("/proc/" + pid + "/comm");
  std::string name;
  std::getline(file, name);
  return printableText(name);
}

}  // namespace

PosixPortHost::PosixPortHost(fs::path sysRoot, fs::path devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

std::vector<PortDescription> PosixPortHost::serialPorts() const {
  std::vector<PortDescription> ports;
  std::error_code ec;
  const fs::path root = fs::canonical(sysRoot_, ec);
  if (ec) return ports;
  for (const fs::directory_entry& entry : fs::directory_iterator(root / "class" / "tty", ec)) {
    if (std::optional<PortDescription> port = ttyPort(entry, root, devRoot_)) ports.push_back(std::move(*port));
  }
  return ports;
}

std::string PosixPortHost::canonicalDevice(const std::string& device) const {
  char resolved[PATH_MAX];
  return ::realpath(device.c_str(), resolved) != nullptr ? std::string(resolved) : device;
}

bool PosixPortHost::devicePresent(const std::string& device) const {
  struct stat st {};
  return !device.empty() && ::stat(device.c_str(), &st) == 0;
}

std::optional<DeviceAccess> PosixPortHost::deviceAccess(const std::string& device) const {
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return std::nullopt;
  return DeviceAccess{static_cast<uint32_t>(st.st_gid), groupName(st.st_gid), static_cast<uint32_t>(st.st_mode & 0777)};
}

std::vector<uint32_t> PosixPortHost::databaseGroups() const {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  return groupsOf(found->pw_name, found->pw_gid);
}

std::vector<uint32_t> PosixPortHost::processGroups() const {
  const int count = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
  const int got = groups.empty() ? 0 : ::getgroups(static_cast<int>(groups.size()), groups.data());
  std::vector<uint32_t> result(groups.begin(), groups.begin() + std::max(got, 0));
  result.push_back(static_cast<uint32_t>(::getegid()));
  return result;
}

bool PosixPortHost::mayReadWrite(const std::string& device) const { return ::access(device.c_str(), R_OK | W_OK) == 0; }

std::vector<PortHolder> PosixPortHost::holders(const std::string& device,
                                               const std::vector<std::string>& suspects) const {
  std::vector<PortHolder> holders;
  struct stat target {};
  if (::stat(device.c_str(), &target) != 0) return holders;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return holders;
  const long self = static_cast<long>(::getpid());
  while (const dirent* entry = ::readdir(proc)) {
    if (!isNumber(entry->d_name)) continue;
    const std::optional<bool> held = holds(entry->d_name, target);
    if (held == false) continue;
    const std::string name = commandName(entry->d_name);
    if (!held && std::find(suspects.begin(), suspects.end(), name) == suspects.end()) continue;
    const long pid = std::strtol(entry->d_name, nullptr, 10);
    holders.push_back(PortHolder{pid, name, pid == self, held.has_value()});
  }
  ::closedir(proc);
  return holders;
}

const PortHost& systemPortHost() {
  static const PosixPortHost host;
  return host;
}

}  // namespace torvane
