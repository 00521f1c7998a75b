// One serial port as the host describes it: plain data that the port layer
// fills in and a front end may show or record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace torvane {

// Empty text or no id: the host does not tell.
struct PortDescription {
  std::string device;        // "/dev/ttyUSB0"; "COM3" on Windows
  std::string description;   // "FT232R USB UART"
  std::string manufacturer;  // "FTDI"
  std::optional<uint16_t> vendorId;
  std::optional<uint16_t> productId;
  std::string serialNumber;
  std::string location;  // where it is plugged in (Linux: resolved /sys/class/tty/<name>/device)

  bool operator==(const PortDescription&) const = default;
};

}  // namespace torvane
