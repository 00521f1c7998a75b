// Reading the update log back.
#include "record/history.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "record/record_json.h"
#include "record/update_log.h"
#include "tests/record/record_test_support.h"
#include "tests/support/scratch_folder.h"

namespace torvane {
namespace {

// A line as the recorder writes it: a run on COM `com` that sent `image` with this SHA-256.
std::string recordLineFor(int com, RunOutcome outcome, const std::string& image, const std::string& sha256) {
  RunRecord r;
  r.source = "program";
  r.entries = {{image, 512, 1, 0, sha256, 2, 0, true}};
  r.frames = 7;
  r.outcome = outcome;
  RunSetting s;
  s.start = s.end = "2025-03-04T09:15:00+01:00";
  s.port.com = com;
  return recordLine(r, s);
}

struct Printed {
  int code;
  std::string out, err;
};

Printed history(const std::filesystem::path& log, int count = 20, bool asJson = false) {
  std::ostringstream out, err;
  const int code = printHistory(log, count, asJson, out, err);
  return {code, out.str(), err.str()};
}

constexpr char kHeading[] = "End                        Outcome    Source    Port   Frames  Resends  Images\n";

TEST(History, lineCutOffMidWrite_isSkippedAndTheNextRecordStandsOnItsOwn) {
  test::ScratchWorkingFolder folder("torvane-history");
  EXPECT_EQ(history("updates.jsonl").out, "No update runs recorded in updates.jsonl\n");
  const std::string a = recordLineFor(1, RunOutcome::Complete, "code.bin", std::string(64, 'a'));
  const std::string b = recordLineFor(2, RunOutcome::Failed, "x.bin", "0123456789abcdef" + std::string(48, '0'));
  const std::string c = recordLineFor(3, RunOutcome::Complete, "y.bin", std::string(64, 'c'));
  for (const std::string& line : {a, b}) ASSERT_EQ(appendLine("updates.jsonl", line), "");
  test::writeFile("updates.jsonl", test::readFile("updates.jsonl") + c.substr(0, c.size() / 2));

  EXPECT_EQ(history("updates.jsonl", 20, true).out, a + '\n' + b + '\n');
  const std::string table = history("updates.jsonl").out;
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3) << table;  // heading and two rows
  EXPECT_NE(table.find("2025-03-04T09:15:00+01:00  failed     program   COM2        7        0  x.bin 0123456789ab\n"),
            std::string::npos)
      << table;

