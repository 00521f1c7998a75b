#include "serial/port_faults.h"

#include <algorithm>

#include "serial/com_names.h"

namespace torvane {
namespace {

// A device that the operator named by its path, not by a COM number: the
// messages name that path alone, never a COM number of ours, and where the
// advice would be to set TORVANE_COMn, it goes by the path.
bool namedByPath(const PortId& port) { return port.byPath && !port.device.empty(); }

// "COM3", or the path of a port named by it.
std::string com(const PortId& port) { return namedByPath(port) ? port.device : "COM" + std::to_string(port.com); }

// "COM3 (/dev/ttyS2)", or the path of a port named by it.
std::string label(const PortId& port) { return namedByPath(port) ? port.device : comLabel(port.com, port.device); }

std::string because(const std::string& systemText) {
  return systemText.empty() ? std::string() : " (" + systemText + ")";
}

const char* doing(PortStep step) {
  switch (step) {
    case PortStep::Select: return "selecting the port";
    case PortStep::Open: return "opening";
    case PortStep::Configure: return "changing the line settings";
    case PortStep::Send: return "sending";
    case PortStep::Read: return "reading";
    case PortStep::Queue: return "using the transmit queue";
  }
  return "using the port";
}

// "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
    text += items[i];
  }
  return text;
}

// ---- absent ------------------------------------------------------------------

// The ports of the COM map whose device is there now.
std::vector<std::string> presentLabels(const PortHost& host) {
  std::vector<std::string> labels;
  for (const ComAssignment& entry : comMap(host)) {
    if (entry.port || host.devicePresent(entry.device)) labels.push_back(comLabel(entry.com, entry.device));
  }
  return labels;
}

std::string presentSentence(const std::vector<std::string>& labels) {
  if (labels.empty()) return "No serial port is present.";
  return std::string(labels.size() == 1 ? "The port present is " : "The ports present are ") + listed(labels) + ".";
}

Fault absentFault(const PortId& port, const PortHost& host) {
  const std::vector<std::string> present = presentLabels(host);
  if (namedByPath(port)) {
    const char* advice =
        present.empty() ? ". Connect the adapter. " : ". Connect the adapter or choose one of the ports present. ";
    return Fault(fault::kPortInvalid, port.device + " does not exist" + advice + presentSentence(present), kPortSource);
  }
  const std::string what =
      port.device.empty() ? com(port) + " has no serial device behind it" : label(port) + " does not exist";
  return Fault(fault::kPortInvalid,
               what + ". Connect the adapter or set TORVANE_COM" + std::to_string(port.com) + " to its device. " +
                   presentSentence(present),
               kPortSource);
}

// ---- busy --------------------------------------------------------------------

struct Prober {
  const char* name;
  const char* advice;
};

// Programs that take serial adapters for their own purposes, and the cure.
constexpr Prober kProbers[] = {
    {"ModemManager",
     "ModemManager probes new serial adapters: stop it with sudo systemctl stop ModemManager, or remove it with "
     "sudo apt remove modemmanager if this computer uses no mobile modem, then try again."},
    {"brltty",
     "brltty, a braille display driver, takes CH340 and CP210x adapters: remove it with sudo apt remove brltty, "
     "then plug the adapter in again."},
};

std::string holderName(const PortHolder& holder) {
  return (holder.self ? std::string("this program") : holder.name) + " (process " + std::to_string(holder.pid) + ")";
}

const Prober* proberAmong(const std::vector<PortHolder>& holders) {
  for (const Prober& prober : kProbers) {
    if (std::any_of(holders.begin(), holders.end(), [&](const PortHolder& h) { return h.name == prober.name; })) {
      return &prober;
    }
  }
  return nullptr;
}

std::string busyCause(const PortId& port, const std::vector<PortHolder>& holders) {
  std::vector<std::string> certain, likely;
  for (const PortHolder& h : holders) (h.certain ? certain : likely).push_back(holderName(h));
  if (!certain.empty()) return label(port) + " is in use by " + listed(certain) + ".";
  const std::string text = label(port) + " is in use by another program.";
  if (likely.empty()) return text;
  return text + " " + listed(likely) + (likely.size() == 1 ? " is" : " are") + " running and may hold it.";
}

std::string busyAdvice(const std::vector<PortHolder>& holders) {
  if (const Prober* prober = proberAmong(holders)) return prober->advice;
  const bool onlySelf = !holders.empty() && std::all_of(holders.begin(), holders.end(),
                                                        [](const PortHolder& h) { return h.self && h.certain; });
  if (onlySelf) return "Close it there first, or restart the program.";
  return "Close that program and try again.";
}

std::vector<std::string> proberNames() {
  std::vector<std::string> names;
  for (const Prober& prober : kProbers) names.emplace_back(prober.name);
  return names;
}

// A device held under another of its names is named by the device itself.
Fault busyFault(const PortId& port, const PortHost& host) {
  PortId real = port;
  if (!port.device.empty()) real.device = host.canonicalDevice(port.device);
  const std::vector<PortHolder> holders =
      real.device.empty() ? std::vector<PortHolder>() : host.holders(real.device, proberNames());
  return Fault(fault::kPortAlreadyOpen, busyCause(real, holders) + " " + busyAdvice(holders), kPortSource);
}

