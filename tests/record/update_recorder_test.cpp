// The recorder's lines in the update log for runs against the fakes.
#include "record/update_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>
#include <regex>

#include "record/host.h"
#include "record/sha256.h"
#include "record/update_log.h"
#include "run/update_driver.h"
#include "tests/record/record_test_support.h"
#include "tests/run/transfer_test_support.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class UpdateRecorderTest : public ::testing::Test {
 protected:
  test::ScratchWorkingFolder folder{"torvane-recorder"};
  const fs::path log = "state/torvane-update/updates.jsonl";
  std::vector<std::string> statuses;

  // One run against the machine, recorded in `path` if there is one.
  void run(const std::optional<fs::path>& path, std::map<int, char> verdicts = {}) {
    testing::ProcedureRig<> rig;
    UpdateRecorder recorder({path.value_or(""), "torvane-update", "1.0.0", folder.dir(), [](int com) {
                               return PortDetails{com, "/dev/ttyT" + std::to_string(com)};
                             }});
    if (path) rig.ctx.observers = {&recorder};
    testing::machine(rig, std::move(verdicts));
    cmdStart_Click(rig.ctx);
    statuses = rig.window.statuses;
  }

  // A run recorded in `path` that cannot be: the run is as without a record,
  // standard error has one line that names the log and says `why`.
  void expectUnrecorded(const fs::path& path, const std::string& why) {
    testing::writeFourEntryList();
    run(std::nullopt);
    const std::vector<std::string> unrecorded = statuses;
    ::testing::internal::CaptureStderr();
    run(path);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(statuses, unrecorded) << path;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("the update log " + pathText(path) + " cannot be written ("), std::string::npos) << err;
    EXPECT_NE(err.find(why), std::string::npos) << err;
  }
};

TEST_F(UpdateRecorderTest, eachRun_appendsOneLineWithEveryField) {
  test::writeFile("abc.bin", "abc");
  test::writeFile("empty.bin", "");
  test::writeFile("big.bin", testing::pattern(1300, 4));
  test::writeFile("program.txt", "abc.bin\t1\t0x8000\r\nempty.bin 2 0\r\nbig.bin\t3\t4096\r\n");
  run(log, {{3, '\x02'}});  // STX: big.bin's first data frame again
  ASSERT_EQ(test::storedRecords(log).size(), 1u);
  json r = test::storedRecords(log)[0].record;
  const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
  EXPECT_TRUE(std::regex_match(r["start"].get<std::string>(), iso)) << r["start"];
  EXPECT_TRUE(std::regex_match(r["end"].get<std::string>(), iso)) << r["end"];
  EXPECT_GT(r["seconds"].get<double>(), 0);
  EXPECT_EQ(r["host"], hostName());
  EXPECT_EQ(r["folder"], pathText(folder.dir()));
  EXPECT_EQ(r["entries"][0], json::parse(R"({"name": "abc.bin", "size": 3, "memory_type": 1, "address": 32768,
    "sha256": "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", "frames": 2, "resends": 0,
    "sent": true})"));
  EXPECT_EQ(r["entries"][1]["sha256"], "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(r["entries"][2]["sha256"], sha256Hex(test::readFile("big.bin")));
  for (const char* name : {"start", "end", "seconds", "host", "user", "folder", "entries"}) r.erase(name);
  EXPECT_EQ(r, json::parse(R"({"tool": {"name": "torvane-update", "version": "1.0.0"}, "source": "program",
    "list": "program.txt", "port": {"com": 1, "device": "/dev/ttyT1"}, "frames": 8, "resends": 1,
    "verdicts": {"ACK": 8, "NAK": 0, "CAN": 0, "ETX": 0, "STX": 1, "timeout": 0},
    "outcome": "complete", "status": " Status: UPDATE COMPLETE", "fault": null})"));

  test::writeFile("program.txt", "abc.bin\t1\t0x8000\r\nnone.bin 2 16\r\n");
  run(log);
  run(log, {{0, '\x18'}});  // CAN on the first frame
  const std::deque<StoredRecord> records = test::storedRecords(log);
  ASSERT_EQ(records.size(), 3u);  // appended, the first line kept
  EXPECT_EQ(records[1].record["outcome"], "early_end");
  EXPECT_EQ(records[1].record["entries"][1], json::parse(R"({"name": "none.bin", "size": null, "sha256": null,
    "memory_type": 2, "address": 16, "frames": 0, "resends": 0, "sent": false})"));
  EXPECT_EQ(records[2].record["outcome"], "failed");
  EXPECT_EQ(records[2].record["fault"], json::parse(R"({"number": 0, "description": "", "source": ""})"));
}

TEST_F(UpdateRecorderTest, unwritableLog_costsOneLineOnStandardErrorAndNothingElse) {
  test::writeFile("plain-file", "");
  expectUnrecorded("plain-file/updates.jsonl", "the folder");
  EXPECT_EQ(test::readFile("plain-file"), "");
  for (const fs::path& path : test::notRegularFiles()) {
    expectUnrecorded(path, fs::is_symlink(path) ? kSymbolicLink : kNotRegularFile);
  }
}

TEST_F(UpdateRecorderTest, symbolicLinkAsLog_isRefusedAndWhatItNamesKept) {
  test::writeFile("elsewhere.txt", "not a log\n");
  fs::create_symlink("elsewhere.txt", "linked.jsonl");
  fs::create_symlink("missing.txt", "dangling.jsonl");
  expectUnrecorded("linked.jsonl", kSymbolicLink);
  expectUnrecorded("dangling.jsonl", kSymbolicLink);
  EXPECT_EQ(test::readFile("elsewhere.txt"), "not a log\n");
  EXPECT_FALSE(fs::exists("missing.txt"));
}

TEST_F(UpdateRecorderTest, recordCutOffByTheFileSizeLimit_leavesTheLogAsItWas) {
  // The earlier line is long enough for the limit to leave room for the
  // line on standard error, which the test captures in a file.
  const std::string earlier = "{\"status\":\"" + std::string(300, '.') + "\"}";
  const struct {
    std::string before;
    uint64_t room;  // bytes the limit leaves for the record
  } rows[] = {
      {earlier + '\n', 300},        // the write is cut short
      {earlier + '\n', 0},          // no byte fits: the write fails
      {earlier.substr(0, 200), 1},  // only the line end that goes first fits
  };
  for (const auto& row : rows) {
    test::writeFile("full.jsonl", row.before);
    {
      const test::FileSizeLimit disk(row.before.size() + row.room);
      expectUnrecorded("full.jsonl", "");
    }
    EXPECT_EQ(test::readFile("full.jsonl"), row.before) << row.room;
  }
}

#ifdef SIGXFSZ
TEST(UpdateLog, writePastTheFileSizeLimit_failsInsteadOfKillingTheProgram) {
  test::ScratchWorkingFolder folder("torvane-xfsz");
  EXPECT_EXIT(
      {
        const test::FileSizeLimit limit(10);
        std::signal(SIGXFSZ, SIG_DFL);  // as a program starts
        ignoreFileSizeSignal();
        std::exit(appendLine("updates.jsonl", std::string(100, 'x')).empty() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace torvane
