#include "encoding/fault.h"

#include "encoding/encoders.h"

namespace torvane {

// Out of line so that the type's vtable and type information live here.
Fault::~Fault() = default;

std::string quotedForFault(const std::string& text) {
  constexpr std::size_t kShown = 60;
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (b < 0x20 || b == 0x7F) {
      out += "\\x" + hexByte(b);
    } else {
      out.push_back(static_cast<char>(b));
    }
  }
  if (text.size() > kShown) out += "...";
  return out + "\"";
}

}  // namespace torvane
