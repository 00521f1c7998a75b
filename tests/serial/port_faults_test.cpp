#include "serial/port_faults.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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
    const Fault f = portFault(row.error, row.step, com3, "");
    EXPECT_EQ(f.number(), row.number) << row.text;
    EXPECT_TRUE(contains(f.description(), row.text)) << f.description();
    EXPECT_EQ(f.source(), "mscCom");
  }
}

TEST(PortFaults, invalidNumber_namesIt) {
  const Fault f = portFault(QSerialPort::DeviceNotFoundError, PortStep::Select, PortId{12, ""});
  EXPECT_EQ(f.number(), fault::kPortInvalid);
  EXPECT_TRUE(contains(f.description(), "COM12 is not a valid port number")) << f.description();
}

TEST(PortFaults, permissionOnUnreachableDevice_mentionsDialout) {
  const Fault f = portFault(QSerialPort::PermissionError, PortStep::Open, PortId{2, "/nonexistent/ttyS1"},
                            "Permission denied");
  EXPECT_EQ(f.number(), fault::kPortPermission);
  EXPECT_TRUE(contains(f.description(), "COM2 (/nonexistent/ttyS1)")) << f.description();
  EXPECT_TRUE(contains(f.description(), "dialout")) << f.description();
  EXPECT_TRUE(contains(f.description(), "(Permission denied)")) << f.description();
}

TEST(PortFaults, permissionOnAccessibleDevice_isInUseByAnotherProgram) {
  // /dev/null may be read and written by everyone: a refusal means a lock.
  const Fault f = portFault(QSerialPort::PermissionError, PortStep::Open, PortId{4, "/dev/null"});
  EXPECT_EQ(f.number(), fault::kPortAlreadyOpen);
  EXPECT_TRUE(contains(f.description(), "COM4 (/dev/null) is in use by another program")) << f.description();
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
