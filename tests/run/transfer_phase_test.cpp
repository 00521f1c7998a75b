#include "run/transfer_phase.h"
#include "run/transfer_plan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "encoding/encoders.h"
#include "encoding/fault.h"
#include "link/frames.h"
#include "tests/fakes/procedure_rig.h"
#include "tests/run/transfer_test_support.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;
using testing::ProcedureRig;
using testing::writeFile;
using testing::WriteRecord;
using Kind = TransferOutcome::Kind;

const std::string kAck = " Status: Received ACK";

// What the machine received for one list entry, rebuilt from the frames.
struct SentEntry {
  uint8_t type = 0;
  int32_t address = 0;
  int32_t size = 0;
  ByteString content;
  uint8_t padding = 0;  // value of the padding bytes of the last frame (0 when none)
  bool paddingUniform = true;
};

struct Sent {
  std::vector<SentEntry> entries;
  bool endFrame = false;
};

int32_t readBigEndian(const ByteString& frame, std::size_t at) {
  uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | byteAt(frame, at + i);
  return static_cast<int32_t>(v);
}

// Rebuilds the entries from frames written without resends; every frame
// must carry a valid checksum.
Sent decode(const std::vector<WriteRecord>& writes) {
  Sent sent;
  std::size_t i = 0;
  while (i < writes.size()) {
    const ByteString& head = writes[i++].bytes;
    EXPECT_EQ(calcCRC16(head), 0) << "frame " << i;
    if (head == endFrame()) {
      sent.endFrame = true;
      EXPECT_EQ(i, writes.size()) << "frames after the end frame";
      break;
    }
    EXPECT_EQ(head.size(), kAddressFrameLength);
    EXPECT_EQ(readBigEndian(head, 1), 0) << "reserved field";
    SentEntry entry{byteAt(head, 0), readBigEndian(head, 5), readBigEndian(head, 9), {}, 0, true};
    for (int32_t left = entry.size; left > 0 && i < writes.size(); left -= 512) {
      const ByteString& data = writes[i++].bytes;
      EXPECT_EQ(data.size(), kDataFrameLength);
      EXPECT_EQ(calcCRC16(data), 0);
      const auto used = static_cast<std::size_t>(std::min(left, 512));
      entry.content += data.substr(0, used);
      if (used < 512) {
        entry.padding = byteAt(data, used);
        for (std::size_t p = used; p < 512; ++p) entry.paddingUniform &= byteAt(data, p) == entry.padding;
      }
    }
    sent.entries.push_back(entry);
  }
  return sent;
}

// Bytes that differ from file to file, and from one 512-byte frame to the next.
ByteString framePattern(std::size_t size, unsigned seed) {
  ByteString bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
  return bytes;
}

std::string hexText(int32_t value) {
  std::ostringstream out;
  out << std::hex << std::uppercase << value;
  return out.str();
}

class TransferPhaseTest : public ::testing::Test, protected ProcedureRig<> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.dir().empty());
    ctx.workingFolder = folder_.dir();
    port.setPortOpen(true);
    port.setSettings("38400,N,8,1");
    answerEveryFrameWith("\x06");
    fdsBefore_ = test::openFileCount();
  }

  void answerEveryFrameWith(const ByteString& verdict) {
    port.device(1).onWrite = [this, verdict](const ByteString&) {
      port.device(1).receiveAt(clock.now + 0.01, verdict);
    };
  }

  // Answers write n (0-based) with verdicts[n], or ACK past the end of the list;
  // an empty verdict is silence.
  void answerWrites(std::vector<ByteString> verdicts) {
    port.device(1).onWrite = [this, verdicts, n = std::size_t{0}](const ByteString&) mutable {
      const ByteString v = n < verdicts.size() ? verdicts[n] : ByteString("\x06");
      if (!v.empty()) port.device(1).receiveAt(clock.now + 0.01, v);
      ++n;
    };
  }

  Fault expectFault(int32_t number) {
    try {
      transferPhase(ctx);
    } catch (const Fault& f) {
      EXPECT_EQ(f.number(), number) << f.description();
      return f;
    }
    ADD_FAILURE() << "no fault";
    return Fault(0, "", "");
  }

  void expectFilesClosed() { EXPECT_EQ(test::openFileCount(), fdsBefore_); }

  test::ScratchWorkingFolder folder_{"torvane-xfer"};
  int fdsBefore_ = 0;
};

