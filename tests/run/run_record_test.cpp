// The record an update run leaves with its observer, for each end of a run.
#include "context/run_record.h"

#include <gtest/gtest.h>

#include "encoding/fault.h"
#include "run/update_driver.h"
#include "tests/fakes/fake_run_observer.h"
#include "tests/run/transfer_test_support.h"

namespace torvane {
namespace {

using Rig = testing::ProcedureRig<>;
using testing::machine;

// The record of a listed file that was sent in `frames` frames.
EntryRecord entry(const std::string& name, uint8_t type, int32_t address, int frames, int resends, bool sent) {
  const ByteString bytes = test::readFile(name);
  return {name, int32_t(bytes.size()), type, address, testing::bytesAsHex(bytes), frames, resends, sent};
}

class RunRecordTest : public ::testing::Test, protected Rig {
 protected:
  test::ScratchWorkingFolder folder{"torvane-record"};
  testing::FakeRunRecorder recorder;

  RunRecordTest() {
    ctx.observers = {&recorder};
    ctx.workingFolder = folder.dir();
  }
  const RunRecord& run() {
    cmdStart_Click(ctx);
    return recorder.record();
  }
};

TEST_F(RunRecordTest, completedRun_recordsEachEntryWithTheBytesSent) {
  testing::writeFourEntryList();
  machine(*this, {{1, '\x15'}});  // the first data frame is NAKed once
  const RunRecord& r = run();
  EXPECT_EQ(r.entries,
            (std::vector<EntryRecord>{entry("code.bin", 1, 0x8000, 3, 1, true), entry("mmc.bin", 2, 0, 2, 0, true),
                                      entry("dsd.bin", 3, 4096, 2, 0, true), entry("odd.bin", 4, 7, 1, 0, true)}));
  EXPECT_EQ(r.frames, ctx.state.packetCount);
  EXPECT_EQ(r.resends, 1);
  EXPECT_EQ(r.outcome, RunOutcome::Complete);
  EXPECT_EQ(r.status, " Status: UPDATE COMPLETE");
  EXPECT_FALSE(r.fault.has_value());
  EXPECT_DOUBLE_EQ(r.seconds, clock.now - 1000.0);
}

TEST_F(RunRecordTest, missingImage_endsEarlyWithItsEntryWithoutSize) {
  test::writeFile("a.bin", testing::pattern(700, 1));
  test::writeFile("c.bin", testing::pattern(5, 2));
  test::writeFile("program.txt", "a.bin\t1\t0x8000\r\nmissing.bin\t2\t16\r\nc.bin\t1\t0\r\n");
  machine(*this);
  const RunRecord& r = run();
  EXPECT_EQ(r.entries, (std::vector<EntryRecord>{entry("a.bin", 1, 0x8000, 3, 0, true),
                                                 {"missing.bin", std::nullopt, 2, 16, "", 0, 0, false}}));
  EXPECT_EQ(r.outcome, RunOutcome::EarlyEnd);
  EXPECT_EQ(r.status, " Status: missing.bin does not exist");
  EXPECT_FALSE(r.fault.has_value());
}

TEST_F(RunRecordTest, frameRefusedByCan_failsWithFaultZeroAndKeepsTheBytesSent) {
  testing::writeFourEntryList();
  machine(*this, {{2, '\x18'}});  // CAN on the second data frame of code.bin: both blocks went out
  const RunRecord& r = run();
  EXPECT_EQ(r.entries, std::vector<EntryRecord>{entry("code.bin", 1, 0x8000, 3, 0, false)});
  EXPECT_EQ(r.verdicts[std::size_t(Verdict::Can)], 1);
  EXPECT_EQ(r.outcome, RunOutcome::Failed);
  EXPECT_EQ(r.status, window.status());
  EXPECT_EQ(r.fault, (RunFault{0, "", ""}));
}

TEST_F(RunRecordTest, portFault_failsWithTheFaultsNumberAndText) {
  window.selectedPort = 3;
  port.device(3).present = false;
  const RunRecord& r = run();
  EXPECT_EQ(r.com, 3);
  EXPECT_EQ(r.outcome, RunOutcome::Failed);
  ASSERT_TRUE(r.fault.has_value());
  EXPECT_EQ(r.fault->number, fault::kPortInvalid);
  EXPECT_EQ(r.status, " Error: " + r.fault->description);
}

TEST_F(RunRecordTest, windowClosedDuringTransfer_endsClosedWithTheWindowFault) {
  testing::writeFourEntryList();
  machine(*this);
  auto answer = port.device(1).onWrite;
  port.device(1).onWrite = [&, answer](const ByteString& bytes) {
    answer(bytes);
    if (port.writes.size() == 4) ctx.state.closing = true;  // "s", "A", address, first data frame
  };
  const RunRecord& r = run();
  EntryRecord firstBlockSent = entry("code.bin", 1, 0x8000, 2, 0, false);
  firstBlockSent.sha256 = testing::bytesAsHex(test::readFile("code.bin").substr(0, 512));
  EXPECT_EQ(r.entries, std::vector<EntryRecord>{firstBlockSent});
  EXPECT_EQ(r.outcome, RunOutcome::Closed);
  ASSERT_TRUE(r.fault.has_value());
  EXPECT_EQ(r.fault->number, fault::kWindowClosed);
}

TEST(RunObserverCalls, anObserverThatThrows_changesNothingOfTheRunNorOfTheObserversAfterIt) {
  test::ScratchWorkingFolder folder("torvane-record");
  testing::writeFourEntryList();
  Rig quiet;
  Rig observed;
  testing::ThrowingObserver observer;
  testing::FakeRunRecorder quietRecord, observedRecord;
  quiet.ctx.observers = {&quietRecord};
  observed.ctx.observers = {&observer, &observedRecord};
  for (Rig* rig : {&quiet, &observed}) {
    machine(*rig, {{1, '\x15'}, {4, '\x18'}});
    cmdStart_Click(rig->ctx);
  }
  EXPECT_GT(observer.calls, 10);
  EXPECT_EQ(observed.window.statuses, quiet.window.statuses);
  EXPECT_EQ(observed.window.boxes, quiet.window.boxes);
  EXPECT_EQ(observed.port.log, quiet.port.log);
  EXPECT_EQ(observed.port.logTimes, quiet.port.logTimes);
  EXPECT_EQ(observedRecord.record().entries, quietRecord.record().entries);
  EXPECT_EQ(observedRecord.record().frames, quietRecord.record().frames);
}

}  // namespace
}  // namespace torvane
