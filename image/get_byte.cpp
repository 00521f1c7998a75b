#include "image/get_byte.h"
#include "encoding/encoders.h"
#include "encoding/fault.h"

namespace torvane {

uint8_t GetByte(const ByteString& InString, int16_t position) {
  if (position < 1) {
    throw Fault(fault::kInvalidArgument,
                "Invalid procedure call or argument: column " + std::to_string(position) +
                    " lies before the first character of the line",
                "GetByte");
  }
  const auto first = static_cast<std::size_t>(position);
  if (first + 1 > InString.size()) {
    throw Fault(fault::kInvalidArgument,
                "Invalid procedure call or argument: the line has " + std::to_string(InString.size()) +
                    " characters, too few for a byte at column " + std::to_string(position),
                "GetByte");
  }
  const auto high = hexValue(byteAt(InString, first - 1));
  const auto low = hexValue(byteAt(InString, first));
  return static_cast<uint8_t>(high * 16 + low);
}

}  // namespace torvane
