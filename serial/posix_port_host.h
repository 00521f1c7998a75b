// The host look-ups on Linux and other POSIX systems.
//
// The serial ports come from sysfs: every entry of <sys>/class/tty with a
// `device` link whose node /dev/<name> exists; on-board UARTs (ttyS*) only
// when sysfs gives them a UART type (0 means "no UART there"). A USB port
// takes its manufacturer, product (the description), ids and serial number
// from the nearest folder above its resolved device link that has an
// idVendor file. The location is the resolved device link: it names the bus
// and the socket.
#pragma once

#include <filesystem>

#include "serial/port_host.h"

namespace torvane {

class PosixPortHost final : public PortHost {
 public:
  // Where sysfs is mounted and where the device nodes are; a test gives a
  // tree of its own.
  explicit PosixPortHost(std::filesystem::path sysRoot = "/sys", std::filesystem::path devRoot = "/dev");

  std::vector<PortDescription> serialPorts() const override;
  std::string canonicalDevice(const std::string& device) const override;
  bool devicePresent(const std::string& device) const override;
  std::optional<DeviceAccess> deviceAccess(const std::string& device) const override;
  std::vector<uint32_t> databaseGroups() const override;
  std::vector<uint32_t> processGroups() const override;
  bool mayReadWrite(const std::string& device) const override;
  std::vector<PortHolder> holders(const std::string& device, const std::vector<std::string>& suspects) const override;

 private:
  std::filesystem::path sysRoot_;
  std::filesystem::path devRoot_;
};

}  // namespace torvane
