// The Qt serial port against pseudo-terminals: lifecycle, raw bytes, line
// settings and the transmit queue.
#include "serial/qt_serial_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <cstdlib>

#include "tests/serial/pty_pair.h"

namespace torvane {
namespace {

using testing::allByteValues;
using testing::PtyPair;
using testing::runEventLoop;

constexpr int kCom = 5;

class QtSerialPortPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok()) << "openpty failed";
    ::setenv("TORVANE_COM5", pty.slavePath().c_str(), 1);
    port.setCommPort(kCom);
  }
  void TearDown() override { ::unsetenv("TORVANE_COM5"); }

  termios slaveTermios() const {
    termios t{};
    EXPECT_EQ(::tcgetattr(pty.slave(), &t), 0);
    return t;
  }

  speed_t slaveSpeed() const {
    const termios t = slaveTermios();
    return cfgetospeed(&t);
  }

  PtyPair pty;
  QtSerialPort port;
};

TEST_F(QtSerialPortPty, newPort_isClosedOnComOneAt4800) {
  QtSerialPort fresh;
  EXPECT_FALSE(fresh.portOpen());
  EXPECT_EQ(fresh.commPort(), 1);
  EXPECT_EQ(fresh.settings(), "4800,N,8,1");
}

// The open asks the driver for low latency; a pseudo-terminal does not know
// the request and must open as before. Whether a USB adapter then answers
// within 1 ms needs a real adapter and cannot be tested here.
TEST_F(QtSerialPortPty, openAndClose_followPortOpen) {
  EXPECT_EQ(port.device(), pty.slavePath());
  port.setPortOpen(true);
  EXPECT_TRUE(port.portOpen());
  port.setPortOpen(false);
  EXPECT_FALSE(port.portOpen());
  port.setPortOpen(false);  // closing a closed port does nothing
  EXPECT_FALSE(port.portOpen());
  port.setPortOpen(true);  // and it opens again
  EXPECT_TRUE(port.portOpen());
}

TEST_F(QtSerialPortPty, open_setsRawLineWithoutFlowControl) {
  port.setPortOpen(true);
  const termios t = slaveTermios();
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800));
}

TEST_F(QtSerialPortPty, everyByteValue_goesOutUnchanged) {
  port.setPortOpen(true);
  const ByteString all = allByteValues();
  port.output(all + all);
  EXPECT_EQ(pty.readMaster(512, 1000), all + all);
}

TEST_F(QtSerialPortPty, everyByteValue_comesInUnchangedWithoutEventLoop) {
  port.setPortOpen(true);
  const ByteString all = allByteValues();
  pty.writeMaster(all);
  ASSERT_TRUE(pty.waitSlaveHolds(all.size(), 1000));
  // No Qt event was processed since the bytes arrived: input() fetches them.
  EXPECT_EQ(port.input(), all);
  EXPECT_EQ(port.input(), "");
}

TEST_F(QtSerialPortPty, bytesFetchedByEventLoop_areReturnedOnce) {
  port.setPortOpen(true);
  pty.writeMaster("AA\r");
  ASSERT_TRUE(pty.waitSlaveHolds(3, 1000));
  runEventLoop(20);  // Qt's read notifier takes them into its buffer
  EXPECT_EQ(port.input(), "AA\r");
  EXPECT_EQ(port.input(), "");
}

TEST_F(QtSerialPortPty, positiveReadLength_limitsEachRead) {
  port.setInputLen(4);
  port.setPortOpen(true);
  pty.writeMaster("0123456789");
  ASSERT_TRUE(pty.waitSlaveHolds(10, 1000));
  EXPECT_EQ(port.input(), "0123");
  EXPECT_EQ(port.input(), "4567");
  EXPECT_EQ(port.input(), "89");
  port.setInputLen(0);
  pty.writeMaster("abcdef");
  ASSERT_TRUE(pty.waitSlaveHolds(6, 1000));
  EXPECT_EQ(port.input(), "abcdef");
}

TEST_F(QtSerialPortPty, manyKilobytes_comeInWithoutLoss) {
  // Far more than the 512-byte receive buffer size: nothing may be dropped.
  port.setInBufferSize(512);
  port.setPortOpen(true);
  ByteString sent;
  for (int i = 0; i < 40; ++i) sent += allByteValues();
  ByteString got;
  for (std::size_t at = 0; at < sent.size(); at += 1024) {
    pty.writeMaster(sent.substr(at, 1024));
    runEventLoop(1);
    got += port.input();
  }
  for (int pass = 0; pass < 200 && got.size() < sent.size(); ++pass) {
    runEventLoop(2);
    got += port.input();
  }
  EXPECT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent);
}

TEST_F(QtSerialPortPty, oneRead_returnsMoreThanReceiveBufferSize) {
  // The receive buffer size is stored only: Qt's own read buffer must not
  // be bounded by it, or a read would stop at 512 bytes.
  port.setInBufferSize(512);
  port.setPortOpen(true);
  const ByteString sent = allByteValues() + allByteValues() + allByteValues() + allByteValues() + "tail";
  pty.writeMaster(sent);
  ASSERT_TRUE(pty.waitSlaveHolds(sent.size(), 1000));
  EXPECT_EQ(port.input(), sent);
}

