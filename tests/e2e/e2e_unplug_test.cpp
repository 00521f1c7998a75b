// The USB adapter pulled out in the middle of a run and put back: the run
// ends at once with the port named and the device gone, without spinning,
// and the next "Start Update" completes. Real time throughout (no fast
// clock), so that only noticing the hang-up, not the 20-s verdict time-out,
// ends the first run in time.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <time.h>

#include <chrono>

#include "encoding/fault.h"
#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/e2e_expect.h"
#include "tests/e2e/fast_clock.h"

namespace torvane::e2e {
namespace {

double processCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double childrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

TEST(E2eUnplug, adapterPulledAtSecondDataFrame_endsAtOnceAndTheNextRunCompletes) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  bench.setWatchdogSeconds(10);
  const std::string image = patternBytes(1500, 17);
  bench.writeFile("code.bin", image);
  bench.writeFile("program.txt", "code.bin\t1\t0x8000\r\n");
  const double simCpuBefore = childrenCpuSeconds();
  ASSERT_TRUE(bench.startSim(1, {"--unplug-at", "3"})) << bench.error();

  // Frame 3 is the one the machine hangs up on; the clock starts as it is sent.
  using Steady = std::chrono::steady_clock;
  Steady::time_point sentAt{};
  double cpuAtSend = 0;
  int passesAtSend = 0;
  bench.ops().onStatus = [&](const std::string& text) {
    if (sentAt == Steady::time_point{} && text.find("Sending data (514 bytes, 3)") != std::string::npos) {
      sentAt = Steady::now();
      cpuAtSend = processCpuSeconds();
      passesAtSend = bench.ops().yieldWaits();
    }
  };
  const Outcome pulled = bench.runUpdate(Source::Program, 1);
  const double afterSend = std::chrono::duration<double>(Steady::now() - sentAt).count();
  const double cpu = processCpuSeconds() - cpuAtSend;
  const int passes = bench.ops().yieldWaits() - passesAtSend;
  bench.ops().onStatus = nullptr;
  const Outcome again = bench.runUpdate(Source::Program, 1);
  const double realSeconds = pulled.realSeconds + again.realSeconds;
  SimReport report = bench.stopSim();
  const double simCpu = childrenCpuSeconds() - simCpuBefore;

  ASSERT_TRUE(report.parsed) << report.parseError;
  // A refused TIOCVHANGUP comes first among the errors.
  ASSERT_EQ(report.unplugs, 1) << report.summaryLine << "\n" << (report.errors.empty() ? "" : report.errors[0]);
  ASSERT_NE(sentAt, Steady::time_point{}) << describe(pulled);
  std::printf("unplug: run ended %.1f ms after frame 3, %.1f ms CPU, %d wait passes; simulator %.1f ms CPU in %.2f s\n",
              afterSend * 1000, cpu * 1000, passes, simCpu * 1000, realSeconds);

  {
    SCOPED_TRACE(describe(pulled));
    ASSERT_EQ(pulled.finalStatus.rfind(" Error: ", 0), 0u);
    const std::string description = pulled.finalStatus.substr(8);
    EXPECT_NE(description.find("COM1 (" + bench.deviceOf(1) + ")"), std::string::npos);
    EXPECT_NE(description.find("went away (the device hung up)"), std::string::npos);
    EXPECT_EQ(pulled.boxes,
              std::vector<std::string>{std::to_string(fault::kPortVanished) + ": " + description + ", mscCom"});
    expectCleanEnd(pulled);
    EXPECT_LT(afterSend, 1.0);
    // A busy wait would take the whole time; the error path itself is short.
    EXPECT_LT(cpu, 0.05 + 0.25 * afterSend);
    EXPECT_LT(passes, 50);
  }
  // The machine's summary stays INCOMPLETE for the image cut off by the
  // unplug; the second run's session holds the whole image.
  EXPECT_EQ(again.finalStatus, " Status: UPDATE COMPLETE") << describe(again, &report);
  EXPECT_TRUE(again.boxes.empty());
  expectCleanEnd(again);
  EXPECT_TRUE(report.endFrame);
  std::erase_if(report.images, [&](const SimImage& i) { return i.session != report.sessions; });
  expectImages(report, {{1, 0x8000, image}});
  EXPECT_LT(simCpu, 0.05 + 0.25 * realSeconds) << "the simulator spins after the hang-up";
}

}  // namespace
}  // namespace torvane::e2e
