#include "sim/machine.h"

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace torvane::sim {
namespace {

constexpr int kHandshakeSpeed = 4800;
constexpr int64_t kSpeedPollUs = 5000;
const ByteString kLoadCommand = "s\r";

// Line time of n bytes at 8N1 (ten bits each), in microseconds.
int64_t byteTimeUs(std::size_t n, int baud) { return static_cast<int64_t>(n) * 10 * 1000000 / baud; }

}  // namespace

Machine::Machine(SimOptions options, PtyLine& line)
    : options_(std::move(options)), line_(line), start_(std::chrono::steady_clock::now()) {
  report_.slavePath = line_.slavePath();
  report_.model = options_.model;
  report_.monotonicStartUs = std::chrono::duration_cast<std::chrono::microseconds>(start_.time_since_epoch()).count();
  announcing_ = options_.announceMs > 0 && !options_.emergency;
}

int64_t Machine::nowUs() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count();
}

void Machine::stop(const std::string& reason) {
  if (!stopping_) report_.exitReason = reason;
  stopping_ = true;
}

void Machine::run(int stopFd) {
  while (!stopping_) {
    onTimers(nowUs());
    if (stopping_) break;
    pollfd fds[2] = {{line_.pollFd(), POLLIN | POLLPRI, 0}, {stopFd, POLLIN, 0}};
    // Microsecond timeouts: a verdict held back for pacing goes out on time,
    // not up to a millisecond late.
    const int64_t waitUs = pollTimeoutUs(nowUs());
    timespec wait{static_cast<time_t>(waitUs / 1000000), static_cast<long>(waitUs % 1000000) * 1000};
    const int ready = ::ppoll(fds, 2, waitUs < 0 ? nullptr : &wait, nullptr);
    if (ready < 0 && errno != EINTR) {
      report_.errors.push_back(std::string("poll failed: ") + std::strerror(errno));
      stop("error");
      break;
    }
    if (ready > 0 && fds[1].revents != 0) {
      stop("signal");
      break;
    }
    if (ready > 0 && fds[0].revents != 0) {
      std::vector<Chunk> chunks;
      const bool lineOk = line_.readAvailable(chunks);
      const int64_t now = nowUs();
      const int unplugs = report_.unplugs;
      for (const Chunk& chunk : chunks) {
        // What the host sent before an unplug does not reach the next connection.
        if (!stopping_ && report_.unplugs == unplugs) onChunk(chunk, now);
      }
      if (!lineOk && !stopping_) {
        report_.errors.push_back("the line failed");
        stop("line failed");
      }
    }
    if (!stopping_) checkSpeed(nowUs());
  }
  report_.speedNotifications = report_.hungUp || line_.notifiesSpeedChanges();
  // Closing the master discards what the host has not read yet, such as the
  // verdict of the end frame.
  if (line_.isOpen() && report_.exitReason != "signal") line_.waitHostRead(1000);
}

int64_t Machine::pollTimeoutUs(int64_t now) const {
  int64_t next = -1;
  auto consider = [&](int64_t at) {
    if (at >= 0 && (next < 0 || at < next)) next = at;
  };
  if (phase_ == Phase::Idle && announcing_) consider(nextAnnounceUs_);
  if (pending_) consider(pending_->dueUs);
  if (phase_ == Phase::Frames && !pending_ && !rx_.empty()) consider(rxLastUs_ + options_.frameGapMs * 1000LL);
  consider(exitAtUs_);
  if (options_.idleExitMs > 0) consider(lastActivityUs_ + options_.idleExitMs * 1000LL);
  const bool waitingForSpeed = phase_ == Phase::WaitSpeed || (phase_ == Phase::Idle && options_.emergency);
  if (waitingForSpeed && !line_.notifiesSpeedChanges()) consider(now + kSpeedPollUs);
  if (next < 0) return -1;
  return std::max<int64_t>(0, next - now);
}

void Machine::onTimers(int64_t now) {
  if (phase_ == Phase::Idle && announcing_ && now >= nextAnnounceUs_) announce(now);
  if (pending_ && now >= pending_->dueUs) sendVerdict(now);
  if (phase_ == Phase::Frames && !pending_ && !rx_.empty() && now - rxLastUs_ >= options_.frameGapMs * 1000LL) {
    handlePartialFrame(now);
  }
  if (exitAtUs_ >= 0 && now >= exitAtUs_) stop("end frame received");
  if (options_.idleExitMs > 0 && now - lastActivityUs_ >= options_.idleExitMs * 1000LL) stop("idle");
  if (!stopping_) checkSpeed(now);
}

void Machine::announce(int64_t now) {
  nextAnnounceUs_ = now + options_.announceMs * 1000LL;
  // A real machine's "AA" at another speed is garbage to the host; and an
  // announcement the host has not read yet is not repeated, so they do not
  // pile up while nobody listens.
  if (!options_.announceAnySpeed && line_.speedNow() != kHandshakeSpeed) return;
  if (line_.hostUnread() >= 2) return;
  if (line_.write("AA")) ++report_.announcements;
}