TEST_F(TransferPhaseTest, emptyList_sendsOnlyEndFrame) {
  for (const char* list : {"", "\r\n \t\r\n\n"}) {
    port.writes.clear();
    ctx.state.packetCount = 0;
    writeFile("program.txt", list);
    const TransferOutcome outcome = transferPhase(ctx);
    EXPECT_EQ(outcome.kind, Kind::Completed);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0].bytes, endFrame());
    EXPECT_EQ(window.repaints.back(), kAck);
    EXPECT_EQ(ctx.state.packetCount, 1);
  }
  expectFilesClosed();
}

// The working folder is the context's, used by its bytes (not UTF-8 here),
// wherever the process's current folder is.
TEST_F(TransferPhaseTest, workingFolderNotUtf8AndNotCurrent_isWhereListAndImagesAreRead) {
  const fs::path folder = folder_.dir() / "fw-\xff\xfe";
  fs::create_directory(folder);
  writeFile(folder / "program.txt", "a.bin 1 0\r\n");
  writeFile(folder / "a.bin", ByteString(600, '\x5A'));
  ctx.workingFolder = folder;
  EXPECT_EQ(transferPhase(ctx).kind, Kind::Completed);
  ASSERT_EQ(port.writes.size(), 4u);  // address frame, two data frames, end frame
  EXPECT_EQ(port.writes[1].bytes.substr(0, 512), ByteString(512, '\x5A'));
  expectFilesClosed();
}

TEST_F(TransferPhaseTest, fileSizesAndTypes_framesRebuildFilesExactly) {
  const int32_t sizes[] = {0, 1, 511, 512, 513, 1000, 1536};
  const uint8_t types[] = {1, 2, 3, 4};
  const char* const lineEnds[] = {"\r\n", "\r", "\n"};
  std::string list;
  std::vector<SentEntry> expected;
  unsigned seed = 0;
  for (int32_t size : sizes) {
    for (uint8_t type : types) {
      const std::string name = "img " + std::to_string(size) + "_" + std::to_string(type) + ".bin";
      const int32_t address = static_cast<int32_t>(0x10000 * seed + size);
      writeFile(name, framePattern(static_cast<std::size_t>(size), ++seed));
      const bool hex = seed % 2 == 0;
      list += name + "\t" + std::to_string(type) + (hex ? "\t0x" : " ") +
              (hex ? hexText(address) : std::to_string(address)) + lineEnds[seed % 3];
      const uint8_t pad = (size % 512 == 0) ? 0 : (type == 3 ? 0xFF : 0x00);
      expected.push_back({type, address, size, framePattern(static_cast<std::size_t>(size), seed), pad, true});
    }
  }
  writeFile("program.txt", list);

  ASSERT_EQ(transferPhase(ctx).kind, Kind::Completed);
  const Sent sent = decode(port.writes);
  EXPECT_TRUE(sent.endFrame);
  ASSERT_EQ(sent.entries.size(), expected.size());
  int frames = 1;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const SentEntry& got = sent.entries[i];
    EXPECT_EQ(got.type, expected[i].type);
    EXPECT_EQ(got.address, expected[i].address);
    EXPECT_EQ(got.size, expected[i].size);
    EXPECT_TRUE(got.content == expected[i].content);
    EXPECT_EQ(got.padding, expected[i].padding);
    EXPECT_TRUE(got.paddingUniform);
    frames += 1 + (expected[i].size + 511) / 512;
  }
  EXPECT_EQ(port.writes.size(), static_cast<std::size_t>(frames));
  EXPECT_EQ(ctx.state.packetCount, frames);
  expectFilesClosed();
}

