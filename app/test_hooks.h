// Helpers of the program's test and demo hooks (see main.cpp).
#pragma once

#include <string>

namespace torvane {

// The text on one line: CR and LF written as the escapes \r and \n.
std::string oneLine(const std::string& text);

}  // namespace torvane
