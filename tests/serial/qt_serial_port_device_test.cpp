// The device behind the Qt serial port: where the lookup leads, what the host
// tells of it, and one writer per device whatever name either side uses.
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "serial/qt_serial_port.h"
#include "tests/serial/fake_port_host.h"
#include "tests/serial/pty_pair.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

using testing::faultOf;

ComLookup leadsTo(const std::string& device, bool byPath = false) {
  return [=](int) { return ComDevice{device, byPath}; };
}

// A pseudo-terminal that the test holds by its master side alone, and a
// symbolic link to it: the device under a second name.
class QtSerialPortDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok() && !dir.empty());
    pty.closeSlave();
    fs::create_symlink(device, link);
  }
  void TearDown() override { fs::remove_all(dir); }
  speed_t lineSpeed() const {
    termios t{};
    EXPECT_EQ(::tcgetattr(pty.master(), &t), 0);  // a pty's master tells its slave's settings
    return cfgetospeed(&t);
  }

  testing::NoComVariables noVariables;
  testing::PtyPair pty;
  const std::string device = pty.slavePath();
  const fs::path dir = test::makeScratchDirectory("torvane-port-device");
  const std::string link = (dir / "link").string();
};

TEST_F(QtSerialPortDevice, secondPortUnderAnotherName_isInUseAndLeavesTheHoldersLineAlone) {
  QtSerialPort first(leadsTo(device));
  first.setSettings("38400,N,8,1");
  first.setPortOpen(true);
  QtSerialPort second(leadsTo(link));
  second.setCommPort(2);
  const Fault f = faultOf([&] { second.setPortOpen(true); });
  EXPECT_EQ(f.number(), fault::kPortAlreadyOpen);
  EXPECT_EQ(f.description(), "COM2 (" + device + ") is in use by this program (process " + std::to_string(::getpid()) +
                                 "). Close it there first, or restart the program.");
  EXPECT_FALSE(second.portOpen());
  EXPECT_EQ(lineSpeed(), static_cast<speed_t>(B38400));
  first.output("ok");
  EXPECT_EQ(pty.readMaster(2, 1000), "ok");
  first.setPortOpen(false);  // releases the device
  second.setPortOpen(true);
  EXPECT_TRUE(second.portOpen());
}

TEST_F(QtSerialPortDevice, heldByAnotherProcess_isInUseNamingItUntilItEnds) {
  testing::HoldingProcess holder(device, "torvane-station", true);  // by its real name
  ASSERT_TRUE(holder.holding());
  QtSerialPort port(leadsTo(link));
  port.setCommPort(2);
  const Fault f = faultOf([&] { port.setPortOpen(true); });
  EXPECT_EQ(f.description(), "COM2 (" + device + ") is in use by torvane-station (process " +
                                 std::to_string(holder.pid()) + "). Close that program and try again.");
  EXPECT_FALSE(port.portOpen());
  holder.release();
  port.setPortOpen(true);
  EXPECT_TRUE(port.portOpen());
}

// The port hands the lookup's word on: the fault names the path, and the
// ports present are the host's.
TEST_F(QtSerialPortDevice, absentPath_namesThePathAndTheHostsPorts) {
  testing::FakePortHost host;
  host.ports = {testing::describedPort("/dev/ttyS0")};
  QtSerialPort port(leadsTo("/nonexistent/ttyUSB7", true), host);
  EXPECT_EQ(faultOf([&] { port.setPortOpen(true); }).description(),
            "/nonexistent/ttyUSB7 does not exist. Connect the adapter or choose one of the ports present. "
            "The port present is COM1 (/dev/ttyS0).");
}

TEST_F(QtSerialPortDevice, openedPort_isTheDeviceAsOpenedWithTheHostsDescription) {
  testing::FakePortHost host;
  PortDescription listed = testing::describedPort(device, "usb1/1-2");
  listed.description = "FT232R USB UART";
  host.ports = {listed};
  host.links[link] = device;
  QtSerialPort port(leadsTo(link), host);
  PortDescription expected = listed;
  expected.device = link;
  EXPECT_EQ(port.openedPort(), expected);  // the one it would open
  port.setPortOpen(true);
  EXPECT_EQ(port.openedPort(), expected);
  QtSerialPort unlisted(leadsTo("/dev/ttyUSB9"), host);
  EXPECT_EQ(unlisted.openedPort(), testing::describedPort("/dev/ttyUSB9"));
}

TEST_F(QtSerialPortDevice, inputWaitable_isTheOpenDescriptorThatPollsReadableOnInput) {
  QtSerialPort port(leadsTo(device));
  EXPECT_EQ(port.inputWaitable(), InputWaitable{});
  port.setPortOpen(true);
  const InputWaitable waitable = port.inputWaitable();
  ASSERT_EQ(waitable.kind, InputWaitable::Kind::FileDescriptor);
  pollfd p{static_cast<int>(waitable.value), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 0), 0);
  pty.writeMaster("A");
  EXPECT_EQ(::poll(&p, 1, 1000), 1);
  EXPECT_EQ(port.input(), "A");
  port.setPortOpen(false);
  EXPECT_EQ(port.inputWaitable(), InputWaitable{});
}

}  // namespace
}  // namespace torvane
