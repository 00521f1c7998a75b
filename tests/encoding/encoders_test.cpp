#include "encoding/encoders.h"

#include <gtest/gtest.h>

#include <random>

#include "encoding/fault.h"

namespace torvane {
namespace {

// Straight from the definition: one bit at a time, MSB first.
int32_t crcBitByBit(const ByteString& data) {
  int32_t crc = 0;
  for (unsigned char c : data) {
    int b = c;
    for (int i = 0; i < 8; ++i) {
      const bool differ = ((b & 0x80) != 0) != ((crc & 0x8000) != 0);
      crc = ((crc & 0x7FFF) * 2) ^ (differ ? 0x1021 : 0);
      b = (b * 2) & 0xFF;
    }
  }
  return crc;
}

struct CrcCase {
  const char* name;
  ByteString data;
  int32_t crc;
};

TEST(CalcCRC16, knownValues_matchPublishedXmodem) {
  const CrcCase cases[] = {
      {"empty", "", 0},   {"zero byte", ByteString(1, '\0'), 0}, {"0xFF", ByteString(1, '\xFF'), 0x1EF0},
      {"A", "A", 0x58E5}, {"check string", "123456789", 0x31C3}, {"end frame filler", ByteString(13, '\xFF'), 0xD6DF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(calcCRC16(c.data), c.crc) << c.name;
  }
}

TEST(CalcCRC16, randomData_tableMatchesBitByBitAndTrailerGivesZero) {
  std::mt19937 rng(7);
  for (int round = 0; round < 500; ++round) {
    ByteString data(rng() % 700, '\0');
    for (auto& ch : data) ch = static_cast<char>(rng() & 0xFF);
    const int32_t crc = calcCRC16(data);
    ASSERT_EQ(crc, crcBitByBit(data));
    ASSERT_GE(crc, 0);
    ASSERT_LE(crc, 0xFFFF);
    ByteString withTrailer = data;
    appendByte(withTrailer, static_cast<uint8_t>(crc >> 8));
    appendByte(withTrailer, static_cast<uint8_t>(crc & 0xFF));
    ASSERT_EQ(calcCRC16(withTrailer), 0);
    const std::size_t cut = data.empty() ? 0 : rng() % data.size();
    ASSERT_EQ(updateCRC16(calcCRC16(data.substr(0, cut)), data.data() + cut, data.size() - cut), crc);
  }
}

TEST(Long2string, values_areBigEndian) {
  const std::pair<int32_t, ByteString> cases[] = {
      {0, ByteString("\x00\x00\x00\x00", 4)},
      {258, ByteString("\x00\x00\x01\x02", 4)},
      {65536, ByteString("\x00\x01\x00\x00", 4)},
      {2147483647, ByteString("\x7F\xFF\xFF\xFF", 4)},
  };
  for (const auto& [value, bytes] : cases) EXPECT_EQ(long2string(value), bytes) << value;
}

TEST(Long2string, negative_throwsInvalidArgument) {
  for (int32_t value : {-1, -256, INT32_MIN}) {
    try {
      long2string(value);
      FAIL() << "no fault for " << value;
    } catch (const Fault& f) {
      EXPECT_EQ(f.number(), fault::kInvalidArgument);
      EXPECT_EQ(f.source(), "long2string");
    }
  }
}

TEST(HexValue, ranges_giveDigitValuesAndZeroOtherwise) {
  const std::pair<int16_t, int16_t> cases[] = {
      {48, 0}, {57, 9}, {65, 10}, {97, 10}, {70, 15}, {102, 15}, {47, 0},     {58, 0},  {64, 0},
      {71, 0}, {96, 0}, {103, 0}, {120, 0}, {32, 0},  {-1, 0},   {-32768, 0}, {255, 0}, {52, 4},
  };
  for (const auto& [code, value] : cases) EXPECT_EQ(hexValue(code), value) << code;
  for (const auto& [code, value] : cases) {
    if (code < 0 || code >= 128) continue;
    EXPECT_EQ(hexDigit(static_cast<char>(code)), value == 0 && code != 48 ? -1 : value) << code;
  }
}

TEST(HexText, numbersAndBytes_upperCaseAndPadded) {
  EXPECT_EQ(hexNumber(0xE00, 4), "0x0E00");
  EXPECT_EQ(hexNumber(0x19B7, 4), "0x19B7");
  EXPECT_EQ(hexNumber(0, 1), "0x0");
  EXPECT_EQ(hexNumber(0x7FFFFFFF, 4), "0x7FFFFFFF");
  EXPECT_EQ(hexByte(0x0D), "0D");
  EXPECT_EQ(hexByte(0xAF), "AF");
}

}  // namespace
}  // namespace torvane
