#include "serial/com_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>

namespace torvane {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t digitsEnd(std::string_view text, std::size_t from) {
  while (from < text.size() && isDigit(text[from])) ++from;
  return from;
}

// -1, 0 or 1 as the two runs of digits compare as numbers (of any length).
int compareNumbers(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

// Text order in which runs of digits compare as numbers: ttyS2 < ttyS10.
int compareNatural(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      const std::size_t endA = digitsEnd(a, i), endB = digitsEnd(b, j);
      if (const int c = compareNumbers(a.substr(i, endA - i), b.substr(j, endB - j)); c != 0) return c;
      i = endA;
      j = endB;
    } else if (a[i] != b[j]) {
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    } else {
      ++i;
      ++j;
    }
  }
  if (a.size() - i == b.size() - j) return 0;
  return a.size() - i < b.size() - j ? -1 : 1;
}

std::string_view baseName(std::string_view device) {
  const std::size_t slash = device.find_last_of('/');
  return slash == std::string_view::npos ? device : device.substr(slash + 1);
}

bool isFamily(std::string_view name, std::string_view prefix) {
  return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix && isDigit(name[prefix.size()]);
}

// 0 on-board UARTs, 1 USB adapters, 2 ACM devices, 3 any other.
int portGroup(const PortDescription& port) {
  const std::string_view name = baseName(port.device);
  if (isFamily(name, "ttyS")) return 0;
  if (isFamily(name, "ttyUSB")) return 1;
  if (isFamily(name, "ttyACM")) return 2;
  return 3;
}

// The documented order of the host's ports. UARTs go by number alone; the
// others by location first (a port whose location is unknown after those
// with one), then by name.
bool comesBefore(const PortDescription& a, const PortDescription& b) {
  if (portGroup(a) != portGroup(b)) return portGroup(a) < portGroup(b);
  if (portGroup(a) != 0) {
    if (a.location.empty() != b.location.empty()) return b.location.empty();
    if (const int c = compareNatural(a.location, b.location); c != 0) return c < 0;
  }
  if (const int c = compareNatural(baseName(a.device), baseName(b.device)); c != 0) return c < 0;
  return a.device < b.device;
}

std::string fixedName(int com) { return "COM" + std::to_string(com); }

bool sameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
  });
}

// The COM numbers that a variable names, and the devices they claim.
std::set<std::string> applyVariables(std::vector<ComAssignment>& map, const ComSources& sources) {
  std::set<std::string> taken;
  for (ComAssignment& entry : map) {
    entry.device = sources.variable(entry.com);
    entry.fromVariable = !entry.device.empty();
    if (entry.fromVariable) taken.insert(sources.canonical(entry.device));
  }
  return taken;
}

void describeVariables(std::vector<ComAssignment>& map, const std::vector<PortDescription>& ports,
                       const ComSources& sources) {
  for (ComAssignment& entry : map) {
    if (!entry.fromVariable) continue;
    const std::string device = sources.canonical(entry.device);
    for (const PortDescription& port : ports) {
      if (sources.canonical(port.device) == device) {
        entry.port = port;
        break;
      }
    }
  }
}

void fillInOrder(std::vector<ComAssignment>& map, const std::vector<PortDescription>& ports,
                 std::set<std::string>& taken, const ComSources& sources) {
  auto next = map.begin();
  for (const PortDescription& port : ports) {
    if (!taken.insert(sources.canonical(port.device)).second) continue;
    next = std::find_if(next, map.end(), [](const ComAssignment& e) { return e.device.empty(); });
    if (next == map.end()) return;
    next->device = port.device;
    next->port = port;
  }
}

// COM n is the system's COMn where the host has it. The host's other ports
// (USB adapters at COM10 and above) take the numbers it lacks, lowest
// first, so that every port the PC has can be chosen in the window.
void fillByName(std::vector<ComAssignment>& map, const std::vector<PortDescription>& ports,
                std::set<std::string>& taken, const ComSources& sources) {
  std::vector<const PortDescription*> others;
  for (const PortDescription& port : ports) {
    const auto entry = std::find_if(map.begin(), map.end(), [&](const ComAssignment& e) {
      return !e.fromVariable && sameName(port.device, fixedName(e.com));
    });
    const bool named = std::any_of(map.begin(), map.end(),
                                   [&](const ComAssignment& e) { return sameName(port.device, fixedName(e.com)); });
    if (entry != map.end()) {
      entry->device = fixedName(entry->com);
      entry->port = port;
      taken.insert(sources.canonical(port.device));
    } else if (!named) {
      others.push_back(&port);
    }
  }
  std::stable_sort(others.begin(), others.end(), [](const PortDescription* a, const PortDescription* b) {
    return compareNatural(a->device, b->device) < 0;
  });
  auto next = map.begin();
  for (const PortDescription* port : others) {
    if (!taken.insert(sources.canonical(port->device)).second) continue;
    next = std::find_if(next, map.end(), [](const ComAssignment& e) { return e.device.empty(); });
    if (next == map.end()) return;
    next->device = port->device;
    next->port = *port;
  }
}

