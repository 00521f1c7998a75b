// The update log after a whole run against the simulated machine: the hashes
// it records are those of the images the machine rebuilt.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "app/frmdl.h"
#include "context/form_context.h"
#include "record/history.h"
#include "record/update_recorder.h"
#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/e2e_expect.h"

namespace torvane::e2e {
namespace {

TEST(E2eRecord, completedRun_recordsTheHashesOfTheImagesTheMachineRebuilt) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::vector<SentImage> sent = {
      {1, 0x8000, patternBytes(1500, 81)}, {2, 0x10, patternBytes(1, 82)}, {3, 0x100000, patternBytes(2048, 83)}};
  bench.writeFile("code.bin", sent[0].bytes);
  bench.writeFile("mmc.bin", sent[1].bytes);
  bench.writeFile("dsd.bin", sent[2].bytes);
  bench.writeFile("all.txt", "code.bin\t1\t0x8000\r\nmmc.bin\t2\t0x10\r\ndsd.bin\t3\t0x100000\r\n");
  ASSERT_TRUE(bench.startSim(1, {"--nak-once", "3"})) << bench.error();
  const std::filesystem::path log = bench.dir() + "/state/updates.jsonl";
  UpdateRecorder recorder({log, "torvane-update", "1.0.0", bench.dir(), {}});
  bench.window().addRunObserver(&recorder);
  const Outcome run = bench.runUpdate(Source::ProgramAndDsd, 1);
  const SimReport report = bench.stopSim();

  expectCompleted(run, report, sent);
  std::deque<StoredRecord> records;
  const std::string error = readRecords(log, 20, records);
  ASSERT_TRUE(error.empty() && records.size() == 1) << error;
  EXPECT_EQ(records[0].record["resends"], report.verdictCount("NAK"));
  const nlohmann::json& entries = records[0].record["entries"];
  ASSERT_EQ(entries.size(), report.images.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i]["sha256"], report.images[i].sha256) << i;
  }
}

}  // namespace
}  // namespace torvane::e2e