TEST_F(TransferPhaseTest, statusTexts_followEachStepInOrder) {
  testing::writeFourEntryList();
  ASSERT_EQ(transferPhase(ctx).kind, Kind::Completed);
  const std::vector<std::string> expected = testing::fourEntryListStatuses();
  EXPECT_EQ(window.repaints, expected);
  EXPECT_EQ(window.statuses, expected);
  EXPECT_EQ(window.yields - window.waitPasses, 4);  // one plain yield before each data frame
}

TEST_F(TransferPhaseTest, missingImageAfterTwoEntries_endsEarlyWithoutEndFrame) {
  const struct {
    const char* line;
    std::function<void()> arrange;
    std::string text;
  } cases[] = {
      {"missing.bin\t1\t0", [] {}, " Status: missing.bin does not exist"},
      {"folder.bin\t1\t0", [] { fs::create_directory("folder.bin"); }, " Status: folder.bin does not exist"},
      {"\t1\t0", [] {}, " Status:  does not exist"},
      {" 1 0", [] {}, " Status:  does not exist"},                     // a blank separator first: the name is empty too
      {"gone.bin\t1\t-5", [] {}, " Status: gone.bin does not exist"},  // looked up before the address is encoded
  };
  writeFile("a.bin", framePattern(700, 1));
  writeFile("b.bin", framePattern(3, 2));
  writeFile("c.bin", framePattern(3, 3));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    port.writes.clear();
    c.arrange();
    writeFile("program.txt", std::string("a.bin 1 0x100\r\nb.bin 3 512\r\n") + c.line + "\r\nc.bin 1 0\r\n");
    const TransferOutcome outcome = transferPhase(ctx);
    EXPECT_EQ(outcome.kind, Kind::EarlyEnd);
    EXPECT_EQ(outcome.text, c.text);
    const Sent sent = decode(port.writes);
    ASSERT_EQ(sent.entries.size(), 2u);
    EXPECT_TRUE(sent.entries[0].content == framePattern(700, 1));
    EXPECT_TRUE(sent.entries[1].content == framePattern(3, 2));
    EXPECT_FALSE(sent.endFrame);
    expectFilesClosed();
  }
}

TEST_F(TransferPhaseTest, badEntryAfterOneEntry_faultsBeforeItsFrames) {
  const struct {
    const char* line;
    int32_t number;
    std::string description;
  } cases[] = {
      {"b.bin 1 0x1G", fault::kInvalidArgument, "program.txt line 3: address \"0x1G\" is not a hexadecimal number"},
      {"b.bin 1 12 0x4", fault::kInvalidArgument, "program.txt line 3: address \"12 0x4\" is not a hexadecimal number"},
      {"b.bin 1 4k", fault::kTypeMismatch, "program.txt line 3: address \"4k\" is not a decimal number"},
      {"b.bin", fault::kInvalidArgument,
       "program.txt line 3: \"b.bin\" has no tab or blank between the file name and the memory type"},
      {"b.bin\t1\t-4096", fault::kInvalidArgument,
       "program.txt line 3: address -4096: Invalid procedure call or argument: -4096 cannot be encoded as an "
       "unsigned 32-bit field"},
  };
  writeFile("a.bin", framePattern(513, 1));
  writeFile("b.bin", framePattern(20, 2));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    port.writes.clear();
    writeFile("program.txt", std::string("a.bin 2 0\r\n\r\n") + c.line + "\r\nb.bin 1 0\r\n");
    const Fault f = expectFault(c.number);
    EXPECT_EQ(f.description(), c.description);
    const Sent sent = decode(port.writes);
    ASSERT_EQ(sent.entries.size(), 1u);
    EXPECT_TRUE(sent.entries[0].content == framePattern(513, 1));
    EXPECT_FALSE(sent.endFrame);
    expectFilesClosed();
  }
}

