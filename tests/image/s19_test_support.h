// Shared helpers of the S-record converter tests: a private scratch working
// directory per test, file helpers, an S-record line builder, and the tests'
// own model of the two output images. The model is written from the rules
// alone and shares no code with the converter.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "encoding/bytes.h"
#include "tests/support/scratch_folder.h"

namespace torvane::test {

namespace fs = std::filesystem;

// Every test runs in a fresh temporary directory as its working directory,
// because the converter writes code.bin and vector.bin there.
class ScratchDirectory : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.dir().empty()); }
  const fs::path& dir() const { return folder_.dir(); }

 private:
  ScratchWorkingFolder folder_{"torvane-s19"};
};

inline std::string hexByte(unsigned value) {
  static const char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

// One well-formed record line (no line end): type '1', '2' or '3', the
// address in 2, 3 or 4 bytes, the data, and the record's checksum.
inline std::string srec(char type, uint32_t address, const ByteString& data) {
  const int addressBytes = type - '0' + 1;
  const unsigned count = static_cast<unsigned>(addressBytes + data.size() + 1);
  std::string line = std::string("S") + type + hexByte(count);
  unsigned sum = count;
  for (int i = addressBytes - 1; i >= 0; --i) {
    const unsigned b = (address >> (8 * i)) & 0xFF;
    line += hexByte(b);
    sum += b;
  }
  for (char c : data) {
    line += hexByte(static_cast<uint8_t>(c));
    sum += static_cast<uint8_t>(c);
  }
  return line + hexByte(~sum & 0xFF);
}

inline ByteString bytes(std::initializer_list<int> values) {
  ByteString s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// CRC-16/XMODEM bit by bit, as the rule is written down: a differing top
// bit shifts in the polynomial 0x1021.
inline uint16_t bitwiseCrc(const ByteString& data) {
  unsigned crc = 0;
  for (char c : data) {
    unsigned b = static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) {
      const bool differ = ((b >> 7) & 1) != ((crc >> 15) & 1);
      crc = ((crc & 0x7FFF) * 2) ^ (differ ? 0x1021u : 0u);
      b = (b * 2) & 0xFF;
    }
  }
  return static_cast<uint16_t>(crc);
}

// The tests' model of the converter's outputs for a set of records, each
// given as its start address and data, applied in order.
struct ModelRecord {
  int64_t address;
  ByteString data;
};

struct ModelImages {
  ByteString code;
  ByteString vector;
  int64_t highest = 0;
};

inline ModelImages modelImages(const std::vector<ModelRecord>& records) {
  std::vector<uint8_t> memory(65537, 0);
  ModelImages out;
  for (const auto& r : records) {
    const int64_t last = r.address + static_cast<int64_t>(r.data.size()) - 1;
    if (last > out.highest && last < 0xFFCC) out.highest = last;
    for (std::size_t i = 0; i < r.data.size(); ++i) memory.at(r.address + i) = static_cast<uint8_t>(r.data[i]);
  }
  for (int64_t a = 0x0E00; a <= out.highest; ++a) out.code.push_back(static_cast<char>(memory[a]));
  const uint16_t crc = bitwiseCrc(out.code);
  // Length of the code image: image bytes (counted from 0x0E00, negative
  // below it) plus the checksum, raised to a multiple of 8, and 8 more when
  // that is a multiple of 512; never shorter than the checksum itself.
  int64_t length = out.highest - 0x0E00 + 1 + 2;
  while (length % 8 != 0) ++length;
  if (length % 512 == 0) length += 8;
  out.code.push_back(static_cast<char>(crc >> 8));
  out.code.push_back(static_cast<char>(crc & 0xFF));
  while (static_cast<int64_t>(out.code.size()) < length) out.code.push_back('\0');
  for (int a = 0xFFCC; a <= 0xFFFF; ++a) out.vector.push_back(static_cast<char>(memory[a]));
  return out;
}

}  // namespace torvane::test
