// The status line's rule with a font where every character is 1 wide.
#include "form/status_lines.h"

#include <gtest/gtest.h>

namespace torvane::form {
namespace {

int characters(std::string_view text) {
  int n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

TEST(StatusLines, texts_wrapIntoWholeLinesAndTheLastOneTakesTheRest) {
  struct Row {
    const char* name;
    std::string text;
    int width, lines;
    std::vector<std::string> shown;
  };
  const std::vector<Row> rows = {
      {"fits", " Status: UPDATE COMPLETE", 40, 2, {" Status: UPDATE COMPLETE"}},
      {"CR LF starts a line",
       " Status: A (15 bytes, 1)\r\n  Waiting",
       40,
       2,
       {" Status: A (15 bytes, 1)", "  Waiting"}},
      {"CR LF at the end", " Status: Scanning Port COM3\r\n", 40, 2, {" Status: Scanning Port COM3", ""}},
      {"third paragraph runs into the second", " Status: A\r\nB\r\nC", 40, 2, {" Status: A", "B C\u2026"}},
      {"wraps after a blank", "one two three", 9, 2, {"one two ", "three"}},
      {"a long word is broken", " Com String AAAAAAAAAAAAAAAA", 12, 3, {" Com String ", "AAAAAAAAAAAA", "AAAA"}},
      {"the rest is cut to the width", "aaa bbb ccc ddd eee", 8, 2, {"aaa bbb ", "ccc ddd\u2026"}},
      {"a character is never split", "\u00AE\u00AE\u00AE\u00AE", 3, 1, {"\u00AE\u00AE\u2026"}},
      {"at least one line", "abc", 3, 0, {"abc"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<std::string> shown = shownStatusLines(row.text, row.width, row.lines, characters);
    EXPECT_EQ(shown, row.shown);
    for (const std::string& line : shown) EXPECT_LE(characters(line), row.width) << line;
  }
}

TEST(StatusLines, bytesThatAreNotUtf8_countOneEach) {
  const std::string noise =
      " Com String \xFF\xFE\x80\x02"
      "AA";
  const std::vector<std::string> shown = shownStatusLines(noise, 14, 2, characters);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0] + shown[1], noise);
}

}  // namespace
}  // namespace torvane::form