// ---- permission ----------------------------------------------------------------

bool hasGroup(const std::vector<uint32_t>& groups, uint32_t gid) {
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::string octal(uint32_t mode) {
  std::string text = "0000";
  for (int i = 3; i >= 1; --i, mode >>= 3) text[static_cast<std::size_t>(i)] = static_cast<char>('0' + (mode & 7));
  return text;
}

std::string unknownGroupAdvice() {
#ifdef __linux__
  return "Add your user to the dialout group (sudo usermod -aG dialout $USER), then log out and in again.";
#else
  return "Ask the administrator for permission to use the port.";
#endif
}

// Why the user may not open a device of group `access`, and what helps.
std::string groupAdvice(const DeviceAccess& access, const PortHost& host) {
  const std::string& g = access.group;
  const std::string device = "The device (group " + g + ", mode " + octal(access.mode) + ")";
  if ((access.mode & 006) == 006 || ((access.mode & 060) == 060 && hasGroup(host.processGroups(), access.gid))) {
    return device +
           " is open to this login, so a security policy (AppArmor, SELinux, a snap or Flatpak sandbox) may be "
           "blocking it.";
  }
  if ((access.mode & 060) != 060 || access.gid == 0) {
    return device +
           " does not let a group of users read and write it: ask the administrator for access, or choose another "
           "port.";
  }
  if (hasGroup(host.databaseGroups(), access.gid)) {
    return "The device belongs to the group " + g + ", and you were added to " + g +
           " after this login: log out and in again (or restart) to use it.";
  }
  return "The device belongs to the group " + g + " and your user is not in it: add it with sudo usermod -aG " + g +
         " $USER, then log out and in again.";
}

Fault permissionFault(const PortId& port, const std::string& systemText, const PortHost& host) {
  // A refusal on a device that we may read and write means that another
  // program holds it (an exclusive open or a lock file).
  if (host.mayReadWrite(port.device)) return busyFault(port, host);
  const std::optional<DeviceAccess> access = host.deviceAccess(port.device);
  return Fault(fault::kPortPermission,
               "Access to " + label(port) + " was denied" + because(systemText) + ". " +
                   (access ? groupAdvice(*access, host) : unknownGroupAdvice()),
               kPortSource);
}

}  // namespace

Fault portFault(PortError error, PortStep step, const PortId& port, const std::string& systemText,
                const PortHost& host) {
  switch (error) {
    case PortError::NoDevice:
      if (step == PortStep::Select) {
        return Fault(fault::kPortInvalid, com(port) + " is not a valid port number. Choose a port from COM1 to COM9.",
                     kPortSource);
      }
      return absentFault(port, host);
    case PortError::AccessDenied: return permissionFault(port, systemText, host);
    case PortError::InUse: return busyFault(port, host);
    case PortError::AlreadyOpen:
      if (step == PortStep::Select) {
        return Fault(fault::kPortAlreadyOpen, com(port) + " is open. Close it before choosing another port.",
                     kPortSource);
      }
      return Fault(fault::kPortAlreadyOpen, label(port) + " is already open.", kPortSource);
    case PortError::NotOpen:
      return Fault(fault::kPortNotOpen, com(port) + " is not open. Open the port before " + doing(step) + ".",
                   kPortSource);
    case PortError::DeviceGone:
      return Fault(fault::kPortVanished,
                   "The serial device behind " + label(port) + " went away" + because(systemText) +
                       ". Check the cable and the adapter, then start again.",
                   kPortSource);
    case PortError::Unsupported:
      if (step == PortStep::Open) {
        const bool byPath = namedByPath(port);
        const std::string check = byPath ? std::string("the path") : "TORVANE_COM" + std::to_string(port.com);
        return Fault(fault::kPortInvalid,
                     (byPath ? port.device : label(port)) + " is not a serial port" + because(systemText) + ". Check " +
                         check + " or choose another port.",
                     kPortSource);
      }
      return Fault(fault::kPortIo, label(port) + " does not support " + doing(step) + because(systemText) + ".",
                   kPortSource);
    case PortError::ReadFailed:
    case PortError::WriteFailed:
    case PortError::Other: break;
  }
  return Fault(fault::kPortIo,
               "The serial port " + label(port) + " failed while " + doing(step) + because(systemText) +
                   ". Check the cable and the adapter, then try again.",
               kPortSource);
}

std::string latencyAdvice(const PortId& port, int latencyMs) {
  if (latencyMs <= kLongestGoodLatencyMs) return {};
  const std::string name = port.device.empty() ? com(port) : port.device;
  return label(port) + " is a USB adapter that holds what the machine sends for " + std::to_string(latencyMs) +
         " ms before passing it on, so every frame of an update waits that long for its answer. To lower it: Device "
         "Manager, Ports (COM & LPT), USB Serial Port (" +
         name +
         "), Properties, Port Settings, Advanced, Latency Timer (msec): 1 or 2; then unplug the adapter and plug it "
         "in again. This program never changes the setting itself.";
}

}  // namespace torvane
