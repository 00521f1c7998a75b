// What the host tells about its serial ports: which ports it has, who may
// open a device, and which programs hold one. Every look-up answers what it
// can and leaves out what it cannot read; none of them throws.
//
// The port layer asks only through this interface: systemPortHost() is the
// platform's own (POSIX: sysfs, /dev, the group database and /proc; Windows:
// the registry), and a test gives its own answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "context/port_description.h"

namespace torvane {

// Group and permission bits of a device node.
struct DeviceAccess {
  uint32_t gid = 0;
  std::string group;  // the group's name, or its number when it has none
  uint32_t mode = 0;  // permission bits, 0777 masked
};

// A process that holds a device open.
struct PortHolder {
  long pid = 0;
  std::string name;     // its command name
  bool self = false;    // this program
  bool certain = true;  // false: its open files could not be read; it is named as a likely holder
};

class PortHost {
 public:
  virtual ~PortHost() = default;

  // The host's serial ports, in no particular order (com_names.h orders them).
  virtual std::vector<PortDescription> serialPorts() const = 0;

  // The device that `device` finally stands for (Linux: symbolic links
  // resolved; Windows: the name in upper case); `device` itself when that
  // cannot be told.
  virtual std::string canonicalDevice(const std::string& device) const = 0;

  // True when `device` is there now.
  virtual bool devicePresent(const std::string& device) const = 0;

  // Group and mode of the device node; none where the host has no such thing.
  virtual std::optional<DeviceAccess> deviceAccess(const std::string& device) const = 0;

  // The user's groups as the group database lists them now, and the groups
  // this process runs with (fixed at login).
  virtual std::vector<uint32_t> databaseGroups() const = 0;
  virtual std::vector<uint32_t> processGroups() const = 0;

  // True when this process may read and write `device`.
  virtual bool mayReadWrite(const std::string& device) const = 0;

  // The latency timer of a USB adapter, in milliseconds: how long it holds
  // received bytes before passing them on (FTDI adapters: 16 by default).
  // None when the device has none or it cannot be read.
  virtual std::optional<int> latencyTimerMs(const std::string& device) const {
    (void)device;
    return std::nullopt;
  }

  // Every process with `device` open. A process whose open files cannot be
  // read is listed (not certain) only when its name is one of `suspects`.
  virtual std::vector<PortHolder> holders(const std::string& device,
                                          const std::vector<std::string>& suspects) const = 0;
};

// The platform's host, for the life of the program.
const PortHost& systemPortHost();

}  // namespace torvane