TEST_F(TransferPhaseTest, nakedDataFrame_isResentAndRunCompletes) {
  writeFile("a.bin", framePattern(1000, 4));
  writeFile("program.txt", "a.bin\t3\t0x0\r\n");
  answerWrites({"\x06", "\x15", "\x02"});  // address ACK, first data frame NAK, its resend STX
  ASSERT_EQ(transferPhase(ctx).kind, Kind::Completed);
  ASSERT_EQ(port.writes.size(), 6u);
  EXPECT_EQ(port.writes[1].bytes, port.writes[2].bytes);
  EXPECT_EQ(port.writes[2].bytes, port.writes[3].bytes);
  std::vector<WriteRecord> once = port.writes;
  once.erase(once.begin() + 2, once.begin() + 4);
  const Sent sent = decode(once);
  ASSERT_EQ(sent.entries.size(), 1u);
  EXPECT_TRUE(sent.entries[0].content == framePattern(1000, 4));
  EXPECT_EQ(sent.entries[0].padding, 0xFF);
  EXPECT_TRUE(sent.endFrame);
  EXPECT_EQ(ctx.state.packetCount, 4);
}

TEST_F(TransferPhaseTest, rejectedFrame_endsPhaseAndSendsNothingMore) {
  const struct {
    const char* name;
    std::size_t badWrite;  // 0-based index of the frame that is not accepted
    ByteString verdict;    // empty: silence until the time-out
    bool portOpen;
  } cases[] = {
      {"CAN on address frame", 0, "\x18", false},
      {"CAN on second data frame", 2, "\x18", false},
      {"CAN on end frame", 5, "\x18", false},
      {"silence on first data frame", 1, "", true},
  };
  writeFile("a.bin", framePattern(1000, 5));
  writeFile("b.bin", framePattern(1, 6));
  writeFile("program.txt", "a.bin 1 0\r\nb.bin 2 0\r\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    port.writes.clear();
    if (!port.portOpen()) port.setPortOpen(true);
    std::vector<ByteString> verdicts(c.badWrite, "\x06");
    verdicts.push_back(c.verdict);
    answerWrites(verdicts);
    const double start = clock.now;
    const TransferOutcome outcome = transferPhase(ctx);
    EXPECT_EQ(outcome.kind, Kind::FrameRejected);
    EXPECT_EQ(outcome.text, "");
    EXPECT_EQ(port.writes.size(), c.badWrite + 1);
    EXPECT_EQ(port.portOpen(), c.portOpen);
    if (c.verdict.empty()) {
      EXPECT_NEAR(clock.now - start, 0.01 * static_cast<double>(c.badWrite) + 20.0, 1e-6);
    }
    expectFilesClosed();
  }
}

TEST_F(TransferPhaseTest, eachSourceOption_readsItsOwnList) {
  const struct {
    Source source;
    const char* list;
    int32_t address;
  } cases[] = {
      {Source::Lorebank, "lorebank.txt", 100},
      {Source::Program, "program.txt", 200},
      {Source::ProgramAndDsd, "all.txt", 300},
      {Source::EmergencyRestore, "ERestore.txt", 400},
  };
  writeFile("x.bin", "x");
  for (const auto& c : cases) writeFile(c.list, "x.bin 1 " + std::to_string(c.address) + "\r\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    port.writes.clear();
    window.selectedSources = {c.source};
    ASSERT_EQ(transferPhase(ctx).kind, Kind::Completed);
    const Sent sent = decode(port.writes);
    ASSERT_EQ(sent.entries.size(), 1u);
    EXPECT_EQ(sent.entries[0].address, c.address);
  }
  window.selectedSources = {Source::EmergencyRestore, Source::Lorebank};
  port.writes.clear();
  ASSERT_EQ(transferPhase(ctx).kind, Kind::Completed);
  EXPECT_EQ(decode(port.writes).entries.at(0).address, 100);
}

