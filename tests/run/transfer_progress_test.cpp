// The progress the transfer phase reports: the total of the listed files,
// the bytes of every accepted data frame, the end on every way out, and no
// change at all to the statuses and frames of the phase.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "encoding/fault.h"
#include "link/frames.h"
#include "run/transfer_phase.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/fakes/fake_window.h"
#include "tests/run/transfer_test_support.h"
#include "tests/support/host.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;
using testing::FakeClock;
using testing::FakeSerialPort;
using testing::FakeWindow;
using testing::pattern;
using testing::writeFile;
using Kind = TransferOutcome::Kind;
using Log = std::vector<std::string>;

// One phase on fresh fakes, as it ended: outcome or fault, and all it did.
struct PhaseRun {
  Kind kind = Kind::Completed;
  std::string text;
  int32_t faultNumber = -1;  // -1: no fault
  std::string faultDescription;
  Log statuses;
  Log repaints;
  Log progress;
  std::vector<ByteString> frames;
  std::vector<std::size_t> progressCallsAtWrite;  // progress calls made before each frame went out
};

class TransferProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.dir().empty()); }

  // Runs the phase once. Write n (0-based) is answered with verdicts[n], ACK
  // past the end; an empty verdict is silence. closeAtWrite: the operator
  // closes the window when that write goes out.
  static PhaseRun runPhase(bool withProgress, std::vector<ByteString> verdicts = {}, int closeAtWrite = -1) {
    FakeClock clock;
    FakeSerialPort port{clock};
    FakeWindow window{clock};
    window.hasProgressBar = withProgress;
    FormContext ctx{port, window, clock, std::filesystem::current_path()};
    port.setPortOpen(true);
    port.setSettings("38400,N,8,1");
    PhaseRun run;
    port.device(1).onWrite = [&, n = std::size_t{0}](const ByteString&) mutable {
      run.progressCallsAtWrite.push_back(window.progress.size());
      const ByteString v = n < verdicts.size() ? verdicts[n] : ByteString("\x06");
      if (!v.empty()) port.device(1).receiveAt(clock.now + 0.01, v);
      if (static_cast<int>(n) == closeAtWrite) ctx.state.closing = true;
      ++n;
    };
    try {
      const TransferOutcome outcome = transferPhase(ctx);
      run.kind = outcome.kind;
      run.text = outcome.text;
    } catch (const Fault& f) {
      run.faultNumber = f.number();
      run.faultDescription = f.description();
    }
    run.statuses = window.statuses;
    run.repaints = window.repaints;
    run.progress = window.progress;
    for (const auto& w : port.writes) run.frames.push_back(w.bytes);
    return run;
  }

  test::ScratchWorkingFolder folder_{"torvane-progress"};
};

// The statuses of a two-file list with four entries, exactly as the phase
// has always shown them.
TEST_F(TransferProgressTest, statusesAndFrames_sameWithAndWithoutProgress) {
  testing::writeFourEntryList();
  const PhaseRun with = runPhase(true);
  const PhaseRun without = runPhase(false);
  const Log expected = testing::fourEntryListStatuses();

  EXPECT_EQ(with.kind, Kind::Completed);
  EXPECT_EQ(with.statuses, expected);
  EXPECT_EQ(with.repaints, expected);
  EXPECT_EQ(without.statuses, expected);
  EXPECT_EQ(without.repaints, expected);
  EXPECT_EQ(with.frames, without.frames);
  EXPECT_EQ(with.frames.size(), 9u);
  EXPECT_EQ(with.progress, (Log{"start 611", "advance 512", "advance 600", "advance 601", "advance 611", "end"}));
  EXPECT_TRUE(without.progress.empty());
}

TEST_F(TransferProgressTest, twoFileList_totalFirstThenBytesOfEachAcceptedFrameThenEnd) {
  writeFile("a.bin", pattern(1030, 1));
  writeFile("b.bin", pattern(700, 2));
  writeFile("program.txt", "a.bin 1 0\r\nb.bin 3 0x100\r\n");
  const PhaseRun run = runPhase(true);
  ASSERT_EQ(run.kind, Kind::Completed);
  EXPECT_EQ(run.progress,
            (Log{"start 1730", "advance 512", "advance 1024", "advance 1030", "advance 1542", "advance 1730", "end"}));
  // Frames: a address, 3 data, b address, 2 data, end frame. The total is
  // shown before the first frame, each advance once its frame is accepted,
  // the end after the end frame.
  EXPECT_EQ(run.progressCallsAtWrite, (std::vector<std::size_t>{1, 1, 2, 3, 4, 4, 5, 6}));
}

TEST_F(TransferProgressTest, resentFrame_countsItsBytesOnce) {
  writeFile("a.bin", pattern(1000, 4));
  writeFile("program.txt", "a.bin\t3\t0x0\r\n");
  const PhaseRun run = runPhase(true, {"\x06", "\x15", "\x02"});  // first data frame NAK, its resend STX
  ASSERT_EQ(run.kind, Kind::Completed);
  EXPECT_EQ(run.frames.size(), 6u);
  EXPECT_EQ(run.progress, (Log{"start 1000", "advance 512", "advance 1000", "end"}));
}

