#include "link/frames.h"

#include <gtest/gtest.h>

#include <random>

#include "encoding/encoders.h"
#include "encoding/fault.h"

namespace torvane {
namespace {

ByteString hex(std::initializer_list<int> bytes) {
  ByteString s;
  for (int b : bytes) appendByte(s, static_cast<uint8_t>(b));
  return s;
}

TEST(Frames, endFrame_isThirteenFFAndD6DF) {
  EXPECT_EQ(endFrame(),
            hex({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD6, 0xDF}));
}

TEST(Frames, addressFrame_knownExamples) {
  EXPECT_EQ(addressFrame(1, 65536, 131072),
            hex({0x01, 0, 0, 0, 0, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x93, 0x62}));
  EXPECT_EQ(addressFrame(3, 0, 1000), hex({0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0xE8, 0xE6, 0xD0}));
  EXPECT_EQ(addressFrame(4, 0, 0).size(), kAddressFrameLength);
  EXPECT_EQ(byteAt(addressFrame(4, 0, 0), 0), 4);
}

TEST(Frames, addressFrame_negativeAddress_throwsInvalidArgument) {
  try {
    addressFrame(1, -4096, 10);
    FAIL() << "no fault";
  } catch (const Fault& f) {
    EXPECT_EQ(f.number(), fault::kInvalidArgument);
  }
}

TEST(Frames, dataFrame_thousandByteFile_padsByMemoryType) {
  ByteString file(1000, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 7 + 3);
  const struct {
    uint8_t type;
    char pad;
  } cases[] = {{1, '\x00'}, {2, '\x00'}, {3, '\xFF'}, {4, '\x00'}, {0, '\x00'}};
  for (const auto& c : cases) {
    const ByteString first = dataFrame(file.substr(0, 512), c.type);
    const ByteString second = dataFrame(file.substr(512), c.type);
    ASSERT_EQ(first.size(), kDataFrameLength);
    ASSERT_EQ(second.size(), kDataFrameLength);
    EXPECT_EQ(first.substr(0, 512), file.substr(0, 512));
    EXPECT_EQ(second.substr(0, 488), file.substr(512));
    EXPECT_EQ(second.substr(488, 24), ByteString(24, c.pad)) << int(c.type);
  }
}

TEST(Frames, dataFrame_fullAndOneByteBlocks) {
  const ByteString full(512, 'x');
  EXPECT_EQ(dataFrame(full, 3).substr(0, 512), full);
  const ByteString one = dataFrame("z", 3);
  EXPECT_EQ(one[0], 'z');
  EXPECT_EQ(one.substr(1, 511), ByteString(511, '\xFF'));
  EXPECT_THROW(dataFrame(ByteString(513, 'x'), 1), Fault);
}

TEST(Frames, everyFrame_crcOverWholeFrameIsZero) {
  std::mt19937 rng(42);
  EXPECT_EQ(calcCRC16(endFrame()), 0);
  for (int i = 0; i < 300; ++i) {
    const auto type = static_cast<uint8_t>(rng() % 256);
    const auto address = static_cast<int32_t>(rng() & 0x7FFFFFFF);
    const auto size = static_cast<int32_t>(rng() & 0x7FFFFFFF);
    ASSERT_EQ(calcCRC16(addressFrame(type, address, size)), 0);
    ByteString block(1 + rng() % 512, '\0');
    for (auto& ch : block) ch = static_cast<char>(rng());
    const ByteString frame = dataFrame(block, type);
    ASSERT_EQ(calcCRC16(frame), 0);
    ASSERT_EQ(byteAt(frame, 512), calcCRC16(frame.substr(0, 512)) >> 8);
  }
}

}  // namespace
}  // namespace torvane