TEST_F(TransferPhaseTest, listMissingOrNoSource_faultsBeforeAnyFrame) {
  window.selectedSources = {};
  EXPECT_EQ(expectFault(fault::kBadFileName).description(),
            "No source is selected, so there is no transfer list to open");

  window.selectedSources = {Source::ProgramAndDsd};
  const Fault missing = expectFault(fault::kFileNotFound);
  EXPECT_EQ(missing.description(),
            "Transfer list \"all.txt\" was not found in the working folder " + folder_.dir().string());

  fs::create_directory("all.txt");
  EXPECT_EQ(expectFault(fault::kFileNotFound).description(), "Transfer list \"all.txt\" is a folder, not a file");
  EXPECT_TRUE(port.writes.empty());
  expectFilesClosed();
}

// A list that is a device or a pipe is no transfer list: a device would be
// read as an empty list (only the end frame sent, the run reported complete)
// or without end, and opening a pipe waits for a writer with the window frozen.
TEST_F(TransferPhaseTest, listNotRegularFile_faultsBeforeAnyFrame) {
  fs::create_symlink("/dev/null", "program.txt");
  EXPECT_EQ(expectFault(fault::kFileAccess).description(), "Transfer list \"program.txt\" is not a regular file");

  window.selectedSources = {Source::ProgramAndDsd};
  ASSERT_TRUE(test::makeFifo("all.txt"));
  EXPECT_EQ(expectFault(fault::kFileAccess).description(), "Transfer list \"all.txt\" is not a regular file");

  EXPECT_TRUE(port.writes.empty());
  expectFilesClosed();
}

TEST_F(TransferPhaseTest, imageNotRegularFile_faults) {
  ASSERT_TRUE(test::makeFifo("pipe.bin"));
  writeFile("program.txt", "pipe.bin 1 0\r\n");
  EXPECT_EQ(expectFault(fault::kFileAccess).description(), "program.txt line 1: \"pipe.bin\" is not a regular file");
  EXPECT_TRUE(port.writes.empty());
  expectFilesClosed();
}

