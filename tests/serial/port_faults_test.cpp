#include "serial/port_faults.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A host that knows nothing; each test tells it what it needs.
const PortHost kUnknownHost;

TEST(PortFaults, everyError_getsNumberAndActionableText) {
  const PortId com3{3, "/dev/ttyS2"};
  const struct {
    QSerialPort::SerialPortError error;
    PortStep step;
    int32_t number;
    const char* text;
  } rows[] = {
      {QSerialPort::DeviceNotFoundError, PortStep::Open, fault::kPortInvalid,
       "COM3 (/dev/ttyS2) does not exist. Connect the adapter or set TORVANE_COM3 to its device."},
      {QSerialPort::OpenError, PortStep::Open, fault::kPortAlreadyOpen, "COM3 (/dev/ttyS2) is already open"},
      {QSerialPort::OpenError, PortStep::Select, fault::kPortAlreadyOpen, "COM3 is open. Close it"},
      {QSerialPort::NotOpenError, PortStep::Read, fault::kPortNotOpen, "COM3 is not open"},
      {QSerialPort::NotOpenError, PortStep::Send, fault::kPortNotOpen, "before sending"},
      {QSerialPort::ResourceError, PortStep::Read, fault::kPortVanished,
       "The serial device behind COM3 (/dev/ttyS2) went away"},
      {QSerialPort::UnsupportedOperationError, PortStep::Open, fault::kPortInvalid, "is not a serial port"},
      {QSerialPort::UnsupportedOperationError, PortStep::Configure, fault::kPortIo, "does not support"},
      {QSerialPort::ReadError, PortStep::Read, fault::kPortIo, "failed while reading"},
      {QSerialPort::WriteError, PortStep::Send, fault::kPortIo, "failed while sending"},
      {QSerialPort::UnknownError, PortStep::Queue, fault::kPortIo, "failed while using the transmit queue"},
  };
  for (const auto& row : rows) {
    const Fault f = portFault(row.error, row.step, com3, "", kUnknownHost);
    EXPECT_EQ(f.number(), row.number) << row.text;
    EXPECT_TRUE(contains(f.description(), row.text)) << f.description();
    EXPECT_EQ(f.source(), "mscCom");
  }
}

TEST(PortFaults, invalidNumber_namesIt) {
  const Fault f = portFault(QSerialPort::DeviceNotFoundError, PortStep::Select, PortId{12, ""}, "", kUnknownHost);
  EXPECT_EQ(f.number(), fault::kPortInvalid);
  EXPECT_TRUE(contains(f.description(), "COM12 is not a valid port number")) << f.description();
}

TEST(PortFaults, absent_namesThePortsPresent) {
  const std::vector<ComAssignment> two = {{1, "/dev/ttyUSB0", std::nullopt, false},
                                          {2, "/dev/ttyS0", std::nullopt, false}};
  const struct {
    PortId port;
    std::vector<ComAssignment> present;
    const char* text;
  } rows[] = {
      {{5, "/dev/ttyUSB1"},
       two,
       "COM5 (/dev/ttyUSB1) does not exist. Connect the adapter or set TORVANE_COM5 to its device. "
       "The ports present are COM1 (/dev/ttyUSB0) and COM2 (/dev/ttyS0)."},
      {{5, "/dev/ttyUSB1"}, {two[1]}, "The port present is COM2 (/dev/ttyS0)."},
      {{9, ""},
       {},
       "COM9 has no serial device behind it. Connect the adapter or set TORVANE_COM9 to its device. "
       "No serial port is present."},
  };
  for (const auto& row : rows) {
    PortHost host;
    host.presentPorts = [&] { return row.present; };
    const Fault f = portFault(QSerialPort::DeviceNotFoundError, PortStep::Open, row.port, "", host);
    EXPECT_EQ(f.number(), fault::kPortInvalid);
    EXPECT_TRUE(contains(f.description(), row.text)) << f.description();
  }
}

TEST(PortFaults, permissionDenied_namesGroupAndFix) {
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
      {std::nullopt, {}, {}, "sudo usermod -aG dialout $USER"},
  };
  for (const auto& row : rows) {
    PortHost host;
    host.deviceAccess = [&](const std::string&) { return row.access; };
    host.databaseGroups = [&] { return row.database; };
    host.processGroups = [&] { return row.process; };
    const Fault f =
        portFault(QSerialPort::PermissionError, PortStep::Open, PortId{2, "/dev/ttyUSB0"}, "Permission denied", host);
    EXPECT_EQ(f.number(), fault::kPortPermission);
    EXPECT_TRUE(contains(f.description(), "Access to COM2 (/dev/ttyUSB0) was denied (Permission denied). "))
        << f.description();
    EXPECT_TRUE(contains(f.description(), row.text)) << f.description();
  }
}

TEST(PortFaults, busy_namesHolderAndFix) {
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
  for (const auto& row : rows) {
    PortHost host;
    host.mayReadWrite = [](const std::string&) { return true; };  // a refusal then means a holder
    host.holders = [&](const std::string& device) {
      EXPECT_EQ(device, "/dev/ttyUSB0");
      return row.holders;
    };
    const Fault f = portFault(QSerialPort::PermissionError, PortStep::Open, PortId{4, "/dev/ttyUSB0"}, "", host);
    EXPECT_EQ(f.number(), fault::kPortAlreadyOpen);
    EXPECT_TRUE(contains(f.description(), row.text)) << f.description();
  }
}

TEST(PortFaults, onlyResourceError_isFatal) {
  EXPECT_TRUE(isFatalPortError(QSerialPort::ResourceError));
  for (auto e : {QSerialPort::NoError, QSerialPort::ReadError, QSerialPort::WriteError, QSerialPort::TimeoutError,
                 QSerialPort::PermissionError}) {
    EXPECT_FALSE(isFatalPortError(e)) << e;
  }
}

}  // namespace
}  // namespace torvane
