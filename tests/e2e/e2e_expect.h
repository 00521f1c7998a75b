// Checks shared by the end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/e2e_bench.h"

namespace torvane::e2e {

// An image file the tool should have handed to the machine.
struct SentImage {
  int memoryType;
  uint32_t address;
  std::string bytes;
};

// The run's status texts and the machine's report, for failure messages.
inline std::string describe(const Outcome& run, const SimReport* report = nullptr) {
  std::string text = "status texts:";
  for (const std::string& s : run.statuses) text += "\n  [" + s + "]";
  for (const std::string& b : run.boxes) text += "\nbox: " + b;
  if (report) text += "\nsimulator: " + report->summaryLine + "\n" + report->json;
  return text;
}

// Every end of a run leaves the same state behind: the port closed, the
// default pointer, no descriptor more than before, the end time shown.
inline void expectCleanEnd(const Outcome& run) {
  EXPECT_FALSE(run.watchdogFired) << "the run did not end within the bench's time limit";
  EXPECT_TRUE(run.portClosed);
  EXPECT_TRUE(run.defaultPointer);
  EXPECT_EQ(run.fdsAfter, run.fdsBefore) << fdDifference(run.fdListBefore, run.fdListAfter);
  EXPECT_EQ(run.timeLine.rfind("Start: ", 0), 0u) << run.timeLine;
  EXPECT_NE(run.timeLine.find("\r\nEnd:  "), std::string::npos) << run.timeLine;
}

// The machine rebuilt exactly these images, in this order: memory type,
// address, size and SHA-256 of the file's bytes (computed here).
inline void expectImages(const SimReport& report, const std::vector<SentImage>& sent) {
  ASSERT_TRUE(report.parsed) << report.parseError;
  ASSERT_EQ(report.images.size(), sent.size()) << report.summaryLine;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE("image " + std::to_string(i + 1));
    const SimImage& got = report.images[i];
    EXPECT_EQ(got.memoryType, sent[i].memoryType);
    EXPECT_EQ(got.address, sent[i].address);
    EXPECT_EQ(got.size, sent[i].bytes.size());
    EXPECT_EQ(got.received, sent[i].bytes.size());
    EXPECT_TRUE(got.complete);
    EXPECT_EQ(got.sha256, sha256Of(sent[i].bytes));
  }
}

// A completed run: the last status, no box, clean end, and a machine that
// reports every image and the end frame.
inline void expectCompleted(const Outcome& run, const SimReport& report, const std::vector<SentImage>& sent) {
  EXPECT_EQ(run.finalStatus, " Status: UPDATE COMPLETE") << describe(run, &report);
  EXPECT_TRUE(run.sawStatus(" Status: Finished closing connection"));
  EXPECT_TRUE(run.boxes.empty()) << run.boxes.front();
  expectCleanEnd(run);
  expectImages(report, sent);
  EXPECT_TRUE(report.endFrame);
  EXPECT_EQ(report.result, "OK") << report.summaryLine;
  EXPECT_TRUE(report.errors.empty()) << report.errors.front();
}

}  // namespace torvane::e2e
