// UTF-8 (the program's texts) to and from UTF-16 (the Win32 API's).
#pragma once

#include <string>
#include <string_view>

namespace torvane {

std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view wide);

}  // namespace torvane
