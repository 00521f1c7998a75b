#include "serial/host_lookups.h"

#include <QSerialPortInfo>
#include <algorithm>

#ifndef _WIN32
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#endif

namespace torvane {
namespace {

// The resolved sysfs path of a tty's device: it names the bus and socket.
std::string sysfsLocation(const std::string& name) {
#ifdef __linux__
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return {};
  const std::string link = "/sys/class/tty/" + name + "/device";
  char resolved[PATH_MAX];
  return ::realpath(link.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
#else
  (void)name;
  return {};
#endif
}

PortDescription describe(const QSerialPortInfo& info) {
  PortDescription port;
#ifdef _WIN32
  port.device = info.portName().toStdString();
#else
  port.device = info.systemLocation().toStdString();
#endif
  port.description = info.description().toStdString();
  port.manufacturer = info.manufacturer().toStdString();
  if (info.hasVendorIdentifier()) port.vendorId = info.vendorIdentifier();
  if (info.hasProductIdentifier()) port.productId = info.productIdentifier();
  port.serialNumber = info.serialNumber().toStdString();
  port.location = sysfsLocation(info.portName().toStdString());
  return port;
}

#ifdef __linux__
// A ttyS line that sysfs reports with a UART type (0 is "no UART there").
bool isUart(const std::string& name) {
  if (name.size() < 5 || name.compare(0, 4, "ttyS") != 0 || name[4] < '0' || name[4] > '9') return false;
  std::ifstream typeFile("/sys/class/tty/" + name + "/type");
  int type = 0;
  return static_cast<bool>(typeFile >> type) && type > 0;
}

// Qt lists an 8250 UART only when it can open it at that moment.
void addUnlistedUarts(std::vector<PortDescription>& ports) {
  DIR* dir = ::opendir("/sys/class/tty");
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    const std::string device = "/dev/" + name;
    if (!isUart(name) || ::access(device.c_str(), F_OK) != 0) continue;
    const bool listed = std::any_of(ports.begin(), ports.end(), [&](const auto& p) { return p.device == device; });
    if (!listed) ports.push_back(PortDescription{device, {}, {}, {}, {}, {}, sysfsLocation(name)});
  }
  ::closedir(dir);
}
#endif

#ifndef _WIN32
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
#endif

}  // namespace

std::vector<PortDescription> hostSerialPorts() {
  std::vector<PortDescription> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) ports.push_back(describe(info));
#ifdef __linux__
  addUnlistedUarts(ports);
#endif
  return ports;
}

#ifdef _WIN32

std::string canonicalDevice(const std::string& device) { return device; }
bool devicePresent(const ComAssignment& entry) { return entry.port.has_value(); }
std::optional<DeviceAccess> deviceAccess(const std::string&) { return std::nullopt; }
std::vector<uint32_t> databaseGroups() { return {}; }
std::vector<uint32_t> processGroups() { return {}; }
bool mayReadWrite(const std::string&) { return true; }  // Windows reports "access denied" for a port in use
std::vector<PortHolder> deviceHolders(const std::string&, const std::vector<std::string>&) { return {}; }

#else

std::string canonicalDevice(const std::string& device) {
  char resolved[PATH_MAX];
  return ::realpath(device.c_str(), resolved) != nullptr ? std::string(resolved) : device;
}

bool devicePresent(const ComAssignment& entry) {
  struct stat st {};
  return entry.port.has_value() || (!entry.device.empty() && ::stat(entry.device.c_str(), &st) == 0);
}

std::optional<DeviceAccess> deviceAccess(const std::string& device) {
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return std::nullopt;
  return DeviceAccess{static_cast<uint32_t>(st.st_gid), groupName(st.st_gid), static_cast<uint32_t>(st.st_mode & 0777)};
}

std::vector<uint32_t> databaseGroups() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  return groupsOf(found->pw_name, found->pw_gid);
}

std::vector<uint32_t> processGroups() {
  const int count = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
  const int got = groups.empty() ? 0 : ::getgroups(static_cast<int>(groups.size()), groups.data());
  std::vector<uint32_t> result(groups.begin(), groups.begin() + std::max(got, 0));
  result.push_back(static_cast<uint32_t>(::getegid()));
  return result;
}

bool mayReadWrite(const std::string& device) { return ::access(device.c_str(), R_OK | W_OK) == 0; }

std::vector<PortHolder> deviceHolders(const std::string& device, const std::vector<std::string>& suspects) {
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

#endif

}  // namespace torvane
