// The port scan, run at start-up and by "Configure Port":
//
//   for COM1..COM9:
//     1 "Scanning Port COMn", one yield so that it is painted
//     2 select port number n, open it
//     3 listen 2 s (at least one pass), looking for "AA" in everything
//       received during the whole scan
//     4 found      status, close, select the port option and number n, end
//     5 not found  stop the pause timer, status, close, yield
//   after COM9: "Can not locate TorVane®."
//
// A failure on one port ends that port's attempt only: the scan closes the
// port if it opened it itself and goes on with the next one. A port that was
// already open when the scan reached it (an update run in progress) belongs
// to someone else and is left open. Nothing ever leaves ScanPorts; when the
// window is closing the scan ends at its next yield.
#include "discovery/scan_ports.h"

#include <exception>
#include <string>

#include "context/wait.h"
#include "encoding/fault.h"

namespace torvane {

namespace {

constexpr double kListenSeconds = 2;
const char* const kAnnouncement = "AA";

std::string scanningText(int n) { return " Status: Scanning Port COM" + std::to_string(n) + "\r\n"; }
std::string foundText(int n) { return " Status: TorVane\u00AE found on Com" + std::to_string(n); }
std::string notFoundText(int n) { return " Status: TorVane\u00AE not found on COM" + std::to_string(n) + "\r\n"; }
const char* const kCannotLocateText =
    " Status: Can not locate TorVane\u00AE.\r\n  Make sure it is connected and cleared.";

// Runs one step whose failure must not stop what follows it.
template <typename Step>
bool tryStep(Step step) noexcept {
  try {
    step();
    return true;
  } catch (...) {
    return false;
  }
}

bool isWindowClosed(const Fault& f) { return f.number() == fault::kWindowClosed; }

class PortScan {
 public:
  explicit PortScan(FormContext& ctx) : ctx_(ctx), port_(ctx.mscCom), window_(ctx.window) {}

  ScanEnd execute() noexcept {
    for (int n = kFirstCom; n <= kLastCom; ++n) {
      switch (tryPort(n)) {
        case Outcome::Found: return ScanEnd::Found;
        case Outcome::WindowClosed: return ScanEnd::WindowClosed;
        case Outcome::NotFound:
        case Outcome::Skipped: break;
      }
    }
    tryStep([&] { window_.setStatus(kCannotLocateText); });
    return ScanEnd::NotFound;
  }

 private:
  enum class Outcome { Found, NotFound, Skipped, WindowClosed };

  // One port, steps 1 to 5. Any failure ends this port's attempt; the port is
  // closed when this attempt opened it.
  Outcome tryPort(int n) noexcept {
    opened_ = false;
    try {
      if (ctx_.state.closing) return Outcome::WindowClosed;
      window_.setStatus(scanningText(n));
      yieldOnce(ctx_);
      port_.setCommPort(n);                           // fails while someone else's port is open
      if (port_.portOpen()) return Outcome::Skipped;  // not ours: never read or closed
      port_.setPortOpen(true);                        // fails on an absent or busy port
      opened_ = true;
      if (listen()) {
        reportFound(n);
        return Outcome::Found;
      }
      window_.stopDelay();
      window_.setStatus(notFoundText(n));
      closeOwnPort(n);
      yieldOnce(ctx_);
      return Outcome::NotFound;
    } catch (const Fault& f) {
      closeOwnPort(n);
      return isWindowClosed(f) ? Outcome::WindowClosed : Outcome::Skipped;
    } catch (...) {
      closeOwnPort(n);
      return Outcome::Skipped;
    }
  }

  // Listens for kListenSeconds on the monotonic clock. True once the
  // announcement is in the received text.
  bool listen() {
    const WaitFor window{ctx_.clock.seconds() + kListenSeconds};
    return waitUntil(ctx_, window, [&] {
             received_ += port_.input();
             return received_.find(kAnnouncement) != ByteString::npos;
           }) == WaitEnd::Done;
  }

  // The machine answered on COM n. Each step is tried even when an earlier
  // one fails: the operator's port choice matters more than a status write.
  void reportFound(int n) noexcept {
    tryStep([&] { window_.setStatus(foundText(n)); });
    closeOwnPort(n);
    tryStep([&] { window_.selectPortOption(n); });
    // With the port still open (a close that failed twice) this fails, and
    // the number is n already.
    tryStep([&] { port_.setCommPort(n); });
  }

  // Closes the port when this attempt opened it and it is still the port on
  // COM n (a handler run during a yield may have closed it or changed it).
  // A close that fails is tried once more.
  void closeOwnPort(int n) noexcept {
    if (!opened_) return;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const bool closed = tryStep([&] {
        if (port_.portOpen() && port_.commPort() == n) port_.setPortOpen(false);
      });
      if (closed) break;
    }
    opened_ = false;
  }

  FormContext& ctx_;
  SerialPort& port_;
  WindowOps& window_;
  ByteString received_;  // everything read during the whole scan, never cleared
  bool opened_ = false;  // the port was opened by the current attempt
};

}  // namespace

ScanEnd ScanPorts(FormContext& ctx) { return PortScan(ctx).execute(); }

}  // namespace torvane
