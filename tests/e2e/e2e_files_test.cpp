// The transfer list and the image files changing under a run: deleted,
// replaced or cut short while the machine is being updated.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/e2e_expect.h"
#include "tests/e2e/fast_clock.h"

namespace torvane::e2e {
namespace {

namespace fs = std::filesystem;

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Runs `action` once, at the first status text that starts with `prefix`.
void once(E2eBench& bench, const std::string& prefix, std::function<void()> action) {
  bench.ops().onStatus = [prefix, action, done = false](const std::string& text) mutable {
    if (!done && startsWith(text, prefix)) {
      done = true;
      action();
    }
  };
}

TEST(E2eFiles, listDeletedDuringRun_runCompletesFromTheOpenList) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string a = patternBytes(2000, 91);
  const std::string b = patternBytes(700, 92);
  bench.writeFile("a.bin", a);
  bench.writeFile("b.bin", b);
  bench.writeFile("program.txt", "a.bin\t1\t0x8000\r\nb.bin\t2\t16\r\n");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();
  once(bench, " Status: Sending a.bin", [&] { fs::remove(bench.dir() + "/program.txt"); });

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  EXPECT_FALSE(fs::exists(bench.dir() + "/program.txt"));
  expectCompleted(run, report, {{1, 0x8000, a}, {2, 16, b}});
}

// With SHA256SUMS in the folder, an image that differs from it ends the run
// before the port opens: the machine hears nothing, not even the load command.
TEST(E2eFiles, imageDifferingFromSha256sums_endsBeforeThePortOpensAndTheMachineHearsNothing) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string a = patternBytes(1500, 95);
  bench.writeFile("a.bin", a);
  bench.writeFile("program.txt", "a.bin\t1\t0x8000\r\n");
  bench.writeFile("SHA256SUMS", sha256Of(a) + "  a.bin\n");
  bench.writeFile("a.bin", a.substr(0, 700) + "!" + a.substr(701));  // one byte changed after the sums were written
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  EXPECT_TRUE(startsWith(run.finalStatus, " Error: \"a.bin\" does not match SHA256SUMS")) << describe(run, &report);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_TRUE(startsWith(run.boxes[0], "8100: \"a.bin\" does not match SHA256SUMS")) << run.boxes[0];
  expectCleanEnd(run);
  EXPECT_NE(report.json.find("\"received\": []"), std::string::npos) << report.json;
}

TEST(E2eFiles, imageDeletedBeforeItsTurn_endsEarlyWithTheEarlierImageIntact) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string a = patternBytes(1500, 93);
  bench.writeFile("a.bin", a);
  bench.writeFile("b.bin", patternBytes(300, 94));
  bench.writeFile("program.txt", "a.bin\t1\t0x8000\r\nb.bin\t2\t16\r\n");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();
  once(bench, " Status: Sending a.bin", [&] { fs::remove(bench.dir() + "/b.bin"); });

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  EXPECT_EQ(run.finalStatus, " Status: b.bin does not exist");
  EXPECT_TRUE(run.boxes.empty());
  expectCleanEnd(run);
  expectImages(report, {{1, 0x8000, a}});
  EXPECT_FALSE(report.endFrame);
}

TEST(E2eFiles, imageReplacedByAPipeBeforeItsTurn_faultsWithoutSendingIt) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string a = patternBytes(600, 95);
  bench.writeFile("a.bin", a);
  bench.writeFile("b.bin", patternBytes(300, 96));
  bench.writeFile("program.txt", "a.bin\t1\t0x8000\r\nb.bin\t2\t16\r\n");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();
  once(bench, " Status: Sending a.bin", [&] {
    fs::remove(bench.dir() + "/b.bin");
    ASSERT_EQ(::mkfifo((bench.dir() + "/b.bin").c_str(), 0600), 0);
  });

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  EXPECT_EQ(run.finalStatus, " Error: program.txt line 2: \"b.bin\" is not a regular file");
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_TRUE(startsWith(run.boxes[0], "75: ")) << run.boxes[0];
  expectCleanEnd(run);
  expectImages(report, {{1, 0x8000, a}});
  EXPECT_FALSE(report.endFrame);
}

TEST(E2eFiles, imageCutShortWhileSent_faultsAndSendsNothingMore) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  bench.writeFile("a.bin", patternBytes(96 * 1024, 97));  // past any read-ahead of the file stream
  bench.writeFile("b.bin", patternBytes(100, 98));
  bench.writeFile("program.txt", "a.bin\t1\t0x8000\r\nb.bin\t2\t16\r\n");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();
  once(bench, " Status: Sending data ", [&] { fs::resize_file(bench.dir() + "/a.bin", 300); });

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  EXPECT_TRUE(startsWith(run.finalStatus, " Error: program.txt line 1: \"a.bin\": only ")) << run.finalStatus;
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_TRUE(startsWith(run.boxes[0], "75: ")) << run.boxes[0];
  expectCleanEnd(run);
  ASSERT_EQ(report.images.size(), 1u);  // b.bin never announced
  EXPECT_EQ(report.images[0].size, 96u * 1024);
  EXPECT_FALSE(report.images[0].complete);
  EXPECT_LT(report.images[0].received, report.images[0].size);
  EXPECT_FALSE(report.endFrame);
  for (const SimFrame& f : report.frames) EXPECT_TRUE(f.crcOk) << "frame " << f.number;
}

}  // namespace
}  // namespace torvane::e2e