  ASSERT_EQ(appendLine("updates.jsonl", c), "");
  EXPECT_EQ(history("updates.jsonl", 2, true).out, b + '\n' + c + '\n');
}

TEST(History, lineLongerThanTheLongestRecord_isSkipped) {
  test::ScratchWorkingFolder folder("torvane-history");
  const std::string a = recordLineFor(1, RunOutcome::Complete, "a.bin", std::string(64, 'a'));
  const std::string b = recordLineFor(2, RunOutcome::Complete, "b.bin", std::string(64, 'b'));
  const std::string huge = "{\"name\":\"" + std::string(kLongestRecordLine, 'x') + "\"}";
  test::writeFile("updates.jsonl", a + '\n' + huge + '\n' + b + '\n' + huge);
  EXPECT_EQ(history("updates.jsonl", 20, true).out, a + '\n' + b + '\n');
}

// A line of the log as the tool has always written it, and its row.
constexpr char kStoredLine[] =
    R"({"end":"2025-03-04T09:15:00+01:00","entries":[{"address":32768,"frames":4,"memory_type":1,"name":"código.bin",)"
    R"("resends":1,"sent":true,"sha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad","size":1500},)"
    R"({"address":16,"frames":0,"memory_type":2,"name":"none.bin","resends":0,"sent":false,"sha256":null,"size":null},)"
    R"({"address":1048576,"frames":2,"memory_type":3,"name":"dsd.bin","resends":0,"sent":false,)"
    R"("sha256":"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855","size":2048}],)"
    R"("fault":{"description":"","number":0,"source":""},"folder":"/srv/fw/2.4 ®","frames":7,"host":"bench-pc",)"
    R"("list":"all.txt","outcome":"failed","port":{"com":2,"device":"/dev/ttyUSB0"},"resends":1,"seconds":41.238,)"
    R"("source":"all","start":"2025-03-04T09:14:18+01:00","status":" Status: Received program fail - ",)"
    R"("tool":{"name":"torvane-update","version":"1.0.0"},"user":"op",)"
    R"("verdicts":{"ACK":6,"CAN":1,"ETX":0,"NAK":1,"STX":0,"timeout":0}})";

TEST(History, storedLine_isWrittenAgainByteForByteAndPrintsTheSameRow) {
  RunRecord r;
  r.com = 2;
  r.source = "all";
  r.list = "all.txt";
  r.entries = {
      {"código.bin", 1500, 1, 0x8000, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", 4, 1, true},
      {"none.bin", std::nullopt, 2, 16, "", 0, 0, false},
      {"dsd.bin", 2048, 3, 0x100000, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", 2, 0, false}};
  r.frames = 7;
  r.resends = 1;
  r.verdicts = {6, 1, 1, 0, 0, 0};
  r.status = " Status: Received program fail - ";
  r.fault = RunFault{};
  r.seconds = 41.2375;
  const RunSetting s{"2025-03-04T09:14:18+01:00",
                     "2025-03-04T09:15:00+01:00",
                     "torvane-update",
                     "1.0.0",
                     "bench-pc",
                     "op",
                     "/srv/fw/2.4 ®",
                     PortDetails{2, "/dev/ttyUSB0"}};
  EXPECT_EQ(recordLine(r, s), kStoredLine);

  test::ScratchWorkingFolder folder("torvane-history");
  test::writeFile("updates.jsonl", std::string(kStoredLine) + "\r\n");
  EXPECT_EQ(history("updates.jsonl").out, std::string(kHeading) +
                                              "2025-03-04T09:15:00+01:00  failed     all       COM2        7        1  "
                                              "código.bin ba7816bf8f01, none.bin (missing), dsd.bin e3b0c44298fc (not "
                                              "sent)\n");
}

TEST(History, recordWithoutCom_showsItsDeviceElseADash) {
  const struct {
    const char* port;
    const char* cell;
  } rows[] = {
      {R"({"com":4,"device":"/dev/ttyUSB1"})", "COM4 "},
      {R"({"device":"/dev/ttyUSB1"})", "/dev/ttyUSB1"},
      {R"({"device":"/dev/\u001b[2J"})", "/dev/\\x1b[2J"},
      {R"({"device":""})", "-    "},
      {R"({})", "-    "},
  };
  test::ScratchWorkingFolder folder("torvane-history");
  for (const auto& row : rows) {
    test::writeFile("updates.jsonl", std::string(R"({"end":"E","outcome":"complete","source":"all","port":)") +
                                         row.port + R"(,"frames":1,"resends":0,"entries":[]})");
    const std::string cellAt = "E                          complete   all       ";
    EXPECT_EQ(history("updates.jsonl").out.substr(sizeof kHeading - 1, cellAt.size() + std::strlen(row.cell)),
              cellAt + row.cell)
        << row.port;
  }
}

TEST(History, controlCharactersFromTheLog_arePrintedEscaped) {
  test::ScratchWorkingFolder folder("torvane-history");
  const std::string escaped =
      R"({"end":"\u001b]0;x\u0007","entries":[{"name":"a\tb\u007f","sha256":"\u001b","sent":true}]})";
  const std::string raw = "{\"outcome\":\t\"\x7f\"}";  // a raw tab between the tokens, a raw DEL in a text
  test::writeFile("updates.jsonl", escaped + '\n' + raw + '\n');
  const std::string table = history("updates.jsonl").out;
  EXPECT_NE(table.find("\\x1b]0;x\\x07  "), std::string::npos) << table;
  EXPECT_NE(table.find("a\\x09b\\x7f \\x1b\n"), std::string::npos) << table;
  EXPECT_NE(table.find('\n' + std::string(27, ' ') + "\\x7f "), std::string::npos) << table;
  EXPECT_EQ(history("updates.jsonl", 20, true).out, escaped + "\n{\"outcome\":\"\\u007f\"}\n");
}

TEST(History, logThatIsNoRegularFile_isRefusedAtOnceWithOneLine) {
  test::ScratchWorkingFolder folder("torvane-history");
  std::vector<std::filesystem::path> logs = test::notRegularFiles();
#ifndef _WIN32
  logs.push_back("/dev/zero");
#endif
  for (const std::filesystem::path& log : logs) {
    const Printed printed = history(log);
    EXPECT_EQ(printed.code, 1) << log;
    EXPECT_EQ(printed.out, "") << log;
    EXPECT_EQ(printed.err, "the update log " + log.string() + " cannot be read: " + kNotRegularFile + "\n");
  }
}

}  // namespace
}  // namespace torvane
