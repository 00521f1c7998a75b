#include "encoding/encoders.h"

#include <algorithm>

#include <array>

#include "encoding/fault.h"

namespace torvane {

namespace {

// One entry per value of the top byte of the register, computed bit by bit
// exactly as the polynomial division does it.
constexpr std::array<uint16_t, 256> makeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned top = 0; top < 256; ++top) {
    uint16_t crc = static_cast<uint16_t>(top << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    table[top] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = makeCrcTable();

}  // namespace

int32_t updateCRC16(int32_t crc, const char* data, std::size_t length) {
  auto reg = static_cast<uint16_t>(crc);
  for (std::size_t i = 0; i < length; ++i) {
    const auto b = static_cast<uint8_t>(data[i]);
    reg = static_cast<uint16_t>((reg << 8) ^ kCrcTable[((reg >> 8) ^ b) & 0xFF]);
  }
  return reg;
}

int32_t calcCRC16(const ByteString& data) { return updateCRC16(0, data.data(), data.size()); }

ByteString long2string(int32_t value) {
  if (value < 0) {
    throw Fault(fault::kInvalidArgument,
                "Invalid procedure call or argument: " + std::to_string(value) +
                    " cannot be encoded as an unsigned 32-bit field",
                "long2string");
  }
  ByteString out(4, '\0');
  auto v = static_cast<uint32_t>(value);
  for (int i = 3; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = static_cast<char>(v & 0xFF);
    v >>= 8;
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int16_t hexValue(int16_t code) {
  if (code < 0 || code > 127) return 0;
  return static_cast<int16_t>(std::max(hexDigit(static_cast<char>(code)), 0));
}

std::string hexNumber(uint64_t value, int digits) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0x0F]);
    value >>= 4;
  } while (value != 0 || static_cast<int>(text.size()) < digits);
  return "0x" + text;
}

std::string hexByte(uint8_t value) { return hexNumber(value, 2).substr(2); }

}  // namespace torvane