void Machine::checkSpeed(int64_t now) {
  const bool emergencyWait = phase_ == Phase::Idle && options_.emergency;
  if (phase_ != Phase::WaitSpeed && !emergencyWait) return;
  const int speed = line_.speedNow();
  if (speed == frameSpeed()) {
    if (emergencyWait) {
      session_ = ++report_.sessions;
      images_.startSession(session_);
    }
    send("STX", "\x02", now);
    phase_ = Phase::Frames;
    framePosition_ = 1;
    attempts_.clear();
    rx_.clear();
  } else if (options_.wrongSpeed && speed == 38400 && !garbledStxSent_) {
    // What a 38400 receiver makes of an STX sent at 9600.
    send("STX at 9600, garbled at 38400", ByteString("\x80\x00", 2), now);
    garbledStxSent_ = true;
  }
}

int Machine::resolveSpeed(const Chunk& chunk) const {
  if (chunk.oldSpeed == 0) return chunk.speed;
  // The bytes came around a speed change: they count at the speed at which
  // they mean something now.
  const auto either = [&](int speed) { return chunk.oldSpeed == speed || chunk.speed == speed; };
  if (either(kHandshakeSpeed) && !options_.emergency) {
    if (chunk.bytes.find(kLoadCommand) != ByteString::npos) return kHandshakeSpeed;
    if (phase_ == Phase::WaitStart && chunk.bytes.find('A') != ByteString::npos) return kHandshakeSpeed;
  }
  if (phase_ == Phase::Frames && either(frameSpeed())) return frameSpeed();
  return chunk.speed;
}

void Machine::onChunk(const Chunk& arrived, int64_t now) {
  lastActivityUs_ = now;
  Chunk chunk = arrived;
  chunk.speed = resolveSpeed(arrived);
  if (phase_ == Phase::Silent) {
    report_.addReceived(now, chunk.speed, chunk.bytes, "ignored: silent");
  } else if (chunk.speed == kHandshakeSpeed && !options_.emergency) {
    onHandshakeBytes(chunk, now);
  } else if (chunk.speed == frameSpeed() && phase_ == Phase::Frames) {
    if (rx_.empty()) rxFirstUs_ = now;
    rx_ += chunk.bytes;
    rxLastUs_ = now;
    processFrames(now);
  } else if (chunk.speed == kHandshakeSpeed) {
    report_.addReceived(now, chunk.speed, chunk.bytes, "ignored: emergency mode");
  } else if (chunk.speed == frameSpeed() && (phase_ == Phase::Finished || phase_ == Phase::WaitSpeed)) {
    report_.addReceived(now, chunk.speed, chunk.bytes,
                        phase_ == Phase::Finished ? "ignored: after the end frame" : "ignored: no STX sent yet");
  } else {
    report_.addReceived(now, chunk.speed, chunk.bytes, "ignored: wrong speed");
  }
}

void Machine::onHandshakeBytes(const Chunk& chunk, int64_t now) {
  handshake_ += chunk.bytes;
  std::string note = "ignored";
  for (;;) {
    const auto load = handshake_.find(kLoadCommand);
    const auto start = handshake_.find('A');
    if (phase_ == Phase::WaitStart && start != ByteString::npos && (load == ByteString::npos || start < load)) {
      handshake_.erase(0, start + 1);
      phase_ = Phase::WaitSpeed;
      garbledStxSent_ = false;
      note = "start command";
      continue;
    }
    if (load == ByteString::npos) break;
    handshake_.erase(0, load + kLoadCommand.size());
    note = "load command";
    startSession(now);
  }
  if (handshake_.size() > 64) handshake_.erase(0, handshake_.size() - 64);
  report_.addReceived(now, chunk.speed, chunk.bytes, note);
}

void Machine::startSession(int64_t now) {
  announcing_ = false;
  session_ = ++report_.sessions;
  images_.startSession(session_);
  pending_.reset();
  rx_.clear();
  send("load reply", options_.loadReply + "\r", now);
  if (!options_.noReady) send("ready reply", readyReply(options_.model), now);
  phase_ = Phase::WaitStart;
}

void Machine::processFrames(int64_t now) {
  while (phase_ == Phase::Frames && !pending_ && !stopping_ && rx_.size() >= images_.expectedLength()) {
    const std::size_t length = images_.expectedLength();
    ByteString frame = rx_.substr(0, length);
    rx_.erase(0, length);
    const int64_t first = rxFirstUs_;
    rxFirstUs_ = rxLastUs_;
    handleFrame(std::move(frame), first, rxLastUs_, now);
  }
}

