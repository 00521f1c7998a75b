#include "serial/com_names.h"

#include <cstdlib>

namespace torvane {

std::string deviceForCom(int n) {
  if (n < kFirstCom || n > kLastCom) return {};
  const std::string variable = "TORVANE_COM" + std::to_string(n);
  if (const char* value = std::getenv(variable.c_str()); value != nullptr && *value != '\0') {
    return value;
  }
#ifdef _WIN32
  return "COM" + std::to_string(n);
#else
  return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

std::string comLabel(int n, const std::string& device) {
  const std::string com = "COM" + std::to_string(n);
  if (device.empty() || device == com) return com;
  return com + " (" + device + ")";
}

}  // namespace torvane
