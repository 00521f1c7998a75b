// The host look-ups on Windows.
//
// The serial ports are the values of a registry key, by default
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, where each value's data
// names one port ("COM3", "COM12"). A device's canonical name is its name in
// upper case; it is present when the key lists it or it opens. Windows has
// no device groups to name, refuses a port in use with "access denied" (so
// a refusal always means "in use"), and does not tell who holds a port.
#pragma once

#include <string>

#include "serial/port_host.h"

namespace torvane {

class Win32PortHost final : public PortHost {
 public:
  enum class Hive { LocalMachine, CurrentUser };

  // The key that lists the ports; a test gives one of its own.
  explicit Win32PortHost(Hive hive = Hive::LocalMachine, std::string key = "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                         std::string ftdiKey = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS");

  std::vector<PortDescription> serialPorts() const override;
  std::string canonicalDevice(const std::string& device) const override;
  bool devicePresent(const std::string& device) const override;
  std::optional<DeviceAccess> deviceAccess(const std::string&) const override { return std::nullopt; }
  std::vector<uint32_t> databaseGroups() const override { return {}; }
  std::vector<uint32_t> processGroups() const override { return {}; }
  bool mayReadWrite(const std::string&) const override { return true; }
  std::vector<PortHolder> holders(const std::string&, const std::vector<std::string>&) const override { return {}; }
  // FTDI's driver: the LatencyTimer value in the Device Parameters key of
  // the FTDIBUS device whose PortName is `device` (under the enumeration
  // key, HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS, unless a test gives another).
  std::optional<int> latencyTimerMs(const std::string& device) const override;

 private:
  Hive hive_;
  std::string key_;
  std::string ftdiKey_;
};

}  // namespace torvane
