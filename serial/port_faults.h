// The one place where serial port errors become torvane::Fault.
//
// Every port error (port_error.h), every failed open and every misuse of the
// port (wrong COM number, I/O on a closed port) is turned into a fault with a
// number from encoding/fault.h, a description the operator can act on, and
// the source "mscCom". The host look-ups (port_host.h) name the cause: the
// ports that are there, the device's group and the user's, the programs that
// hold the device.
#pragma once

#include <string>

#include "encoding/fault.h"
#include "serial/port_error.h"
#include "serial/port_host.h"

namespace torvane {

struct PortId {
  int com = 1;
  std::string device;   // host device behind the COM number
  bool byPath = false;  // the operator named the device itself, not a COM number
};

inline constexpr const char* kPortSource = "mscCom";

// The fault for `error` raised while doing `step` on `port`. `systemText` is
// the platform's own explanation, quoted where it helps; it may be empty.
Fault portFault(PortError error, PortStep step, const PortId& port, const std::string& systemText = {},
                const PortHost& host = systemPortHost());

// Adapters that hold received bytes longer than this are worth lowering:
// every frame of a transfer waits for the machine's answer.
inline constexpr int kLongestGoodLatencyMs = 2;

// How to lower the latency timer of the adapter behind `port`, which holds
// the machine's answers `latencyMs` ms; empty when it is short enough.
std::string latencyAdvice(const PortId& port, int latencyMs);

}  // namespace torvane