TEST_F(QtSerialPortPty, arrivalDuringEventLoop_callsActivityHandler) {
  int calls = 0;
  port.setActivityHandler([&] { ++calls; });
  port.setPortOpen(true);
  pty.writeMaster("AA");
  ASSERT_TRUE(pty.waitSlaveHolds(2, 1000));
  EXPECT_EQ(calls, 0);
  runEventLoop(20);
  EXPECT_GT(calls, 0);
  EXPECT_EQ(port.input(), "AA");
}

TEST_F(QtSerialPortPty, settingsChangeWhileOpen_reachesLineAndKeepsPortOpen) {
  port.setSettings("4800,N,8,1");
  port.setPortOpen(true);
  EXPECT_EQ(slaveSpeed(), static_cast<speed_t>(B4800));

  port.setSettings("38400,N,8,1");
  EXPECT_TRUE(port.portOpen());
  EXPECT_EQ(port.settings(), "38400,N,8,1");
  termios t{};
  ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);  // the master side sees it too
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B38400));

  // The bytes that follow still pass both ways.
  port.output("\x02\xFF");
  EXPECT_EQ(pty.readMaster(2, 1000), "\x02\xFF");
  pty.writeMaster("\x06");
  ASSERT_TRUE(pty.waitSlaveHolds(1, 1000));
  EXPECT_EQ(port.input(), "\x06");
}

// A pseudo-terminal carries speed and stop bits; it is always 8 bits
// without parity (see lineRefusingSettings_* for the rest).
TEST_F(QtSerialPortPty, settingsFields_reachTheLine) {
  const struct {
    const char* text;
    speed_t speed;
    bool twoStops;
  } rows[] = {
      {"4800,N,8,1", B4800, false},
      {"38400,N,8,2", B38400, true},
      {"9600,n,8,1", B9600, false},
      {"115200,N,8,1", B115200, false},
  };
  port.setPortOpen(true);
  for (const auto& row : rows) {
    port.setSettings(row.text);
    const termios t = slaveTermios();
    EXPECT_EQ(cfgetospeed(&t), row.speed) << row.text;
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << row.text;
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, row.twoStops) << row.text;
    EXPECT_EQ(port.settings(), row.text);
  }
}

TEST_F(QtSerialPortPty, lineRefusingSettings_isIoFaultAndKeepsOldSettingsAndPortOpen) {
  port.setPortOpen(true);
  for (const char* text : {"38400,E,7,2", "38400,E,8,1", "38400,N,7,1"}) {
    try {
      port.setSettings(text);
      ADD_FAILURE() << "a pseudo-terminal accepted " << text;
    } catch (const Fault& f) {
      EXPECT_EQ(f.number(), fault::kPortIo) << text;
      EXPECT_NE(f.description().find(text), std::string::npos) << f.description();
    }
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(port.settings(), "4800,N,8,1");
    EXPECT_EQ(slaveSpeed(), static_cast<speed_t>(B4800)) << "settings in force restored after " << text;
  }
}

TEST_F(QtSerialPortPty, settingsSetWhileClosed_applyAtOpen) {
  port.setSettings("38400,N,8,1");
  port.setPortOpen(true);
  EXPECT_EQ(slaveSpeed(), static_cast<speed_t>(B38400));
  port.setPortOpen(false);
  port.setPortOpen(true);  // kept across close and open
  EXPECT_EQ(slaveSpeed(), static_cast<speed_t>(B38400));
}

TEST_F(QtSerialPortPty, buffersAndReadLength_areStored) {
  port.setInputLen(0);
  port.setOutBufferSize(1024);
  port.setInBufferSize(512);
  EXPECT_EQ(port.inputLen(), 0);
  EXPECT_EQ(port.outBufferSize(), 1024);
  EXPECT_EQ(port.inBufferSize(), 512);
}

TEST_F(QtSerialPortPty, sentBytes_leaveTheQueue) {
  port.setPortOpen(true);
  EXPECT_EQ(port.outBufferCount(), 0);
  port.output("s\r");
  EXPECT_EQ(pty.readMaster(2, 1000), "s\r");
  EXPECT_EQ(port.outBufferCount(), 0);
}

TEST_F(QtSerialPortPty, clearAfterTheQueueEmptied_keepsBytesTheFarEndHasNotReadYet) {
  port.setPortOpen(true);
  port.output("s\r");
  EXPECT_EQ(port.outBufferCount(), 0);
  // The far end has not read yet; a clear now must not take the command back.
  port.clearOutBuffer();
  EXPECT_EQ(pty.readMaster(2, 1000), "s\r");
}

TEST_F(QtSerialPortPty, stalledLine_countsQueuedBytesAndClearDiscardsThem) {
  port.setPortOpen(true);
  // The far end reads nothing: the pseudo-terminal fills and the rest waits.
  const ByteString block(256 * 1024, '\x55');
  port.output(block);
  runEventLoop(5);
  const int queued = port.outBufferCount();
  EXPECT_GT(queued, 0);
  EXPECT_LE(queued, static_cast<int>(block.size()));

  port.clearOutBuffer();
  EXPECT_EQ(port.outBufferCount(), 0);
  EXPECT_TRUE(port.portOpen());

  // What was cleared never arrives; what is sent afterwards does.
  port.output("END");
  const ByteString got = pty.readMaster(block.size() + 3, 300);
  ASSERT_GE(got.size(), 3u);
  EXPECT_LT(got.size(), block.size());
  EXPECT_EQ(got.substr(got.size() - 3), "END");
}

}  // namespace
}  // namespace torvane
