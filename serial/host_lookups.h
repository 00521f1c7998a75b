// What the host tells about its serial ports: which ports it has, who may
// open a device, and which programs hold one. Every function answers what
// it can and leaves out what it cannot read; none of them throws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serial/com_names.h"

namespace torvane {

// The host's serial ports as QSerialPortInfo lists them, each with its
// location. On Linux, on-board UARTs that Qt leaves out because it cannot
// open them right now (in use, no permission) are added from sysfs, so the
// COM numbering does not shift while one of them is busy.
std::vector<PortDescription> hostSerialPorts();

// The path `device` finally stands for (symbolic links resolved); `device`
// itself when it cannot be resolved.
std::string canonicalDevice(const std::string& device);

// True when `device` is there (a path that exists, or a port the host lists).
bool devicePresent(const ComAssignment& entry);

// Group and permission bits of a device node.
struct DeviceAccess {
  uint32_t gid = 0;
  std::string group;  // the group's name, or its number when it has none
  uint32_t mode = 0;  // permission bits, 0777 masked
};
std::optional<DeviceAccess> deviceAccess(const std::string& device);

// The user's groups as the group database lists them now, and the groups
// this process runs with (fixed at login).
std::vector<uint32_t> databaseGroups();
std::vector<uint32_t> processGroups();

// True when this process may read and write `device`.
bool mayReadWrite(const std::string& device);

// A process that holds a device open.
struct PortHolder {
  long pid = 0;
  std::string name;     // its command name
  bool self = false;    // this program
  bool certain = true;  // false: its open files could not be read; it is named as a likely holder
};

// Every process with `device` open. A process whose open files cannot be
// read is listed (not certain) only when its name is one of `suspects`.
std::vector<PortHolder> deviceHolders(const std::string& device, const std::vector<std::string>& suspects);

}  // namespace torvane
