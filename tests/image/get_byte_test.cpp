#include <gtest/gtest.h>

#include <string>

#include "encoding/fault.h"
#include "image/get_byte.h"

namespace torvane {
namespace {

TEST(GetByte, twoDigitsAtPosition_giveTheirByte) {
  struct Row {
    std::string line;
    int16_t position;
    int expected;
  };
  const Row rows[] = {
      {"S1130E00", 3, 0x13},
      {"S1130E00", 5, 0x0E},
      {"S1130E00", 7, 0x00},
      {"FF", 1, 0xFF},
      {"ab", 1, 0xAB},
      {"aF", 1, 0xAF},
      {"S1", 1, 0x01},  // 'S' counts as 0
      {"  ", 1, 0x00},
      {"G9", 1, 0x09},
      {"9G", 1, 0x90},
      {"x7", 1, 0x07},
      {"0/:@", 1, 0x00},
      {"0/:@", 3, 0x00},
      {"`g", 1, 0x00},
      {"09AF", 2, 0x9A},
      {std::string("\xC1\x31", 2), 1, 0x01},  // a byte above 127 is not a digit
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line + " @" + std::to_string(row.position));
    EXPECT_EQ(GetByte(row.line, row.position), row.expected);
  }
}

TEST(GetByte, positionPastEndOrBeforeStart_throwsInvalidArgument) {
  struct Row {
    std::string line;
    int16_t position;
  };
  const Row rows[] = {{"S1130E00", 8}, {"S1130E00", 9}, {"S1130E00", 0},   {"S1130E00", -1}, {"", 1},
                      {"A", 1},        {"AB", 2},       {"AB", INT16_MAX}, {"AB", INT16_MIN}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line + " @" + std::to_string(row.position));
    try {
      GetByte(row.line, row.position);
      ADD_FAILURE() << "no fault";
    } catch (const Fault& f) {
      EXPECT_EQ(f.number(), fault::kInvalidArgument);
      EXPECT_EQ(f.source(), "GetByte");
    }
  }
}

TEST(GetByte, lastPairOfLine_isRead) { EXPECT_EQ(GetByte("S1130E00D3", 9), 0xD3); }

}  // namespace
}  // namespace torvane
