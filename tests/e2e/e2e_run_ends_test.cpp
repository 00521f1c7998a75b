// The three ends of an update run against the simulated machine:
// completion, the early end after no STX, and the failure path.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/e2e_expect.h"

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

  expectCompleted(run, report, {{1, 0x8000, code}});
  EXPECT_EQ(bench.sim().savedImage(1), code);
  // The road of a normal run, in order.
  int at = 0;
  for (const char* step : {" Status: Opening and initiating connection", " Status: Sending load command",
                           " Status: Waiting for response-TorVane\u00AE Ready to Receive<CR>",
                           " Status: TorVane\u00AE in Receive Mode. Sending A", " Status: Changing baud rate to 38400",
                           " Status: Waiting for STX", " Status: Sending code.bin (1500 bytes) to Code(32768)",
                           " Status: Sending address (15 bytes, 1)\r\n  Waiting for acknowledgement",
                           " Status: Sending data (514 bytes, 2)\r\n  Waiting for acknowledgement",
                           " Status: Sending end of transmission (15 bytes, 5)\r\n  Waiting for acknowledgement",
                           " Status: Received ACK", " Status: Finished closing connection"}) {
    const int found = run.findStatus(step, at);
    EXPECT_GE(found, 0) << "missing or out of order: " << step;
    if (found >= 0) at = found;
  }
}

TEST(E2eRunEnds, machineNeverSendsStx_endsEarlyAfterTheStxTimeOut) {
  E2eBench bench(20);  // 5 s + 20 s of waiting pass in about 1.3 s
  ASSERT_TRUE(bench.ok()) << bench.error();
  bench.writeFile("program.txt", "code.bin\t1\t0x8000\r\n");
  ASSERT_TRUE(bench.mapSilent(1)) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 1);

  EXPECT_EQ(run.finalStatus, " Status: Waiting for STX timed out, program end");
  EXPECT_TRUE(run.boxes.empty());
  expectCleanEnd(run);
  // No load reply: the ready stage is skipped, the line goes to 38400.
  EXPECT_FALSE(run.sawStatus(" Status: Waiting for response-TorVane\u00AE Ready to Receive<CR>"));
  const int baud = run.findStatus(" Status: Changing baud rate to 38400");
  EXPECT_GE(baud, 0);
  EXPECT_GT(run.findStatus(" Status: Waiting for STX", baud), baud);
  EXPECT_LT(run.realSeconds, 20.0);
}

TEST(E2eRunEnds, absentDevice_takesTheFailurePathWithTheDeviceNamed) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  bench.writeFile("program.txt", "code.bin\t1\t0x8000\r\n");
  // COM2 stands for a path that does not exist.

  const Outcome run = bench.runUpdate(Source::Program, 2);

  ASSERT_EQ(run.finalStatus.rfind(" Error: ", 0), 0u) << run.finalStatus;
  const std::string description = run.finalStatus.substr(8);
  EXPECT_FALSE(description.empty());
  EXPECT_NE(description.find("COM2"), std::string::npos) << description;
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0], "8002: " + description + ", mscCom");
  expectCleanEnd(run);
  EXPECT_EQ(run.commPort, 2);
}

TEST(E2eRunEnds, runAfterAFailedRun_startsFromTheSameStateAndCompletes) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string code = patternBytes(700, 2);
  bench.writeFile("code.bin", code);
  bench.writeFile("program.txt", "code.bin 1 4096\r\n");
  ASSERT_TRUE(bench.startSim(3, {})) << bench.error();

  const Outcome failed = bench.runUpdate(Source::Program, 2);  // absent
  ASSERT_EQ(failed.boxes.size(), 1u);
  const Outcome run = bench.runUpdate(Source::Program, 3);
  const SimReport report = bench.stopSim();

  expectCompleted(run, report, {{1, 4096, code}});
}

}  // namespace
}  // namespace torvane::e2e