std::string hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
  return text;
}

std::vector<std::string> details(const ComAssignment& entry) {
  std::vector<std::string> fields;
  if (entry.port) {
    const PortDescription& p = *entry.port;
    if (!p.manufacturer.empty()) fields.push_back(printableText(p.manufacturer));
    if (p.vendorId && p.productId) fields.push_back(hex4(*p.vendorId) + ":" + hex4(*p.productId));
    if (!p.serialNumber.empty()) fields.push_back("serial " + printableText(p.serialNumber));
  }
  if (entry.fromVariable) fields.push_back("set by TORVANE_COM" + std::to_string(entry.com));
  return fields;
}

}  // namespace

std::vector<ComAssignment> assignComs(std::vector<PortDescription> hostPorts, const ComSources& sources) {
  std::vector<ComAssignment> map(kLastCom - kFirstCom + 1);
  for (std::size_t i = 0; i < map.size(); ++i) map[i].com = kFirstCom + static_cast<int>(i);
  std::set<std::string> taken = applyVariables(map, sources);
  std::stable_sort(hostPorts.begin(), hostPorts.end(), comesBefore);
  describeVariables(map, hostPorts, sources);
  if (sources.naming == ComNaming::FixedNames) {
    fillByName(map, hostPorts, taken, sources);
  } else {
    fillInOrder(map, hostPorts, taken, sources);
  }
  return map;
}

std::string environmentComVariable(int n) {
  const std::string variable = "TORVANE_COM" + std::to_string(n);
  const char* value = std::getenv(variable.c_str());
  return value == nullptr ? std::string() : std::string(value);
}

std::vector<ComAssignment> comMap(const PortHost& host, const std::function<std::string(int)>& variable) {
  ComSources sources;
  sources.variable = variable;
  sources.canonical = [&host](const std::string& device) { return host.canonicalDevice(device); };
#ifdef _WIN32
  sources.naming = ComNaming::FixedNames;
#endif
  return assignComs(host.serialPorts(), sources);
}

std::string deviceForCom(int n, const PortHost& host, const std::function<std::string(int)>& variable) {
  if (n < kFirstCom || n > kLastCom) return {};
  if (std::string named = variable(n); !named.empty()) return named;
  std::string device = comMap(host, variable)[static_cast<std::size_t>(n - kFirstCom)].device;
#ifdef _WIN32
  if (device.empty()) device = fixedName(n);  // a port the registry does not list may still open
#endif
  return device;
}

ComLookup comMapLookup(const PortHost& host) {
  return [&host](int com) { return ComDevice{deviceForCom(com, host), false}; };
}

PortDescription describedPort(const std::string& device, const PortHost& host) {
  PortDescription described;
  described.device = device;
  if (device.empty()) return described;
  const std::string real = host.canonicalDevice(device);
  for (const PortDescription& port : host.serialPorts()) {
    if (host.canonicalDevice(port.device) != real) continue;
    described = port;
    described.device = device;  // under the name it was opened by
    break;
  }
  return described;
}

std::string comLabel(int n, const std::string& device) {
  const std::string com = fixedName(n);
  if (device.empty() || device == com) return com;
  return com + " (" + device + ")";
}

std::string printableText(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, '?');
  return text;
}

std::string comListLine(const ComAssignment& entry) {
  std::string line = fixedName(entry.com) + "  ";
  if (entry.device.empty()) return line + "(no device)";
  line += printableText(entry.device);
  const std::string described = entry.port ? printableText(entry.port->description) : std::string();
  const std::vector<std::string> fields = details(entry);
  if (described.empty() && fields.empty()) return line;
  line += "  " + described;
  if (fields.empty()) return line;
  if (!described.empty()) line += " ";
  line += "(" + fields.front();
  for (std::size_t i = 1; i < fields.size(); ++i) line += ", " + fields[i];
  return line + ")";
}

}  // namespace torvane
