// The transfer progress bar: its place in the window, what it shows frame by
// frame of a real transfer phase, its redraw limit, and its text.
#include <QProgressBar>
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
    phaseCtx.workingFolder = dir_;
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

  FormContext phaseCtx{port, ops, fakeClock, std::filesystem::current_path()};
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

}  // namespace
}  // namespace torvane::testing
