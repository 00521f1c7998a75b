// Line settings text of the serial port: "baud,parity,data bits,stop bits",
// for example "4800,N,8,1" or "38400,N,8,1".
#pragma once

#include <string>

namespace torvane {

struct LineSettings {
  int baudRate = 4800;
  char parity = 'N';  // 'N' none, 'E' even, 'O' odd
  int dataBits = 8;   // 7 or 8
  int stopBits = 1;   // 1 or 2

  bool operator==(const LineSettings&) const = default;
};

// Parses a settings text. Parity may be written in either case; no blanks
// are allowed. Anything else is a fault::kInvalidArgument Fault that quotes
// the text.
LineSettings parseLineSettings(const std::string& text);

}  // namespace torvane
