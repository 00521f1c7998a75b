#include "serial/port_faults.h"

#include <gtest/gtest.h>

#include "tests/serial/fake_port_host.h"

namespace torvane {
namespace {

using testing::describedPort;
using testing::FakePortHost;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Each test tells the host what it needs; the COM map is the host's alone.
class PortFaults : public ::testing::Test {
 protected:
  Fault fault(PortError error, PortStep step, const PortId& port, const std::string& systemText = "") {
    return portFault(error, step, port, systemText, host);
  }

  testing::NoComVariables noVariables;
  FakePortHost host;
};

const PortId kCom3{3, "/dev/ttyS2"};
const PortId kByPath{1, "/dev/ttyUSB7", true};

TEST_F(PortFaults, everyError_getsNumberAndActionableText) {
  const struct {
    PortError error;
    PortStep step;
    PortId port;
    int32_t number;
    const char* text;
  } rows[] = {
      {PortError::NoDevice, PortStep::Open, kCom3, fault::kPortInvalid,
       "COM3 (/dev/ttyS2) does not exist. Connect the adapter or set TORVANE_COM3 to its device."},
      {PortError::AlreadyOpen, PortStep::Open, kCom3, fault::kPortAlreadyOpen, "COM3 (/dev/ttyS2) is already open"},
      {PortError::AlreadyOpen, PortStep::Select, kCom3, fault::kPortAlreadyOpen, "COM3 is open. Close it"},
      {PortError::InUse, PortStep::Open, kCom3, fault::kPortAlreadyOpen,
       "COM3 (/dev/ttyS2) is in use by another program. Close that program and try again."},
      {PortError::NotOpen, PortStep::Read, kCom3, fault::kPortNotOpen, "COM3 is not open"},
      {PortError::NotOpen, PortStep::Send, kCom3, fault::kPortNotOpen, "before sending"},
      {PortError::DeviceGone, PortStep::Read, kCom3, fault::kPortVanished,
       "The serial device behind COM3 (/dev/ttyS2) went away (EIO). Check the cable"},
      {PortError::Unsupported, PortStep::Open, kCom3, fault::kPortInvalid,
       "COM3 (/dev/ttyS2) is not a serial port (EIO). Check TORVANE_COM3 or choose another port."},
      {PortError::Unsupported, PortStep::Configure, kCom3, fault::kPortIo, "does not support"},
      {PortError::ReadFailed, PortStep::Read, kCom3, fault::kPortIo, "failed while reading"},
      {PortError::WriteFailed, PortStep::Send, kCom3, fault::kPortIo, "failed while sending"},
      {PortError::Other, PortStep::Queue, kCom3, fault::kPortIo, "failed while using the transmit queue"},
      // A device named by its path: the texts name that path, never a COM
      // number of ours, and no variable is offered.
      {PortError::Unsupported, PortStep::Open, kByPath, fault::kPortInvalid,
       "/dev/ttyUSB7 is not a serial port (EIO). Check the path or choose another port."},
      {PortError::DeviceGone, PortStep::Send, kByPath, fault::kPortVanished,
       "The serial device behind /dev/ttyUSB7 went away (EIO)."},
      {PortError::NotOpen, PortStep::Read, kByPath, fault::kPortNotOpen, "/dev/ttyUSB7 is not open"},
  };
  for (const auto& row : rows) {
    const Fault f = fault(row.error, row.step, row.port, "EIO");
    EXPECT_EQ(f.number(), row.number) << row.text;
    EXPECT_TRUE(contains(f.description(), row.text)) << f.description();
    EXPECT_EQ(f.source(), "mscCom");
  }
}

TEST_F(PortFaults, invalidNumber_namesIt) {
  const Fault f = fault(PortError::NoDevice, PortStep::Select, PortId{12, ""});
  EXPECT_EQ(f.number(), fault::kPortInvalid);
  EXPECT_TRUE(contains(f.description(), "COM12 is not a valid port number")) << f.description();
}

TEST_F(PortFaults, absent_namesThePortsOfTheHostsComMap) {
  const std::vector<PortDescription> two = {describedPort("/dev/ttyUSB0", "usb1/1-2"), describedPort("/dev/ttyS0")};
  const struct {
    PortId port;
    std::vector<PortDescription> ports;
    const char* text;
  } rows[] = {
      {{5, "/dev/ttyUSB1"},
       two,
       "COM5 (/dev/ttyUSB1) does not exist. Connect the adapter or set TORVANE_COM5 to its device. "
       "The ports present are COM1 (/dev/ttyS0) and COM2 (/dev/ttyUSB0)."},
      {{5, "/dev/ttyUSB1"},
       {two[1]},
       "COM5 (/dev/ttyUSB1) does not exist. Connect the adapter or set TORVANE_COM5 to its device. "
       "The port present is COM1 (/dev/ttyS0)."},
      {{9, ""},
       {},
       "COM9 has no serial device behind it. Connect the adapter or set TORVANE_COM9 to its device. "
       "No serial port is present."},
      {kByPath,
       {two[1]},
       "/dev/ttyUSB7 does not exist. Connect the adapter or choose one of the ports present. "
       "The port present is COM1 (/dev/ttyS0)."},
      {kByPath, {}, "/dev/ttyUSB7 does not exist. Connect the adapter. No serial port is present."},
  };
  for (const auto& row : rows) {
    host.ports = row.ports;
    const Fault f = fault(PortError::NoDevice, PortStep::Open, row.port);
    EXPECT_EQ(f.number(), fault::kPortInvalid);
    EXPECT_EQ(f.description(), row.text);
  }
}

TEST_F(PortFaults, permissionDenied_namesGroupAndFix) {
  const uint32_t dialout = 20;
  const struct {
    std::optional<DeviceAccess> access;
    std::vector<uint32_t> database, process;
    const char* text;
  } rows[] = {
      {DeviceAccess{dialout, "dialout", 0660},
       {1000},
       {1000},
       "The device belongs to the group dialout and your user is not in it: add it with sudo usermod -aG dialout "
       "$USER, then log out and in again."},
      {DeviceAccess{dialout, "dialout", 0660},
       {1000, dialout},
       {1000},
       "you were added to dialout after this login: log out and in again (or restart)"},
      {DeviceAccess{dialout, "dialout", 0660},
       {1000, dialout},
       {dialout, 1000},
       "is open to this login, so a security"},
      {DeviceAccess{dialout, "dialout", 0666}, {}, {}, "is open to this login"},
      {DeviceAccess{dialout, "dialout", 0600}, {}, {}, "(group dialout, mode 0600) does not let a group"},
      {DeviceAccess{0, "root", 0660}, {}, {}, "ask the administrator"},
  };
  for (const auto& row : rows) {
    host.access = row.access;
    host.database = row.database;
    host.process = row.process;
    const Fault f = fault(PortError::AccessDenied, PortStep::Open, PortId{2, "/dev/ttyUSB0"}, "Permission denied");
    EXPECT_EQ(f.number(), fault::kPortPermission);
    EXPECT_TRUE(contains(f.description(), "Access to COM2 (/dev/ttyUSB0) was denied (Permission denied). "))
        << f.description();
    EXPECT_TRUE(contains(f.description(), row.text)) << f.description();
  }
}

TEST_F(PortFaults, permissionDeniedWithoutGroup_advisesTheDialoutGroup) {
  const Fault f = fault(PortError::AccessDenied, PortStep::Open, PortId{2, "/dev/ttyUSB0"});
  EXPECT_TRUE(contains(f.description(), "sudo usermod -aG dialout $USER")) << f.description();
}

TEST_F(PortFaults, busy_namesHolderAndFix) {
  const PortHolder minicom{4321, "minicom", false, true}, self{12, "torvane-update", true, true},
      modemManager{812, "ModemManager", false, true}, brltty{77, "brltty", false, true};
  const struct {
    std::vector<PortHolder> holders;
    const char* text;
  } rows[] = {
      {{}, "COM4 (/dev/ttyUSB0) is in use by another program. Close that program and try again."},
      {{minicom}, "COM4 (/dev/ttyUSB0) is in use by minicom (process 4321). Close that program and try again."},
      {{self}, "is in use by this program (process 12). Close it there first, or restart the program."},
      {{minicom, self}, "is in use by minicom (process 4321) and this program (process 12). Close that program"},
      {{modemManager},
       "ModemManager (process 812). ModemManager probes new serial adapters: stop it with sudo "
       "systemctl stop ModemManager"},
      {{brltty},
       "brltty (process 77). brltty, a braille display driver, takes CH340 and CP210x adapters: remove it "
       "with sudo apt remove brltty, then plug the adapter in again."},
      {{PortHolder{812, "ModemManager", false, false}},
       "is in use by another program. ModemManager (process 812) is running and may hold it. ModemManager probes"},
  };
  host.readWrite = true;  // a refusal then means a holder
  for (const auto& row : rows) {
    host.holding = row.holders;
    for (PortError error : {PortError::AccessDenied, PortError::InUse}) {
      const Fault f = fault(error, PortStep::Open, PortId{4, "/dev/ttyUSB0"});
      EXPECT_EQ(f.number(), fault::kPortAlreadyOpen);
      EXPECT_TRUE(contains(f.description(), row.text)) << f.description();
    }
  }
}

// The holders are looked up, and named, by the device the alias stands for.
TEST_F(PortFaults, busyUnderAnotherName_namesTheDeviceItself) {
  host.links["/dev/serial/by-id/usb-FTDI"] = "/dev/ttyUSB0";
  host.holding = {PortHolder{1234, "torvane-station", false, true}};
  const struct {
    PortId port;
    const char* text;
  } rows[] = {
      {{2, "/dev/serial/by-id/usb-FTDI"},
       "COM2 (/dev/ttyUSB0) is in use by torvane-station (process 1234). Close that program and try again."},
      {{1, "/dev/serial/by-id/usb-FTDI", true},
       "/dev/ttyUSB0 is in use by torvane-station (process 1234). Close that program and try again."},
  };
  for (const auto& row : rows) {
    host.askedFor.clear();
    EXPECT_EQ(fault(PortError::InUse, PortStep::Open, row.port).description(), row.text);
    EXPECT_EQ(host.askedFor, std::vector<std::string>{"/dev/ttyUSB0"});
  }
}

TEST_F(PortFaults, onlyDeviceGone_isFatal) {
  for (PortError error : {PortError::NoDevice, PortError::AccessDenied, PortError::InUse, PortError::AlreadyOpen,
                          PortError::NotOpen, PortError::DeviceGone, PortError::Unsupported, PortError::ReadFailed,
                          PortError::WriteFailed, PortError::Other}) {
    EXPECT_EQ(isFatalPortError(error), error == PortError::DeviceGone) << static_cast<int>(error);
  }
}

}  // namespace
}  // namespace torvane
