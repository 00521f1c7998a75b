// The USB adapter pulled out and put back. Real time: a missed hang-up would wait out the 20-s time-out.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/e2e_expect.h"
#include "tests/e2e/fast_clock.h"

namespace torvane::e2e {
namespace {

TEST(E2eUnplug, adapterPulledAtFrame3_endsAtOnceNamingThePortAndTheNextRunCompletes) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string image = patternBytes(1500, 17);
  bench.writeFile("code.bin", image);
  bench.writeFile("program.txt", "code.bin\t1\t0x8000\r\n");
  ASSERT_TRUE(bench.startSim(1, {"--unplug-at", "3"})) << bench.error();
  // Wall and CPU time (std::clock: the process's) from the sending of frame 3.
  std::chrono::steady_clock::time_point sentAt;
  std::clock_t cpuAtSend = 0;
  bench.ops().onStatus = [&](const std::string& text) {
    if (text.find("Sending data (514 bytes, 3)") != std::string::npos) {
      sentAt = std::chrono::steady_clock::now();
      cpuAtSend = std::clock();
    }
  };
  const Outcome pulled = bench.runUpdate(Source::Program, 1);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - sentAt).count();
  const double cpu = static_cast<double>(std::clock() - cpuAtSend) / CLOCKS_PER_SEC;
  const Outcome again = bench.runUpdate(Source::Program, 1);
  SimReport report = bench.stopSim();
  // A refused TIOCVHANGUP comes first among the errors.
  ASSERT_EQ(report.unplugs, 1) << report.summaryLine << "\n" << (report.errors.empty() ? "" : report.errors[0]);
  EXPECT_EQ(pulled.finalStatus,
            " Error: The serial device behind COM1 (" + bench.deviceOf(1) +
                ") went away (the device hung up). Check the cable and the adapter, then start again.")
      << describe(pulled);
  EXPECT_EQ(pulled.boxes, std::vector<std::string>{"8020: " + pulled.finalStatus.substr(8) + ", mscCom"});
  expectCleanEnd(pulled);
  EXPECT_LT(wall, 1.0);
  EXPECT_LT(cpu, 0.05 + 0.25 * wall) << "a busy wait takes about all of the time";
  EXPECT_EQ(again.finalStatus, " Status: UPDATE COMPLETE") << describe(again, &report);
  expectCleanEnd(again);
  // The image that the unplug cut off stays in the report, in the first session.
  std::erase_if(report.images, [&](const SimImage& i) { return i.session != report.sessions; });
  expectImages(report, {{1, 0x8000, image}});
}

}  // namespace
}  // namespace torvane::e2e
