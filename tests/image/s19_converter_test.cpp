// The converter's rules on hand-written S-record files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoding/fault.h"
#include "image/s19_converter.h"
#include "tests/image/s19_test_support.h"

namespace torvane {
namespace {

using test::bytes;
using test::readFile;
using test::srec;
using test::writeFile;

class ConvertS19Test : public test::ScratchDirectory {
 protected:
  // Writes the lines with CR LF ends and converts them.
  S19Conversion convertLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    writeFile("in.s19", text);
    return ConvertS19("in.s19", ".");
  }
  static ByteString zeros(std::size_t n) { return ByteString(n, '\0'); }
  static ByteString range(int first, int count) {
    ByteString s;
    for (int i = 0; i < count; ++i) s.push_back(static_cast<char>((first + i) & 0xFF));
    return s;
  }
};

TEST_F(ConvertS19Test, emptyFileOrS9First_writesChecksumOnlyAndZeroVector) {
  const std::vector<std::string> inputs{"", "S9030000FC\r\n" + srec('1', 0x0E00, bytes({1, 2})) + "\r\n", "S9\r",
                                        "S804000000FB\n" + srec('1', 0xFFCC, bytes({9}))};
  for (const auto& input : inputs) {
    SCOPED_TRACE(input);
    writeFile("in.s19", input);
    const S19Conversion result = ConvertS19("in.s19", ".");
    EXPECT_EQ(readFile("code.bin"), zeros(2));
    EXPECT_EQ(readFile("vector.bin"), zeros(52));
    EXPECT_EQ(result.codeSize, 2u);
    EXPECT_EQ(result.vectorSize, 52u);
    EXPECT_EQ(result.highestAddress, 0);
    EXPECT_EQ(result.checksum, 0);
    EXPECT_EQ(result.dataRecords, 0);
  }
}

TEST_F(ConvertS19Test, sixBytesAt0E00_writesDataAndD90C) {
  const S19Conversion result = convertLines({"S1090E00010203040506D3"});
  EXPECT_EQ(readFile("code.bin"), bytes({1, 2, 3, 4, 5, 6, 0xD9, 0x0C}));
  EXPECT_EQ(result.highestAddress, 0x0E05);
  EXPECT_EQ(result.checksum, 0xD90C);
  EXPECT_EQ(result.dataRecords, 1);
}

TEST_F(ConvertS19Test, oneByteAt0E00_writes70E7AndFiveZeros) {
  convertLines({"S1040E0007E6"});
  EXPECT_EQ(readFile("code.bin"), bytes({0x07, 0x70, 0xE7, 0, 0, 0, 0, 0}));
}

// Code length by data length from 0x0E00: data + 2 raised to a multiple of
// 8, plus 8 when that is a multiple of 512.
TEST_F(ConvertS19Test, dataLength_givesFilledCodeLength) {
  const std::pair<int, std::size_t> rows[] = {{1, 8},     {6, 8},       {7, 16},      {14, 16},    {15, 24},
                                              {509, 520}, {510, 520},   {511, 520},   {512, 520},  {518, 520},
                                              {519, 528}, {1021, 1032}, {1022, 1032}, {1030, 1032}};
  for (const auto& [length, expected] : rows) {
    SCOPED_TRACE(length);
    std::vector<std::string> lines;
    for (int at = 0; at < length; at += 32) {
      lines.push_back(srec('1', static_cast<uint32_t>(0x0E00 + at), range(at + 1, std::min(32, length - at))));
    }
    const S19Conversion result = convertLines(lines);
    const ByteString code = readFile("code.bin");
    ASSERT_EQ(code.size(), expected);
    EXPECT_EQ(result.codeSize, expected);
    EXPECT_EQ(code.substr(0, length), range(1, length));
    const auto crc = test::bitwiseCrc(range(1, length));
    EXPECT_EQ(static_cast<uint8_t>(code[length]), crc >> 8);
    EXPECT_EQ(static_cast<uint8_t>(code[length + 1]), crc & 0xFF);
    EXPECT_EQ(code.substr(length + 2), zeros(expected - length - 2));
  }
}

TEST_F(ConvertS19Test, highestBelowCodeStart_writesChecksumOfNothing) {
  // A highest address just below 0x0E00 can still end the fill at 0x0E07.
  const std::pair<uint32_t, std::size_t> rows[] = {{0x0100, 2}, {0x0DF5, 2}, {0x0DF6, 8}, {0x0DFD, 8}, {0x0DFF, 8}};
  for (const auto& [last, expected] : rows) {
    SCOPED_TRACE(last);
    convertLines({srec('1', last - 3, bytes({0x11, 0x22, 0x33, 0x44}))});
    EXPECT_EQ(readFile("code.bin"), zeros(expected));
  }
}

TEST_F(ConvertS19Test, vectorAreaRecord_fillsVectorAndKeepsHighest) {
  const S19Conversion result =
      convertLines({srec('1', 0x0E00, bytes({0xAA, 0xBB})), srec('1', 0xFFCC, range(0x40, 52))});
  EXPECT_EQ(readFile("vector.bin"), range(0x40, 52));
  EXPECT_EQ(result.highestAddress, 0x0E01);
  EXPECT_EQ(readFile("code.bin").size(), 8u);
}

TEST_F(ConvertS19Test, recordFFC0toFFCF_reachesCodeOnlyAsFarAsOthersRaiseHighest) {
  const std::string straddling = srec('1', 0xFFC0, range(0x80, 16));
  // Alone: nothing raises the highest address.
  S19Conversion result = convertLines({straddling});
  EXPECT_EQ(result.highestAddress, 0);
  EXPECT_EQ(readFile("code.bin"), zeros(2));
  EXPECT_EQ(readFile("vector.bin"), range(0x8C, 4) + zeros(48));

  // A count-0 record at 0xFFCA ends at 0xFFC6 and raises it that far.
  result = convertLines({straddling, "S100FFCA00"});
  EXPECT_EQ(result.highestAddress, 0xFFC6);
  const ByteString code = readFile("code.bin");
  const std::size_t imageBytes = 0xFFC6 - 0x0E00 + 1;
  ASSERT_GE(code.size(), imageBytes + 2);
  EXPECT_EQ(code.substr(imageBytes - 7, 7), range(0x80, 7));
  EXPECT_EQ(code.size() % 8, 0u);
  EXPECT_EQ(readFile("vector.bin").substr(0, 4), range(0x8C, 4));
}

TEST_F(ConvertS19Test, countZero_storesNothingButItsEndRaisesHighest) {
  // S1 with count 0 at 0x0E10: length -3, end 0x0E10 - 4 = 0x0E0C.
  const S19Conversion result = convertLines({"S1000E1000"});
  EXPECT_EQ(result.highestAddress, 0x0E0C);
  EXPECT_EQ(readFile("code.bin"), zeros(16));  // 13 zero bytes, CRC 0, fill
  EXPECT_EQ(result.dataRecords, 1);
}

TEST_F(ConvertS19Test, twoRecordsSameAddress_laterOneWins) {
  convertLines({srec('1', 0x0E00, bytes({1, 2, 3})), srec('1', 0x0E01, bytes({9})), srec('1', 0xFFFE, bytes({5, 6})),
                srec('2', 0xFFFF, bytes({7}))});
  const ByteString code = readFile("code.bin");
  EXPECT_EQ(code.substr(0, 3), bytes({1, 9, 3}));
  EXPECT_EQ(readFile("vector.bin").substr(50), bytes({5, 7}));
}

TEST_F(ConvertS19Test, terminatorInMiddle_ignoresRecordsAfterIt) {
  for (const std::string stop : {"S9030000FC", "S804000000FB", "S70500000000FA", "junk S9 junk"}) {
    SCOPED_TRACE(stop);
    convertLines({srec('1', 0x0E00, bytes({1})), stop, srec('1', 0x0E00, bytes({2, 3, 4, 5, 6, 7, 8, 9, 10}))});
    EXPECT_EQ(readFile("code.bin"), bytes({0x01, 0x10, 0x21, 0, 0, 0, 0, 0}));
  }
}

TEST_F(ConvertS19Test, leadingBlanks_tagFoundButFieldsReadFromFirstColumn) {
  // "  S1130E00..." reads count 0x01 from "S1" (no bytes) and address 0x130E
  // from "130E": the end 0x130B raises the highest address.
  const S19Conversion result = convertLines({"  " + srec('1', 0x0E00, range(1, 16))});
  EXPECT_EQ(result.highestAddress, 0x130B);
  EXPECT_EQ(readFile("code.bin"), zeros(0x130B - 0x0E00 + 1 + 2 + 2));  // all zero: nothing was stored
}

TEST_F(ConvertS19Test, otherLines_areSkipped) {
  const S19Conversion result = convertLines({"S00600004844521B", "s1090e00010203040506d3", "s9030000fc", "", "hello",
                                             "S5030001FB", "S1040E0007E6", "S6040000010A"});
  EXPECT_EQ(readFile("code.bin"), bytes({0x07, 0x70, 0xE7, 0, 0, 0, 0, 0}));
  EXPECT_EQ(result.dataRecords, 1);
}

TEST_F(ConvertS19Test, recordTypes_decidedS1ThenS2ThenS3) {
  // S2 and S3 records; a line holding both "S3" and "S1" is read as S1.
  convertLines({srec('2', 0x000E00, bytes({1, 2})), srec('3', 0x00000E02, bytes({3, 4})), "S1050E0405060000 S3"});
  EXPECT_EQ(readFile("code.bin").substr(0, 6), bytes({1, 2, 3, 4, 5, 6}));
}

TEST_F(ConvertS19Test, nonHexDigitsAndBadChecksum_readAsZeroWithoutFault) {
  convertLines({"S1090E00ZZ02G3040506XX"});
  ByteString expected = bytes({0, 2, 3, 4, 5, 6});
  EXPECT_EQ(readFile("code.bin").substr(0, 6), expected);
}

TEST_F(ConvertS19Test, byteAtAddress65536_acceptedButNotWritten) {
  convertLines({srec('2', 0x00FFFF, bytes({0x5A, 0xA5}))});
  EXPECT_EQ(readFile("vector.bin"), zeros(51) + bytes({0x5A}));
  EXPECT_EQ(readFile("code.bin"), zeros(2));
}

TEST_F(ConvertS19Test, bytesBelowCodeStart_neverWritten) {
  convertLines({srec('1', 0x0DFE, bytes({1, 2, 3, 4}))});
  EXPECT_EQ(readFile("code.bin").substr(0, 2), bytes({3, 4}));
}

TEST_F(ConvertS19Test, lineEnds_crCrlfAndLoneLfGiveSameImages) {
  const std::vector<std::string> lines{"S00600004844521B", srec('1', 0x0E00, range(1, 20)),
                                       srec('1', 0xFFCC, range(7, 52)), "S9030000FC"};
  std::vector<ByteString> codes;
  for (const char* end : {"\r", "\r\n", "\n"}) {
    std::string text;
    for (const auto& line : lines) text += line + end;
    writeFile("in.s19", text);
    ConvertS19("in.s19", ".");
    codes.push_back(readFile("code.bin") + readFile("vector.bin"));
  }
  EXPECT_EQ(codes[0].size(), 24u + 52u);
  EXPECT_EQ(codes[0], codes[1]);
  EXPECT_EQ(codes[0], codes[2]);
}

TEST_F(ConvertS19Test, oldOutputs_replaced) {
  writeFile("code.bin", ByteString(3000, 'x'));
  writeFile("vector.bin", ByteString(3000, 'y'));
  convertLines({"S1040E0007E6"});
  EXPECT_EQ(readFile("code.bin").size(), 8u);
  EXPECT_EQ(readFile("vector.bin"), zeros(52));
}

}  // namespace
}  // namespace torvane
