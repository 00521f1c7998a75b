// The progress texts every front end shows, and when a redraw is due.
#include "form/transfer_progress.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/fakes/fake_clock.h"

namespace torvane::form {
namespace {

TEST(ProgressText, timeLeft_inWordsCoarserTheLongerItIs) {
  const struct {
    double seconds;
    const char* text;
  } cases[] = {
      {0, "about 1 s left"},
      {0.2, "about 1 s left"},
      {44.1, "about 45 s left"},
      {59, "about 59 s left"},
      {59.4, "about 1 min left"},
      {64, "about 1 min left"},
      {190, "about 3 min 10 s left"},
      {194, "about 3 min 10 s left"},
      {196, "about 3 min 20 s left"},
      {594, "about 9 min 50 s left"},
      {596, "about 10 min left"},
      {14 * 60 + 29, "about 14 min left"},
      {3599, "about 1 h left"},
      {2 * 3600 + 5 * 60, "about 2 h 5 min left"},
      {99 * 3600 + 20 * 60, "about 99 h 20 min left"},
      {100 * 3600, "more than 99 h left"},
      {1e300, "more than 99 h left"},
      {HUGE_VAL, ""},
      {NAN, ""},
      {-1, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(timeLeftText(c.seconds), c.text) << c.seconds;
  }
}

TEST(ProgressText, barText_percentageAndTimeLeftOnceTheRateIsKnown) {
  const struct {
    int64_t sent, total;
    double elapsed;
    int frames;
    const char* text;
  } cases[] = {
      {0, 1000, 0, 0, "0%"},
      {420, 1000, 4.9, 50, "42%"},  // too early for an estimate
      {420, 1000, 138, 3, "42%"},   // too few frames
      {420, 1000, 138, 4, "42%  about 3 min 10 s left"},
      {0, 1000, 60, 10, "0%"},                       // no rate yet
      {999, 1000, 600, 100, "99%  about 1 s left"},  // never rounded up to 100%
      {1000, 1000, 600, 100, "100%"},
      {1500, 1000, 600, 100, "100%"},
      {-5, 1000, 600, 100, "0%"},
      {0, 0, 0, 0, "100%"},
      {1'000'000'000'000LL, 4'000'000'000'000LL, 10, 10, "25%  about 30 s left"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(progressBarText(c.sent, c.total, c.elapsed, c.frames), c.text)
        << c.sent << "/" << c.total << " after " << c.elapsed << " s, " << c.frames << " frames";
  }
}

TEST(TransferProgress, frequentFrames_redrawAtMostEveryIntervalButAlwaysTheEnd) {
  testing::FakeClock clock;
  TransferProgress progress(clock, 0.25);
  EXPECT_EQ(progress.start(100 * 512).text, "0%");
  int redraws = 0;
  for (int frame = 1; frame <= 100; ++frame) {
    clock.advance(1.0 / 128);  // exact in binary: 32 frames make 0.25 s
    if (const auto bar = progress.advance(frame * 512)) {
      ++redraws;
      EXPECT_EQ(bar->value, frame * 512);
    }
  }
  EXPECT_EQ(redraws, 4);  // frames 32, 64, 96 and the last one
  EXPECT_EQ(progress.frames(), 100);
}

TEST(TransferProgress, totalsBeyondAnIntAndZero_keepTheBarInRange) {
  testing::FakeClock clock;
  TransferProgress progress(clock, 0.25);
  const TransferProgress::Bar big = progress.start(10'000'000'000LL);
  clock.advance(1);
  const auto half = progress.advance(5'000'000'000LL);
  ASSERT_TRUE(half);
  EXPECT_EQ(half->maximum, big.maximum);
  EXPECT_EQ(half->value, big.maximum / 2);
  EXPECT_EQ(half->text, "50%");
  const TransferProgress::Bar none = progress.start(0);  // nothing to send: complete, not a busy bar
  EXPECT_EQ(none.value, none.maximum);
  EXPECT_GT(none.maximum, 0);
  EXPECT_EQ(none.text, "100%");
  EXPECT_EQ(progress.start(1000).value, 0);  // a new start begins anew
  clock.advance(1);
  const auto over = progress.advance(1200);  // more than the total is shown as all
  ASSERT_TRUE(over);
  EXPECT_EQ(over->value, 1000);
  EXPECT_EQ(over->text, "100%");
}

}  // namespace
}  // namespace torvane::form