TEST_F(TransferProgressTest, everyWayOut_endsTheProgress) {
  writeFile("a.bin", pattern(600, 1));
  writeFile("b.bin", pattern(10, 2));
  const struct {
    const char* name;
    const char* list;
    std::vector<ByteString> verdicts;
    int closeAtWrite;
    Kind kind;
    int32_t fault;
    Log progress;
  } cases[] = {
      {"missing file: counted 0, early end",
       "a.bin 1 0\r\nmissing.bin 1 0\r\nb.bin 1 0\r\n",
       {},
       -1,
       Kind::EarlyEnd,
       -1,
       {"start 610", "advance 512", "advance 600", "end"}},
      {"CAN on second data frame",
       "a.bin 1 0\r\nb.bin 1 0\r\n",
       {"\x06", "\x06", "\x18"},
       -1,
       Kind::FrameRejected,
       -1,
       {"start 610", "advance 512", "end"}},
      {"silence on the end frame",
       "a.bin 1 0\r\nb.bin 1 0\r\n",
       {"\x06", "\x06", "\x06", "\x06", "\x06", ""},
       -1,
       Kind::FrameRejected,
       -1,
       {"start 610", "advance 512", "advance 600", "advance 610", "end"}},
      {"window closed during data",
       "a.bin 1 0\r\n",
       {},
       2,
       Kind::Completed,
       fault::kWindowClosed,
       {"start 600", "advance 512", "end"}},
      {"empty list", "\r\n", {}, -1, Kind::Completed, -1, {"start 0", "end"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile("program.txt", c.list);
    const PhaseRun run = runPhase(true, c.verdicts, c.closeAtWrite);
    EXPECT_EQ(run.faultNumber, c.fault) << run.faultDescription;
    if (c.fault < 0) {
      EXPECT_EQ(run.kind, c.kind);
    }
    EXPECT_EQ(run.progress, c.progress);
  }
}

// A list the first pass cannot read through must not change the phase: the
// real pass faults exactly as before, and the bar shows each file on its own.
TEST_F(TransferProgressTest, unparsableList_faultsAsBeforeWithPerFileProgress) {
  writeFile("a.bin", pattern(600, 1));
  writeFile("b.bin", pattern(10, 2));
  const struct {
    const char* bad;
    int32_t fault;
  } cases[] = {
      {"c.bin 1 0x1G", fault::kInvalidArgument},
      {"c.bin 1 4k", fault::kTypeMismatch},
      {"c.bin", fault::kInvalidArgument},
      {"c.bin\t/\t0", fault::kOverflow},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bad);
    writeFile("program.txt", std::string("a.bin 1 0\r\nb.bin 2 0\r\n") + c.bad + "\r\n");
    const PhaseRun with = runPhase(true);
    const PhaseRun without = runPhase(false);
    EXPECT_EQ(with.faultNumber, c.fault);
    EXPECT_EQ(with.faultDescription, without.faultDescription);
    EXPECT_EQ(with.statuses, without.statuses);
    EXPECT_EQ(with.frames, without.frames);
    EXPECT_EQ(with.frames.size(), 5u);
    EXPECT_EQ(with.progress, (Log{"start 600", "advance 512", "advance 600", "start 10", "advance 10", "end"}));
  }
}

// Files the real pass cannot send count 0 in the first pass, which opens
// no pipe (that could block) and faults on none of them.
TEST_F(TransferProgressTest, unsendableFiles_countZeroAndRealPassFaultsAsBefore) {
  writeFile("a.bin", pattern(600, 1));
  ASSERT_TRUE(test::makeFifo("pipe.bin"));
  { std::ofstream create("huge.bin", std::ios::binary); }
  fs::resize_file("huge.bin", 2147483648ULL);  // sparse
  const struct {
    const char* list;
    int32_t fault;
  } cases[] = {
      {"a.bin 1 0\r\npipe.bin 1 0\r\n", fault::kFileAccess},
      {"a.bin 1 0\r\nhuge.bin 1 0\r\n", fault::kOverflow},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    writeFile("program.txt", c.list);
    const PhaseRun run = runPhase(true);
    EXPECT_EQ(run.faultNumber, c.fault) << run.faultDescription;
    EXPECT_EQ(run.progress, (Log{"start 600", "advance 512", "advance 600", "end"}));
  }
}

TEST_F(TransferProgressTest, listMissing_faultsWithoutShowingProgress) {
  const PhaseRun run = runPhase(true);
  EXPECT_EQ(run.faultNumber, fault::kFileNotFound);
  EXPECT_TRUE(run.progress.empty());
  EXPECT_TRUE(run.frames.empty());
}

}  // namespace
}  // namespace torvane
