// The three ends of an update run against the simulated machine:
// completion, the early end after no STX, and the failure path.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_bench.h"

namespace torvane::e2e {
namespace {

TEST(E2eRunEnds, programList_completesAndMachineHoldsTheImages) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string code = patternBytes(1500, 1);
  bench.writeFile("code.bin", code);
  bench.writeFile("program.txt", "code.bin\t1\t0x8000\r\n");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  EXPECT_EQ(run.finalStatus, " Status: UPDATE COMPLETE");
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(run.portClosed);
  EXPECT_TRUE(run.defaultPointer);
  EXPECT_EQ(run.fdsAfter, run.fdsBefore);
  ASSERT_TRUE(report.parsed) << report.parseError;
  EXPECT_EQ(report.result, "OK") << report.summaryLine;
  ASSERT_EQ(report.images.size(), 1u);
  EXPECT_EQ(report.images[0].size, code.size());
  EXPECT_EQ(report.images[0].sha256, sha256Of(code));
  EXPECT_EQ(bench.sim().savedImage(1), code);
}

}  // namespace
}  // namespace torvane::e2e
