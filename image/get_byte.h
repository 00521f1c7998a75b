// One byte of an S-record line, written as two hexadecimal digits.
#pragma once

#include <cstdint>

#include "encoding/bytes.h"

namespace torvane {

// The byte written as two hexadecimal digits at the 1-based `position` of
// `InString`: hexValue of that character times 16 plus hexValue of the next.
// A character that is not a hexadecimal digit counts as 0. A position before
// the first character, or a pair that runs past the end of the line, is an
// invalid-argument fault.
uint8_t GetByte(const ByteString& InString, int16_t position);

}  // namespace torvane
