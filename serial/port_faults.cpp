#include "serial/port_faults.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include "serial/com_names.h"

namespace torvane {
namespace {

std::string com(const PortId& port) { return "COM" + std::to_string(port.com); }

std::string label(const PortId& port) { return comLabel(port.com, port.device); }

std::string because(const std::string& systemText) {
  return systemText.empty() ? std::string() : " (" + systemText + ")";
}

const char* doing(PortStep step) {
  switch (step) {
    case PortStep::Select: return "selecting the port";
    case PortStep::Open: return "opening";
    case PortStep::Configure: return "changing the line settings";
    case PortStep::Send: return "sending";
    case PortStep::Read: return "reading";
    case PortStep::Queue: return "using the transmit queue";
  }
  return "using the port";
}

// A permission error on a device that we may read and write means that
// another program holds it (an exclusive open or a lock file).
bool heldByAnotherProgram(const PortId& port) {
#ifdef _WIN32
  (void)port;
  return true;  // Windows reports "access denied" for a port in use.
#else
  return ::access(port.device.c_str(), R_OK | W_OK) == 0;
#endif
}

Fault permissionFault(const PortId& port, const std::string& systemText) {
  if (heldByAnotherProgram(port)) {
    return Fault(fault::kPortAlreadyOpen,
                 label(port) + " is in use by another program. Close that program and try again.", kPortSource);
  }
#ifdef __linux__
  return Fault(fault::kPortPermission,
               "Access to " + label(port) + " was denied" + because(systemText) +
                   ". Add your user to the dialout group (sudo usermod -aG dialout $USER), log in again and retry.",
               kPortSource);
#else
  return Fault(fault::kPortPermission,
               "Access to " + label(port) + " was denied" + because(systemText) +
                   ". Ask the administrator for permission to use the port.",
               kPortSource);
#endif
}

}  // namespace

bool isFatalPortError(QSerialPort::SerialPortError error) {
  return error == QSerialPort::ResourceError;
}

Fault portFault(QSerialPort::SerialPortError error, PortStep step, const PortId& port,
                const std::string& systemText) {
  switch (error) {
    case QSerialPort::DeviceNotFoundError:
      if (step == PortStep::Select || port.device.empty()) {
        return Fault(fault::kPortInvalid,
                     com(port) + " is not a valid port number. Choose a port from COM1 to COM9.", kPortSource);
      }
      return Fault(fault::kPortInvalid,
                   label(port) + " does not exist. Connect the adapter or set TORVANE_COM" +
                       std::to_string(port.com) + " to its device.",
                   kPortSource);
    case QSerialPort::PermissionError:
      return permissionFault(port, systemText);
    case QSerialPort::OpenError:
      if (step == PortStep::Select) {
        return Fault(fault::kPortAlreadyOpen,
                     com(port) + " is open. Close it before choosing another port.", kPortSource);
      }
      return Fault(fault::kPortAlreadyOpen, label(port) + " is already open.", kPortSource);
    case QSerialPort::NotOpenError:
      return Fault(fault::kPortNotOpen,
                   com(port) + " is not open. Open the port before " + doing(step) + ".", kPortSource);
    case QSerialPort::ResourceError:
      return Fault(fault::kPortVanished,
                   "The serial device behind " + label(port) + " went away" + because(systemText) +
                       ". Check the cable and the adapter, then start again.",
                   kPortSource);
    case QSerialPort::UnsupportedOperationError:
      if (step == PortStep::Open) {
        return Fault(fault::kPortInvalid,
                     label(port) + " is not a serial port" + because(systemText) + ". Check TORVANE_COM" +
                         std::to_string(port.com) + " or choose another port.",
                     kPortSource);
      }
      return Fault(fault::kPortIo, label(port) + " does not support " + doing(step) + because(systemText) + ".",
                   kPortSource);
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::TimeoutError:
    case QSerialPort::UnknownError:
    case QSerialPort::NoError:
      break;
  }
  return Fault(fault::kPortIo,
               "The serial port " + label(port) + " failed while " + doing(step) + because(systemText) +
                   ". Check the cable and the adapter, then try again.",
               kPortSource);
}

}  // namespace torvane
