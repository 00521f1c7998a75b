#include "encoding/line_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace torvane {
namespace {

std::vector<ByteString> readAll(const ByteString& text) {
  std::istringstream in(text);
  LineReader reader(in);
  std::vector<ByteString> lines;
  ByteString line;
  while (reader.next(line)) lines.push_back(line);
  return lines;
}

TEST(LineReader, lineEnds_crCrlfAndLfAllEndALine) {
  const std::vector<ByteString> expected{"one", "two", "three"};
  EXPECT_EQ(readAll("one\rtwo\rthree\r"), expected);
  EXPECT_EQ(readAll("one\r\ntwo\r\nthree\r\n"), expected);
  EXPECT_EQ(readAll("one\ntwo\nthree\n"), expected);
  EXPECT_EQ(readAll("one\r\ntwo\nthree"), expected);
}

TEST(LineReader, emptyLines_areKeptAndCountedOnce) {
  EXPECT_EQ(readAll("a\r\n\r\nb"), (std::vector<ByteString>{"a", "", "b"}));
  EXPECT_EQ(readAll("a\n\rb"), (std::vector<ByteString>{"a", "", "b"}));  // LF then a lone CR
  EXPECT_EQ(readAll(""), std::vector<ByteString>{});
  EXPECT_EQ(readAll("\r\n"), std::vector<ByteString>{""});
}

TEST(LineReader, allByteValues_passUnchanged) {
  ByteString line;
  for (int b = 0; b < 256; ++b) {
    if (b != '\r' && b != '\n') line.push_back(static_cast<char>(b));
  }
  EXPECT_EQ(readAll(line + "\r\n"), std::vector<ByteString>{line});
}

TEST(LineReader, lineNumber_countsLinesReturned) {
  std::istringstream in("a\nb\r\nc");
  LineReader reader(in);
  ByteString line;
  EXPECT_EQ(reader.lineNumber(), 0);
  while (reader.next(line)) {
  }
  EXPECT_EQ(reader.lineNumber(), 3);
}

}  // namespace
}  // namespace torvane
