// Byte strings: every frame, every read from the port and every image block.
// A std::string whose chars carry the byte values 0..255 unchanged; use
// byteAt() to read a value without sign extension.
#pragma once

#include <cstdint>
#include <string>

namespace torvane {

using ByteString = std::string;

inline uint8_t byteAt(const ByteString& s, std::size_t i) { return static_cast<uint8_t>(s[i]); }

inline void appendByte(ByteString& s, uint8_t b) { s.push_back(static_cast<char>(b)); }

}  // namespace torvane
