#include "tests/fakes/fake_serial_port.h"

#include <algorithm>
#include <memory>

#include "encoding/fault.h"

namespace torvane::testing {

FakeSerialPort::FakeSerialPort(FakeClock& clock) : clock_(clock) {
  for (int n = 1; n <= 9; ++n) devices_[n];
  clock_.nextInputAfter = [this](double time) { return nextArrivalAfter(time); };
}

void FakeSerialPort::maybeFail(const std::string& op) {
  auto it = failNext.find(op);
  if (it != failNext.end() && it->second > 0) {
    --it->second;
    throw Fault(failNumber, "Injected failure of " + op, "FakeSerialPort");
  }
}

void FakeSerialPort::requireOpen(const char* op) const {
  if (!open_) throw Fault(fault::kPortNotOpen, std::string("Port is not open (") + op + ")", "FakeSerialPort");
}

void FakeSerialPort::respond(int number, const ByteString& trigger, const ByteString& reply, double after, int times) {
  auto remaining = std::make_shared<int>(times);
  auto previous = devices_[number].onWrite;
  devices_[number].onWrite = [this, number, trigger, reply, after, remaining, previous](const ByteString& w) {
    if (previous) previous(w);
    if (w == trigger && *remaining != 0) {
      if (*remaining > 0) --*remaining;
      devices_[number].receiveAt(clock_.now + after, reply);
    }
  };
}

std::optional<double> FakeSerialPort::nextArrival() const {
  if (!open_) return std::nullopt;
  const auto& d = devices_.at(commPort_);
  std::optional<double> next;
  for (const auto& a : d.arrivals) {
    if (!next || a.time < *next) next = a.time;
  }
  return next;
}

std::optional<double> FakeSerialPort::nextArrivalAfter(double time) const {
  if (!open_) return std::nullopt;
  std::optional<double> next;
  for (const auto& a : devices_.at(commPort_).arrivals) {
    if (a.time > time && (!next || a.time < *next)) next = a.time;
  }
  return next;
}

void FakeSerialPort::setCommPort(int number) {
  note("select " + std::to_string(number));
  if (open_) throw Fault(fault::kPortAlreadyOpen, "Port already open", "FakeSerialPort");
  if (number >= 1 && number <= 9) devices_[number].touched = true;
  commPort_ = number;
}

void FakeSerialPort::setSettings(const std::string& settings) {
  maybeFail("settings");
  note("settings " + settings);
  settings_ = settings;
}

void FakeSerialPort::setPortOpen(bool open) {
  if (open) {
    note("open " + std::to_string(commPort_));
    if (open_) throw Fault(fault::kPortAlreadyOpen, "Port already open", "FakeSerialPort");
    auto& d = devices_[commPort_];
    d.touched = true;
    if (!d.present)
      throw Fault(fault::kPortInvalid, "No device behind COM" + std::to_string(commPort_), "FakeSerialPort");
    if (d.busy)
      throw Fault(fault::kPortAlreadyOpen, "COM" + std::to_string(commPort_) + " is in use", "FakeSerialPort");
    maybeFail("open");
    ++d.opens;
    open_ = true;
    pending_ = 0;
  } else {
    if (!open_) return;
    note("close " + std::to_string(commPort_));
    maybeFail("close");
    ++devices_[commPort_].closes;
    open_ = false;
  }
}

void FakeSerialPort::setInBufferSize(int bytes) {
  note("inbuffer " + std::to_string(bytes));
  inBufferSize = bytes;
}
void FakeSerialPort::setOutBufferSize(int bytes) {
  note("outbuffer " + std::to_string(bytes));
  outBufferSize = bytes;
}
void FakeSerialPort::setInputLen(int bytes) {
  note("inputlen " + std::to_string(bytes));
  inputLen = bytes;
}

void FakeSerialPort::output(const ByteString& bytes) {
  requireOpen("output");
  maybeFail("output");
  writes.push_back({commPort_, settings_, bytes, clock_.now});
  pending_ = static_cast<int>(bytes.size());
  drainAt_ = clock_.now + drainSeconds;
  auto& d = devices_[commPort_];
  if (d.onWrite) d.onWrite(bytes);
}

ByteString FakeSerialPort::input() {
  requireOpen("input");
  maybeFail("input");
  auto& d = devices_[commPort_];
  ++d.reads;
  if (d.failReadAfter >= 0 && d.reads > d.failReadAfter) {
    d.failReadAfter = -1;
    throw Fault(fault::kPortIo, "Injected read failure on COM" + std::to_string(commPort_), "FakeSerialPort");
  }
  std::stable_sort(d.arrivals.begin(), d.arrivals.end(),
                   [](const Arrival& a, const Arrival& b) { return a.time < b.time; });
  auto due = std::find_if(d.arrivals.begin(), d.arrivals.end(), [&](const Arrival& a) { return a.time > clock_.now; });
  for (auto it = d.arrivals.begin(); it != due; ++it) d.received += it->bytes;
  d.arrivals.erase(d.arrivals.begin(), due);
  ByteString out;
  out.swap(d.received);
  return out;
}

int FakeSerialPort::inBufferCount() {
  requireOpen("inBufferCount");
  const auto& d = devices_[commPort_];
  std::size_t count = d.received.size();
  for (const auto& a : d.arrivals) {
    if (a.time <= clock_.now) count += a.bytes.size();
  }
  return static_cast<int>(count);
}

int FakeSerialPort::outBufferCount() {
  requireOpen("outBufferCount");
  if (clock_.now >= drainAt_) pending_ = 0;
  return pending_;
}

void FakeSerialPort::clearOutBuffer() {
  requireOpen("clearOutBuffer");
  note("clear");
  if (outBufferCount() > 0) ++clearsWithPending;
  pending_ = 0;
}

}  // namespace torvane::testing