// Runs the phase in a child process without root rights (root may read any
// file) and exits with the fault number: an unreadable image and an
// unreadable list are both a permission fault that names the file.
TEST_F(TransferPhaseTest, fileWithoutReadPermission_faultsPermissionDenied) {
  const struct {
    const char* locked;
    const char* description;
  } cases[] = {
      {"locked.bin", "program.txt line 1: \"locked.bin\" cannot be opened: permission denied"},
      {"program.txt", "Transfer list \"program.txt\" cannot be opened: permission denied"},
  };
  writeFile("locked.bin", "secret");
  writeFile("program.txt", "locked.bin 1 0\r\n");
  fs::permissions(folder_.dir(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locked);
    for (const char* name : {"locked.bin", "program.txt"}) {
      fs::permissions(name, name == std::string(c.locked)
                                ? fs::perms::none
                                : fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    EXPECT_EXIT(
        {
          if (test::runningAsRoot() && !test::dropRootRights()) std::_Exit(100);
          try {
            transferPhase(ctx);
          } catch (const Fault& f) {
            std::cerr << f.description() << std::endl;
            std::_Exit(f.number());
          }
          std::_Exit(101);
        },
        ::testing::ExitedWithCode(fault::kPermissionDenied), c.description);
  }
}

TEST_F(TransferPhaseTest, imageShrinksWhileSent_faultsInsteadOfShortFrame) {
  // Larger than any read-ahead buffer, so the shrink is seen by a later read.
  const ByteString original = framePattern(64 * 1024 + 100, 7);
  writeFile("a.bin", original);
  writeFile("program.txt", "a.bin 1 0\r\n");
  port.device(1).onWrite = [this](const ByteString& frame) {
    if (frame.size() == kDataFrameLength && fs::file_size("a.bin") > 300) fs::resize_file("a.bin", 300);
    port.device(1).receiveAt(clock.now + 0.01, "\x06");
  };
  const Fault f = expectFault(fault::kFileAccess);
  // Matchers rather than a regular expression: GoogleTest on Windows has no
  // character classes.
  EXPECT_THAT(f.description(),
              ::testing::AllOf(::testing::StartsWith("program.txt line 1: \"a.bin\": only "),
                               ::testing::HasSubstr(" of 512 bytes at offset "),
                               ::testing::EndsWith(" could be read; the file changed while it was being sent")));
  // Every frame that did go out holds the file as it was; none is short.
  ASSERT_GE(port.writes.size(), 2u);
  EXPECT_LT(port.writes.size(), 1 + original.size() / 512);
  for (std::size_t i = 1; i < port.writes.size(); ++i) {
    EXPECT_TRUE(port.writes[i].bytes.substr(0, 512) == original.substr((i - 1) * 512, 512)) << i;
  }
  expectFilesClosed();
}

TEST_F(TransferPhaseTest, imageOver2GiB_faultsOverflowBeforeAnyFrame) {
  { std::ofstream create("huge.bin", std::ios::binary); }
  fs::resize_file("huge.bin", 2147483648ULL);  // sparse: takes no room on disk
  writeFile("program.txt", "huge.bin 1 0\r\n");
  EXPECT_EQ(expectFault(fault::kOverflow).description(),
            "program.txt line 1: \"huge.bin\" holds 2147483648 bytes; at most 2147483647 bytes can be sent");
  EXPECT_TRUE(port.writes.empty());
  expectFilesClosed();
}

// The frames a list needs are known before the first one: a run that would
// overflow the frame counter sends nothing. Exactly 32767 frames still go.
TEST_F(TransferPhaseTest, listNeedingMoreFramesThanTheCounterHolds_faultsBeforeAnyFrame) {
  const struct {
    std::uintmax_t dataFrames;
    bool refused;
  } rows[] = {{32765, false}, {32766, true}};  // + address frame + end frame
  for (const auto& row : rows) {
    SCOPED_TRACE(row.dataFrames);
    { std::ofstream create("big.bin", std::ios::binary); }
    fs::resize_file("big.bin", row.dataFrames * 512);  // sparse
    writeFile("program.txt", "big.bin 1 0\r\nmissing-after-the-limit.bin 1 0\r\n");
    port.writes.clear();
    const auto plan = planTransfer(ctx.workingFolder, "program.txt");
    EXPECT_EQ(plan.framesToSend(), static_cast<long>(row.dataFrames) + 1);  // ends early at the missing file
    writeFile("program.txt", "big.bin 1 0\r\n");
    if (row.refused) {
      EXPECT_EQ(
          expectFault(fault::kOverflow).description(),
          "Overflow: a run can send at most 32767 frames; the list \"program.txt\" needs 32768, so none was sent");
      EXPECT_TRUE(port.writes.empty());
    } else {
      EXPECT_EQ(planTransfer(ctx.workingFolder, "program.txt").framesToSend(), 32767);
    }
  }
  expectFilesClosed();
}

TEST_F(TransferPhaseTest, windowClosingDuringData_endsWithClosedFiles) {
  writeFile("a.bin", framePattern(2000, 8));
  writeFile("program.txt", "a.bin 1 0\r\n");
  window.at(clock.now + 0.015, [this] { ctx.state.closing = true; });
  expectFault(fault::kWindowClosed);
  EXPECT_LE(port.writes.size(), 2u);
  expectFilesClosed();
}

TEST_F(TransferPhaseTest, filesClosed_listAndImagesCanBeReplacedAfterRun) {
  writeFile("a.bin", framePattern(10, 9));
  writeFile("program.txt", "a.bin 1 0\r\n");
  ASSERT_EQ(transferPhase(ctx).kind, Kind::Completed);
  expectFilesClosed();
  fs::remove("a.bin");
  fs::remove("program.txt");
  writeFile("a.bin", framePattern(20, 10));
  writeFile("program.txt", "a.bin 2 0\r\n");
  port.writes.clear();
  ASSERT_EQ(transferPhase(ctx).kind, Kind::Completed);
  EXPECT_TRUE(decode(port.writes).entries.at(0).content == framePattern(20, 10));
}

}  // namespace
}  // namespace torvane
