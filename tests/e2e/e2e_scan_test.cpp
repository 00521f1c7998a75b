// The port scan end to end: the start-up scan finds the simulated machine
// behind silent and absent ports, and the next run updates it there.
#include <gtest/gtest.h>

#include <QRadioButton>

#include "app/frmdl.h"
#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/e2e_expect.h"

namespace torvane::e2e {
namespace {

TEST(E2eScan, machineOnCom3BehindTwoSilentPorts_isFoundAndThenUpdated) {
  E2eBench bench(5);  // 2 s of listening per silent port last 0.4 s
  ASSERT_TRUE(bench.ok()) << bench.error();
  ASSERT_TRUE(bench.mapSilent(1)) << bench.error();
  ASSERT_TRUE(bench.mapSilent(2)) << bench.error();
  ASSERT_TRUE(bench.startSim(3, {"--announce-ms", "50"})) << bench.error();
  const std::string image = patternBytes(1200, 101);
  bench.writeFile("code.bin", image);
  bench.writeFile("program.txt", "code.bin\t1\t0x8000\r\n");

  const Outcome scan = bench.formLoad();

  EXPECT_EQ(scan.finalStatus, " Status: TorVane\u00AE found on Com3");
  EXPECT_EQ(scan.selectedPort, 3);
  EXPECT_EQ(scan.commPort, 3);
  EXPECT_TRUE(scan.portClosed);
  EXPECT_TRUE(scan.defaultPointer);
  EXPECT_EQ(scan.fdsAfter, scan.fdsBefore) << fdDifference(scan.fdListBefore, scan.fdListAfter);
  EXPECT_TRUE(scan.boxes.empty());
  const std::vector<std::string> expected = {
      " Status: Scanning Port COM1\r\n", " Status: TorVane\u00AE not found on COM1\r\n",
      " Status: Scanning Port COM2\r\n", " Status: TorVane\u00AE not found on COM2\r\n",
      " Status: Scanning Port COM3\r\n", " Status: TorVane\u00AE found on Com3"};
  EXPECT_EQ(scan.statuses, expected);

  // "&Start Update" with the port the scan selected.
  const Outcome run = bench.runUpdate(Source::Program, 0);
  const SimReport report = bench.stopSim();

  EXPECT_EQ(run.commPort, 3);
  expectCompleted(run, report, {{1, 0x8000, image}});
}

TEST(E2eScan, noMachineAnywhere_tellsTheOperatorAndLeavesNothingOpen) {
  E2eBench bench(20);
  ASSERT_TRUE(bench.ok()) << bench.error();
  ASSERT_TRUE(bench.mapSilent(1)) << bench.error();
  ASSERT_TRUE(bench.mapSilent(6)) << bench.error();
  bench.window().checkPortOption(5);  // COM5 chosen before

  const Outcome scan = bench.formLoad();

  EXPECT_EQ(scan.finalStatus, " Status: Can not locate TorVane\u00AE.\r\n  Make sure it is connected and cleared.");
  EXPECT_EQ(scan.selectedPort, 5);
  EXPECT_TRUE(scan.portClosed);
  EXPECT_TRUE(scan.defaultPointer);
  EXPECT_EQ(scan.fdsAfter, scan.fdsBefore) << fdDifference(scan.fdListBefore, scan.fdListAfter);
  EXPECT_TRUE(scan.boxes.empty());
  // Only the two ports that open are listened on; absent ones get no not-found text.
  EXPECT_TRUE(scan.sawStatus(" Status: TorVane\u00AE not found on COM1\r\n"));
  EXPECT_TRUE(scan.sawStatus(" Status: TorVane\u00AE not found on COM6\r\n"));
  EXPECT_FALSE(scan.sawStatus(" Status: TorVane\u00AE not found on COM2\r\n"));
  EXPECT_TRUE(scan.sawStatus(" Status: Scanning Port COM9\r\n"));
}

TEST(E2eScan, configurePortAfterARun_findsTheMachineOnItsNewPort) {
  E2eBench bench(5);
  ASSERT_TRUE(bench.ok()) << bench.error();
  ASSERT_TRUE(bench.startSim(7, {"--announce-ms", "50", "--announce-any-speed"})) << bench.error();
  bench.writeFile("program.txt", "");

  const Outcome failed = bench.runUpdate(Source::Program, 1);  // nothing on COM1
  ASSERT_EQ(failed.boxes.size(), 1u);
  const Outcome scan = bench.configurePort();

  EXPECT_EQ(scan.finalStatus, " Status: TorVane\u00AE found on Com7");
  EXPECT_EQ(scan.selectedPort, 7);
  EXPECT_TRUE(scan.portClosed);
  EXPECT_EQ(scan.fdsAfter, scan.fdsBefore) << fdDifference(scan.fdListBefore, scan.fdListAfter);
}

}  // namespace
}  // namespace torvane::e2e