void Machine::handleFrame(ByteString frame, int64_t firstUs, int64_t lastUs, int64_t now) {
  const int n = framePosition_;
  FrameRecord record;
  record.session = session_;
  record.number = n;
  record.attempt = ++attempts_[n];
  record.length = frame.size();
  record.firstUs = firstUs;
  record.lastUs = lastUs;
  if (lastSentUs_ >= 0) record.hostTurnaroundUs = firstUs - lastSentUs_;
  if (options_.faults.takeCorrupt(n)) {
    frame[frame.size() / 2] = static_cast<char>(byteAt(frame, frame.size() / 2) ^ 0x5A);
    record.note = "corrupted on the way in";
  }
  const FrameCheck check = images_.inspect(frame);
  record.kind = check.kind;
  record.crcOk = check.crcOk;
  if (options_.faults.takeUnplug(n)) {
    record.verdict = "unplugged";
    report_.frames.push_back(record);
    unplug(now);
    return;
  }
  if (options_.faults.hangupAt(n)) {
    record.verdict = "hang-up";
    report_.frames.push_back(record);
    line_.hangUp();
    report_.hungUp = true;
    stop("hang-up fault");
    return;
  }
  if (options_.faults.silentAt(n)) {
    record.verdict = "none";
    record.note = "silent from here on";
    report_.frames.push_back(record);
    phase_ = Phase::Silent;
    return;
  }
  const Verdict verdict = check.crcOk ? options_.faults.takeOverride(n).value_or(Verdict::Ack) : Verdict::Nak;
  if (verdict == Verdict::Ack || verdict == Verdict::Etx) {
    images_.accept(frame, check);
    ++framePosition_;
  }
  report_.frames.push_back(record);
  scheduleVerdict(verdict, n, report_.frames.size() - 1, firstUs, now);
}

// The adapter is pulled out under the host and put back: the line hangs up,
// and whoever opens it next finds the machine as it is after switching on.
// The report and the images received so far are kept.
void Machine::unplug(int64_t now) {
  std::string error;
  if (!line_.unplug(error)) {
    std::cerr << "torvane-sim: " << error << std::endl;
    report_.errors.push_back(error);
    stop("unplug failed");
    return;
  }
  ++report_.unplugs;
  phase_ = Phase::Idle;
  announcing_ = options_.announceMs > 0 && !options_.emergency;
  nextAnnounceUs_ = now;
  garbledStxSent_ = false;
  framePosition_ = 1;
  attempts_.clear();
  handshake_.clear();
  rx_.clear();
  pending_.reset();
  lastSentUs_ = -1;
}

void Machine::handlePartialFrame(int64_t now) {
  FrameRecord record;
  record.session = session_;
  record.number = framePosition_;
  record.attempt = ++attempts_[framePosition_];
  record.kind = FrameKind::Partial;
  record.length = rx_.size();
  record.firstUs = rxFirstUs_;
  record.lastUs = rxLastUs_;
  if (lastSentUs_ >= 0) record.hostTurnaroundUs = rxFirstUs_ - lastSentUs_;
  record.note = "incomplete frame, " + std::to_string(images_.expectedLength()) + " bytes expected";
  rx_.clear();
  report_.frames.push_back(record);
  scheduleVerdict(Verdict::Nak, framePosition_, report_.frames.size() - 1, record.firstUs, now);
}

void Machine::scheduleVerdict(Verdict verdict, int frame, std::size_t record, int64_t firstUs, int64_t now) {
  PendingVerdict p{verdict, options_.faults.noiseBefore(frame), now, record};
  if (options_.pace) {
    const int baud = frameSpeed();
    const int64_t frameDone = std::max(now, firstUs + byteTimeUs(report_.frames[record].length, baud));
    p.dueUs = frameDone + options_.turnaroundMs * 1000LL + byteTimeUs(p.noise.size() + 1, baud);
  }
  pending_ = p;
  if (now >= p.dueUs) sendVerdict(now);
}

void Machine::sendVerdict(int64_t now) {
  const PendingVerdict p = *pending_;
  pending_.reset();
  FrameRecord& record = report_.frames[p.record];
  ByteString bytes = p.noise;
  appendByte(bytes, static_cast<uint8_t>(p.verdict));
  if (!line_.write(bytes))
    report_.errors.push_back("could not send the verdict of frame " + std::to_string(record.number));
  record.verdict = verdictName(p.verdict);
  record.verdictUs = now;
  lastSentUs_ = now;
  ++report_.verdicts[record.verdict];
  const bool accepted = p.verdict == Verdict::Ack || p.verdict == Verdict::Etx;
  if (accepted && record.kind == FrameKind::End) {
    phase_ = Phase::Finished;
    if (!rx_.empty()) report_.addReceived(now, frameSpeed(), rx_, "ignored: after the end frame");
    rx_.clear();
    if (options_.exitAfterEnd) exitAtUs_ = now + options_.lingerMs * 1000LL;
  }
  processFrames(now);
}

void Machine::send(const std::string& what, const ByteString& bytes, int64_t now) {
  if (!line_.write(bytes)) report_.errors.push_back("could not send " + what);
  report_.sent.push_back({now, what, bytes});
  lastSentUs_ = now;
}

}  // namespace torvane::sim
