#include "run/transfer_list.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "encoding/fault.h"
#include "encoding/line_reader.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_window.h"

namespace torvane {

void PrintTo(const ListEntry& e, std::ostream* os) {
  *os << ::testing::PrintToString(e.name) << " type " << int(e.memoryType) << " address " << e.address;
}

namespace {

ListEntry parsed(const ByteString& line) {
  const auto entry = parseListLine(line, "program.txt", 7);
  if (!entry) throw std::logic_error("line was skipped");
  return *entry;
}

TEST(TransferList, validLines_giveNameTypeAndAddress) {
  const struct {
    ByteString line;
    ListEntry entry;
  } cases[] = {
      {"code.bin\t1\t0x8000", {"code.bin", 1, 32768}},
      {"code.bin 1 0x8000", {"code.bin", 1, 32768}},
      {"code.bin\t1\t0X8000", {"code.bin", 1, 32768}},
      {"dsd.bin\t3\t0x1fAb", {"dsd.bin", 3, 0x1FAB}},
      {"mmc.bin 2 4096", {"mmc.bin", 2, 4096}},
      {"my code.bin\t1\t0", {"my code.bin", 1, 0}},    // blanks before a tab stay in the name
      {"code.bin \t1 0", {"code.bin ", 1, 0}},         // the tab separates, the blank is the name's
      {"x.bin\t\t\t  1\t\t  0x10", {"x.bin", 1, 16}},  // tabs, then blanks, are skipped
      {"x.bin 1 0x10   ", {"x.bin", 1, 16}},           // trailing blanks ignored
      {"x.bin\t1\t0x10 \t \t", {"x.bin", 1, 16}},      // trailing blanks and tabs ignored
      {"x.bin 10x10", {"x.bin", 1, 16}},               // the address may follow the type directly
      {"x.bin 4 0", {"x.bin", 4, 0}},
      {"x.bin 0 16", {"x.bin", 0, 16}},
      {"x.bin\t~ 5", {"x.bin", static_cast<uint8_t>('~' - '0'), 5}},
      {"x.bin\t\xFF 5", {"x.bin", 0xFF - '0', 5}},
      {"x.bin 1 +12", {"x.bin", 1, 12}},
      {"x.bin 1 -12", {"x.bin", 1, -12}},  // the address frame rejects it later
      {"x.bin\t1 \t 12 \t", {"x.bin", 1, 12}},
      {"x.bin 1 0x7FFFFFFF", {"x.bin", 1, 2147483647}},
      {"x.bin 1 0x00000000000000001", {"x.bin", 1, 1}},
      {"x.bin 1 2147483647", {"x.bin", 1, 2147483647}},
      {"x.bin 1 -2147483648", {"x.bin", 1, -2147483647 - 1}},
      {"x.bin 1 007", {"x.bin", 1, 7}},
      {"\t1\t0x10", {"", 1, 16}},  // empty name: reported missing later
      {" 1 0x10", {"", 1, 16}},
      {"d\xC3\xA9j\xC3\xA0.bin\t2\t0", {"d\xC3\xA9j\xC3\xA0.bin", 2, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.line));
    EXPECT_EQ(parsed(c.line), c.entry);
  }
}

TEST(TransferList, blankLines_areSkipped) {
  for (const ByteString line : {"", " ", "\t", " \t \t  ", "\t\t"}) {
    EXPECT_FALSE(parseListLine(line, "program.txt", 1).has_value()) << ::testing::PrintToString(line);
  }
}

TEST(TransferList, malformedLines_throwNamedFaults) {
  const std::string at = "program.txt line 7: ";
  const struct {
    ByteString line;
    int32_t number;
    std::string description;
  } cases[] = {
      {"code.bin", fault::kInvalidArgument,
       at + "\"code.bin\" has no tab or blank between the file name and the memory type"},
      {"code.bin\t", fault::kInvalidArgument,
       at + "nothing follows the file name \"code.bin\"; a memory type and an address are missing"},
      {"code.bin \t ", fault::kInvalidArgument,
       at + "nothing follows the file name \"code.bin \"; a memory type and an address are missing"},
      {"x.bin 1 0x10 \t", fault::kInvalidArgument,  // a tab anywhere is the separator
       at + "nothing follows the file name \"x.bin 1 0x10 \"; a memory type and an address are missing"},
      {"code.bin\t1", fault::kInvalidArgument, at + "no address follows memory type \"1\""},
      {"code.bin\t1 \t ", fault::kInvalidArgument, at + "no address follows memory type \"1\""},
      {"code.bin\t/ 0", fault::kOverflow, at + "memory type \"/\" is not a digit (it lies below \"0\")"},
      {"code.bin\t \t1 0", fault::kOverflow, at + "memory type \"\\x09\" is not a digit (it lies below \"0\")"},
      {"a.bin\t1\t0x12G", fault::kInvalidArgument, at + "address \"0x12G\" is not a hexadecimal number"},
      {"a.bin\t1\t0x", fault::kInvalidArgument, at + "address \"0x\" is not a hexadecimal number"},
      {"a.bin\t1\t0x  ", fault::kInvalidArgument, at + "address \"0x\" is not a hexadecimal number"},
      {"a.bin\t1\t0x 1", fault::kInvalidArgument, at + "address \"0x 1\" is not a hexadecimal number"},
      {"a.bin\t1\t0x1 2", fault::kInvalidArgument, at + "address \"0x1 2\" is not a hexadecimal number"},
      {"a.bin\t1\t12 0x4", fault::kInvalidArgument, at + "address \"12 0x4\" is not a hexadecimal number"},
      {"a.bin\t1\t-0x10", fault::kInvalidArgument, at + "address \"-0x10\" is not a hexadecimal number"},
      {"a.bin 11 0x10", fault::kInvalidArgument, at + "address \"1 0x10\" is not a hexadecimal number"},
      {"a.bin\t1\t0x80000000", fault::kOverflow, at + "address \"0x80000000\" does not fit a signed 32-bit number"},
      {"a.bin\t1\t0xFFFFFFFFFFFF", fault::kOverflow,
       at + "address \"0xFFFFFFFFFFFF\" does not fit a signed 32-bit number"},
      {"a.bin\t1\t12a", fault::kTypeMismatch, at + "address \"12a\" is not a decimal number"},
      {"a.bin\t1\t1 2", fault::kTypeMismatch, at + "address \"1 2\" is not a decimal number"},
      {"a.bin\t1\t+", fault::kTypeMismatch, at + "address \"+\" is not a decimal number"},
      {"a.bin\t1\t- 5", fault::kTypeMismatch, at + "address \"- 5\" is not a decimal number"},
      {"a.bin\t1\t&H10", fault::kTypeMismatch, at + "address \"&H10\" is not a decimal number"},
      {"a.bin\t1\t1e3", fault::kTypeMismatch, at + "address \"1e3\" is not a decimal number"},
      {"a.bin\t1\t1.5", fault::kTypeMismatch, at + "address \"1.5\" is not a decimal number"},
      {"my code.bin 2 4096", fault::kTypeMismatch, at + "address \"ode.bin 2 4096\" is not a decimal number"},
      {"a.bin\t1\t2147483648", fault::kOverflow, at + "address \"2147483648\" does not fit a signed 32-bit number"},
      {"a.bin\t1\t-2147483649", fault::kOverflow, at + "address \"-2147483649\" does not fit a signed 32-bit number"},
      {"a.bin\t1\t99999999999999999999999", fault::kOverflow,
       at + "address \"99999999999999999999999\" does not fit a signed 32-bit number"},
      {ByteString("a\0b.bin\t1\t0", 11), fault::kBadFileName, at + "the file name \"a\\x00b.bin\" holds a NUL byte"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.line));
    try {
      parseListLine(c.line, "program.txt", 7);
      ADD_FAILURE() << "no fault";
    } catch (const Fault& f) {
      EXPECT_EQ(f.number(), c.number);
      EXPECT_EQ(f.description(), c.description);
      EXPECT_EQ(f.source(), "transfer list");
    }
  }
}

TEST(TransferList, lineEnds_crCrlfAndLfThroughLineReader) {
  std::istringstream in("a.bin\t1\t0x10\rb.bin 2 20\r\n\r\nc.bin 3 0X1F\n \t\nd.bin\t4\t7");
  LineReader reader(in);
  std::vector<std::pair<long, ListEntry>> entries;
  ByteString line;
  while (reader.next(line)) {
    if (auto entry = parseListLine(line, "all.txt", reader.lineNumber()))
      entries.emplace_back(reader.lineNumber(), *entry);
  }
  const std::vector<std::pair<long, ListEntry>> expected = {
      {1, {"a.bin", 1, 16}}, {2, {"b.bin", 2, 20}}, {4, {"c.bin", 3, 31}}, {6, {"d.bin", 4, 7}}};
  EXPECT_EQ(entries, expected);
}

TEST(TransferList, faultAfterBlankLines_namesTheRightLine) {
  std::istringstream in("a.bin 1 0\r\n\r\n\r\nb.bin 1 0x1Z\r\n");
  LineReader reader(in);
  ByteString line;
  try {
    while (reader.next(line)) parseListLine(line, "ERestore.txt", reader.lineNumber());
    FAIL() << "no fault";
  } catch (const Fault& f) {
    EXPECT_EQ(f.description(), "ERestore.txt line 4: address \"0x1Z\" is not a hexadecimal number");
  }
}

TEST(TransferList, anyBytes_parseOrThrowFaultOnly) {
  std::mt19937 random(20240607);
  const char alphabet[] = {'0', '1', '3', 'x', 'X', 'f', 'G', ' ', '\t', '-', '+', '\0', '\xFF', '/', 'a'};
  for (int round = 0; round < 20000; ++round) {
    ByteString line(random() % 24, '\0');
    for (char& c : line) {
      c = (random() % 4 == 0) ? static_cast<char>(random() % 256) : alphabet[random() % sizeof alphabet];
    }
    try {
      const auto entry = parseListLine(line, "program.txt", round);
      if (entry) {
        EXPECT_LT(entry->name.size(), line.size());
      }
    } catch (const Fault& f) {
      EXPECT_EQ(f.description().rfind("program.txt line " + std::to_string(round) + ": ", 0), 0u);
    }
  }
}

TEST(TransferList, chosenList_followsOptionOrder) {
  testing::FakeClock clock;
  testing::FakeWindow window(clock);
  const struct {
    std::set<Source> selected;
    std::string list;
  } cases[] = {
      {{Source::Lorebank}, "lorebank.txt"},
      {{Source::Program}, "program.txt"},
      {{Source::ProgramAndDsd}, "all.txt"},
      {{Source::EmergencyRestore}, "ERestore.txt"},
      {{Source::EmergencyRestore, Source::Lorebank}, "lorebank.txt"},
      {{Source::EmergencyRestore, Source::ProgramAndDsd}, "all.txt"},
      {{Source::ProgramAndDsd, Source::Program}, "program.txt"},
      {{}, ""},
  };
  for (const auto& c : cases) {
    window.selectedSources = c.selected;
    EXPECT_EQ(chosenTransferList(window), c.list);
  }
}

TEST(TransferList, memoryTypeLabel_forKnownTypesOnly) {
  const struct {
    uint8_t type;
    const char* label;
  } cases[] = {{0, ""}, {1, "Code("}, {2, "MMC("}, {3, "DSD Flash("}, {4, ""}, {255, ""}};
  for (const auto& c : cases) EXPECT_EQ(memoryTypeLabel(c.type), c.label) << int(c.type);
}

TEST(TransferList, quotedForFault_escapesControlBytesAndCutsLongText) {
  EXPECT_EQ(quotedForFault("a\tb\x7F"), "\"a\\x09b\\x7F\"");
  EXPECT_EQ(quotedForFault(ByteString(61, 'z')), "\"" + std::string(60, 'z') + "...\"");
  EXPECT_EQ(quotedForFault(ByteString(60, 'z')), "\"" + std::string(60, 'z') + "\"");
  EXPECT_EQ(quotedForFault(""), "\"\"");
}

}  // namespace
}  // namespace torvane
