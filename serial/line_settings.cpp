#include "serial/line_settings.h"

#include <algorithm>
#include <array>
#include <vector>

#include "encoding/fault.h"

namespace torvane {
namespace {

// The rates a PC serial port offers.
constexpr std::array kBaudRates = {110,   300,   600,   1200,  2400,  4800,   9600,   14400,
                                   19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000};

std::vector<std::string> splitFields(const std::string& text) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back().push_back(c);
    }
  }
  return fields;
}

// A small decimal number made only of digits, or -1.
int smallNumber(const std::string& field) {
  if (field.empty() || field.size() > 7) return -1;
  int value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

[[noreturn]] void invalid(const std::string& text, const std::string& why) {
  throw Fault(fault::kInvalidArgument,
              "Invalid line settings \"" + text + "\": " + why +
                  ". Use baud,parity,data bits,stop bits such as \"4800,N,8,1\".",
              "mscCom");
}

}  // namespace

LineSettings parseLineSettings(const std::string& text) {
  const std::vector<std::string> fields = splitFields(text);
  if (fields.size() != 4) invalid(text, "expected four fields separated by commas");

  LineSettings s;
  s.baudRate = smallNumber(fields[0]);
  if (std::find(kBaudRates.begin(), kBaudRates.end(), s.baudRate) == kBaudRates.end()) {
    invalid(text, "\"" + fields[0] + "\" is not a supported baud rate");
  }
  if (fields[1].size() != 1) invalid(text, "parity must be N, E or O");
  s.parity = fields[1][0];
  if (s.parity >= 'a' && s.parity <= 'z') s.parity = static_cast<char>(s.parity - 'a' + 'A');
  if (s.parity != 'N' && s.parity != 'E' && s.parity != 'O') invalid(text, "parity must be N, E or O");
  s.dataBits = smallNumber(fields[2]);
  if (s.dataBits != 7 && s.dataBits != 8) invalid(text, "data bits must be 7 or 8");
  s.stopBits = smallNumber(fields[3]);
  if (s.stopBits != 1 && s.stopBits != 2) invalid(text, "stop bits must be 1 or 2");
  return s;
}

}  // namespace torvane
