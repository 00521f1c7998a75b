// When the status line is painted, on a fake clock.
#include "form/status_hold.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_clock.h"

namespace torvane::form {
namespace {

TEST(StatusHold, burstOfChanges_paintsOnceThenTheLatestAfterTheHold) {
  testing::FakeClock clock;
  StatusHold hold(clock);
  EXPECT_TRUE(hold.repaint());  // the first repaint paints
  for (int frame = 0; frame < 100; ++frame) {
    hold.changed();
    EXPECT_FALSE(hold.repaint());
  }
  EXPECT_EQ(hold.endsAt(), clock.now + StatusHold::kSeconds);
  clock.advance(StatusHold::kSeconds / 2);
  EXPECT_FALSE(hold.due());  // a timer that fires early
  clock.advance(StatusHold::kSeconds / 2);
  EXPECT_TRUE(hold.due());  // the latest text, and a new hold
  EXPECT_TRUE(hold.held());
  clock.advance(StatusHold::kSeconds);
  EXPECT_FALSE(hold.due());  // nothing changed meanwhile: the hold just ends
  EXPECT_FALSE(hold.held());
  EXPECT_TRUE(hold.repaint());  // quiet for a hold: painted at once again
}

TEST(StatusHold, endOfRun_paintsAHeldTextAtOnce) {
  testing::FakeClock clock;
  StatusHold hold(clock);
  EXPECT_FALSE(hold.release());  // nothing held
  hold.repaint();
  hold.changed();
  EXPECT_TRUE(hold.release());
  EXPECT_FALSE(hold.held());
  EXPECT_FALSE(hold.endsAt());
}

}  // namespace
}  // namespace torvane::form
