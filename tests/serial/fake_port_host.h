// A host that tells the port layer only what a test gives it, shared by the
// tests of the fault texts, the COM map and the Qt port.
#pragma once

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "serial/port_host.h"
#include "tests/support/host.h"

namespace torvane::testing {

struct FakePortHost final : PortHost {
  std::vector<PortDescription> ports;         // the serial ports it lists
  std::map<std::string, std::string> links;   // a name -> the device it stands for
  std::set<std::string> present;              // devices that are there besides the listed ones
  std::optional<DeviceAccess> access;         // of every device
  std::vector<uint32_t> database, process;    // the user's groups
  bool readWrite = false;                     // may read and write every device
  std::vector<PortHolder> holding;            // hold every device
  mutable std::vector<std::string> askedFor;  // the devices whose holders were asked for

  std::vector<PortDescription> serialPorts() const override { return ports; }
  std::string canonicalDevice(const std::string& device) const override {
    const auto link = links.find(device);
    return link == links.end() ? device : link->second;
  }
  bool devicePresent(const std::string& device) const override { return present.count(device) == 1; }
  std::optional<DeviceAccess> deviceAccess(const std::string&) const override { return access; }
  std::vector<uint32_t> databaseGroups() const override { return database; }
  std::vector<uint32_t> processGroups() const override { return process; }
  bool mayReadWrite(const std::string&) const override { return readWrite; }
  std::vector<PortHolder> holders(const std::string& device, const std::vector<std::string>&) const override {
    askedFor.push_back(device);
    return holding;
  }
};

// Clears TORVANE_COM1..9 for its lifetime, so that the COM map is the host's
// alone whatever the test's environment holds.
class NoComVariables {
 public:
  NoComVariables() {
    for (int n = 1; n <= 9; ++n) {
      const std::string name = "TORVANE_COM" + std::to_string(n);
      if (const char* value = std::getenv(name.c_str())) saved_[name] = value;
      test::setEnvironmentVariable(name, "");
    }
  }
  ~NoComVariables() {
    for (int n = 1; n <= 9; ++n) {
      const std::string name = "TORVANE_COM" + std::to_string(n);
      const auto saved = saved_.find(name);
      test::setEnvironmentVariable(name, saved == saved_.end() ? std::string() : saved->second);
    }
  }
  NoComVariables(const NoComVariables&) = delete;
  NoComVariables& operator=(const NoComVariables&) = delete;

 private:
  std::map<std::string, std::string> saved_;
};

inline PortDescription describedPort(const std::string& device, const std::string& location = {}) {
  PortDescription port;
  port.device = device;
  port.location = location;
  return port;
}

}  // namespace torvane::testing
