// Fuzzes GetByte and hexValue: the first two bytes are the position, the rest
// is the line. GetByte faults exactly when the pair does not lie in the line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "encoding/encoders.h"
#include "encoding/fault.h"
#include "image/get_byte.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const auto position = static_cast<int16_t>(static_cast<uint16_t>(data[0] | (data[1] << 8)));
  const std::string line(reinterpret_cast<const char*>(data + 2), size - 2);

  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto code = static_cast<int16_t>(static_cast<uint16_t>(data[i] | (data[i + 1] << 8)));
    const int16_t value = torvane::hexValue(code);
    if (value < 0 || value > 15) std::abort();
  }

  const bool inLine = position >= 1 && static_cast<std::size_t>(position) + 1 <= line.size();
  try {
    const uint8_t byte = torvane::GetByte(line, position);
    if (!inLine) std::abort();
    const auto at = static_cast<std::size_t>(position) - 1;
    const int expected =
        torvane::hexValue(static_cast<uint8_t>(line[at])) * 16 + torvane::hexValue(static_cast<uint8_t>(line[at + 1]));
    if (byte != expected) std::abort();
  } catch (const torvane::Fault& f) {
    if (inLine || f.number() != torvane::fault::kInvalidArgument) std::abort();
  }
  return 0;
}
