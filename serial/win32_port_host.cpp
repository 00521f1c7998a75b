#include "serial/win32_port_host.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

namespace torvane {
namespace {

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// The names the key's string values hold, in the key's order.
std::vector<std::string> portNames(HKEY hive, const std::string& key) {
  std::vector<std::string> names;
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(hive, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return names;
  for (DWORD index = 0;; ++index) {
    char valueName[256];
    DWORD nameLength = sizeof valueName;
    BYTE data[256];
    DWORD dataLength = sizeof data - 1;  // room for a terminating NUL the data may lack
    DWORD type = 0;
    const LONG rc = ::RegEnumValueA(opened, index, valueName, &nameLength, nullptr, &type, data, &dataLength);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || type != REG_SZ) continue;  // a value too long for a port name is none
    data[dataLength] = 0;
    std::string name(reinterpret_cast<const char*>(data));
    if (!name.empty()) names.push_back(name);
  }
  ::RegCloseKey(opened);
  return names;
}

// "COM12" opens as \\.\COM12; a name given with that prefix as it is.
std::string devicePath(const std::string& device) {
  return device.rfind("\\\\.\\", 0) == 0 ? device : "\\\\.\\" + device;
}

}  // namespace

Win32PortHost::Win32PortHost(Hive hive, std::string key, std::string ftdiKey)
    : hive_(hive), key_(std::move(key)), ftdiKey_(std::move(ftdiKey)) {}

namespace {

std::vector<std::string> subkeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD length = sizeof name;
    const LONG rc = ::RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_SUCCESS) names.emplace_back(name, length);
  }
  return names;
}

// FTDIBUS\<device>\<instance>\Device Parameters of the port named `port`.
std::optional<int> latencyOf(HKEY ftdi, const std::string& port) {
  for (const std::string& device : subkeys(ftdi)) {
    HKEY deviceKey = nullptr;
    if (::RegOpenKeyExA(ftdi, device.c_str(), 0, KEY_READ, &deviceKey) != ERROR_SUCCESS) continue;
    std::optional<int> found;
    for (const std::string& instance : subkeys(deviceKey)) {
      const std::string path = instance + "\\Device Parameters";
      char name[64] = {};
      DWORD nameLength = sizeof name - 1;
      DWORD latency = 0;
      DWORD latencyLength = sizeof latency;
      if (::RegGetValueA(deviceKey, path.c_str(), "PortName", RRF_RT_REG_SZ, nullptr, name, &nameLength) !=
              ERROR_SUCCESS ||
          upper(name) != port) {
        continue;
      }
      if (::RegGetValueA(deviceKey, path.c_str(), "LatencyTimer", RRF_RT_REG_DWORD, nullptr, &latency,
                         &latencyLength) == ERROR_SUCCESS) {
        found = static_cast<int>(latency);
      }
      break;
    }
    ::RegCloseKey(deviceKey);
    if (found) return found;
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> Win32PortHost::latencyTimerMs(const std::string& device) const {
  std::string port = canonicalDevice(device);
  if (port.rfind("\\\\.\\", 0) == 0) port.erase(0, 4);
  HKEY ftdi = nullptr;
  if (::RegOpenKeyExA(hive_ == Hive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, ftdiKey_.c_str(), 0,
                      KEY_READ, &ftdi) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const std::optional<int> latency = latencyOf(ftdi, port);
  ::RegCloseKey(ftdi);
  return latency;
}

std::vector<PortDescription> Win32PortHost::serialPorts() const {
  std::vector<PortDescription> ports;
  for (const std::string& name :
       portNames(hive_ == Hive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, key_)) {
    PortDescription port;
    port.device = name;
    ports.push_back(port);
  }
  return ports;
}

std::string Win32PortHost::canonicalDevice(const std::string& device) const { return upper(device); }

bool Win32PortHost::devicePresent(const std::string& device) const {
  if (device.empty()) return false;
  const std::string name = canonicalDevice(device);
  const std::vector<PortDescription> listed = serialPorts();
  if (std::any_of(listed.begin(), listed.end(), [&](const PortDescription& p) { return upper(p.device) == name; })) {
    return true;
  }
  const HANDLE handle =
      ::CreateFileA(devicePath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

const PortHost& systemPortHost() {
  static const Win32PortHost host;
  return host;
}

}  // namespace torvane
