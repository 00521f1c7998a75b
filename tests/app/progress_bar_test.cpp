// The transfer progress bar: its place in the window, what it shows frame by
// frame of a real transfer phase, its redraw limit, and its text.
#include <QProgressBar>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run/transfer_phase.h"
#include "tests/app/window_fixture.h"

namespace torvane::testing {
namespace {

namespace fs = std::filesystem;

struct BarState {
  bool visible;
  int value;
  std::string text;
  bool operator==(const BarState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const BarState& s) {
  return out << "{" << (s.visible ? "shown" : "hidden") << ", " << s.value << ", \"" << s.text << "\"}";
}

void writeFile(const std::string& name, std::size_t size) {
  std::ofstream out(name, std::ios::binary);
  out << std::string(size, '\x5A');
}

class ProgressBarTest : public WindowTest {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    char name[] = "/tmp/torvane-bar-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir_ = name;
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  BarState bar() const {
    QProgressBar* b = progressBar();
    return {b->isVisible(), b->value(), b->text().toStdString()};
  }

  // Runs the transfer phase through the real window operations. Each frame
  // takes one second on the fake clock and is answered at once with the
  // verdict of `verdicts` (ACK past its end); the bar is read as each frame
  // goes out.
  TransferOutcome runPhase(std::vector<BarState>& seen, std::vector<ByteString> verdicts = {}) {
    port.setPortOpen(true);
    port.setSettings("38400,N,8,1");
    port.device(1).onWrite = [&, n = std::size_t{0}](const ByteString&) mutable {
      seen.push_back(bar());
      fakeClock.advance(1.0);
      port.device(1).receiveAt(fakeClock.now, n < verdicts.size() ? verdicts[n] : ByteString("\x06"));
      ++n;
    };
    return transferPhase(phaseCtx);
  }

  FormContext phaseCtx{port, ops, fakeClock, {}};
  fs::path previous_;
  fs::path dir_;
};

TEST_F(ProgressBarTest, bar_sitsInTheBandBetweenStatusLineAndSourceBox) {
  QProgressBar* b = progressBar();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->parentWidget(), &window);
  const QRect r = b->geometry();
  EXPECT_EQ(r.left(), label("lblStatus")->geometry().left());
  EXPECT_EQ(r.width(), label("lblStatus")->geometry().width());
  EXPECT_GE(r.top() * 15, 825);
  EXPECT_LE((r.top() + r.height()) * 15, 1040);
  EXPECT_GT(r.height(), 0);
  // It overlaps neither neighbour.
  EXPECT_FALSE(r.intersects(label("lblStatus")->geometry()));
  EXPECT_FALSE(r.intersects(control("Frame1")->geometry()));
  EXPECT_FALSE(r.intersects(control("frmCom")->geometry()));
  EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
}

TEST_F(ProgressBarTest, twoFileList_barFollowsEachAcceptedFrameThenHides) {
  window.show();
  writeFile("a.bin", 1030);
  writeFile("b.bin", 700);
  std::ofstream("program.txt") << "a.bin 1 0\r\nb.bin 3 0x100\r\n";
  EXPECT_FALSE(progressBar()->isVisible());  // before the run

  std::vector<BarState> seen;
  ASSERT_EQ(runPhase(seen).kind, TransferOutcome::Kind::Completed);
  // Frames: a address, 3 data, b address, 2 data, end frame; 1730 bytes in
  // all. The estimate appears once 5 s and 4 frames have passed.
  const std::vector<BarState> expected = {
      {true, 0, "0%"},
      {true, 0, "0%"},
      {true, 512, "29%"},
      {true, 1024, "59%"},
      {true, 1030, "59%"},
      {true, 1030, "59%"},
      {true, 1542, "89%  about 1 s left"},
      {true, 1730, "100%"},
  };
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(progressBar()->maximum(), 1730);
  EXPECT_FALSE(progressBar()->isVisible());  // after the run
  EXPECT_EQ(ops.status(), " Status: Received ACK");
}

TEST_F(ProgressBarTest, rejectedFrame_hidesTheBar) {
  window.show();
  writeFile("a.bin", 2000);
  std::ofstream("program.txt") << "a.bin 1 0\r\n";
  std::vector<BarState> seen;
  ASSERT_EQ(runPhase(seen, {"\x06", "\x06", "\x18"}).kind, TransferOutcome::Kind::FrameRejected);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen.back(), (BarState{true, 512, "25%"}));
  EXPECT_FALSE(progressBar()->isVisible());
}

TEST_F(ProgressBarTest, frequentFrames_redrawAtMostFourTimesASecondButShowTheEnd) {
  window.show();
  ops.progressStart(100 * 512);
  std::vector<int> values;
  for (int frame = 1; frame <= 100; ++frame) {
    fakeClock.advance(1.0 / 128);  // exact in binary: 32 frames make 0.25 s
    ops.progressAdvance(frame * 512);
    values.push_back(progressBar()->value());
  }
  // 0.78 s of frames: the bar moves on frames 32, 64, 96 and the last one.
  int changes = 0;
  for (std::size_t i = 1; i < values.size(); ++i) changes += values[i] != values[i - 1];
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(values[30], 0);
  EXPECT_EQ(values[31], 32 * 512);
  EXPECT_EQ(values[95], 96 * 512);
  EXPECT_EQ(values[98], 96 * 512);
  EXPECT_EQ(values.back(), 100 * 512);
  EXPECT_EQ(progressBar()->text(), QStringLiteral("100%"));
  ops.progressEnd();
  EXPECT_FALSE(progressBar()->isVisible());
}

TEST_F(ProgressBarTest, totalsBeyondTheBarsRangeAndZero_showRightPercentage) {
  window.show();
  ops.progressStart(10'000'000'000LL);  // more steps than an int holds
  EXPECT_TRUE(progressBar()->isVisible());
  fakeClock.advance(1);
  ops.progressAdvance(5'000'000'000LL);
  EXPECT_LE(progressBar()->maximum(), INT_MAX);
  EXPECT_EQ(progressBar()->value(), progressBar()->maximum() / 2);
  EXPECT_EQ(progressBar()->text(), QStringLiteral("50%"));

  ops.progressStart(0);  // nothing to send: complete, not the busy bar
  EXPECT_GT(progressBar()->maximum(), progressBar()->minimum());
  EXPECT_EQ(progressBar()->value(), progressBar()->maximum());
  EXPECT_EQ(progressBar()->text(), QStringLiteral("100%"));

  ops.progressStart(1000);  // a new start begins anew; more than the total is shown as all
  EXPECT_EQ(progressBar()->value(), 0);
  fakeClock.advance(1);
  ops.progressAdvance(1200);
  EXPECT_EQ(progressBar()->value(), 1000);
  EXPECT_EQ(progressBar()->text(), QStringLiteral("100%"));
  ops.progressEnd();
  EXPECT_FALSE(progressBar()->isVisible());
}

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

}  // namespace
}  // namespace torvane::testing
