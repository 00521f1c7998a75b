// Named faults of the simulated machine, each tied to a frame position: the
// n-th frame the tool handed over in a session, counted from 1. A resend of
// frame n is still frame n. Each fault fires as often as it was asked for over
// the whole life of the simulator (a --can-at fault does not fire again in a
// later session), except --silent-at and --hangup-at, which end the exchange.
// --unplug-at fires once too: the next connection meets a machine that works.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "encoding/bytes.h"

namespace torvane::sim {

enum class Verdict : uint8_t { Ack = 6, Nak = 21, Can = 24, Etx = 3, Stx = 2 };

const char* verdictName(Verdict v);

class FaultPlan {
 public:
  // Configuration (from the command line).
  void addNakTimes(int frame, int times) { naks_[frame] += times; }
  void addNakOnce(int frame) { addNakTimes(frame, 1); }
  void addStxInstead(int frame) { ++stx_[frame]; }
  void addEtxInstead(int frame) { ++etx_[frame]; }
  void addCanAt(int frame) { ++can_[frame]; }
  void addCorruptAt(int frame) { ++corrupt_[frame]; }
  void addNoise(int frame, const ByteString& bytes) { noise_.push_back({frame, bytes}); }
  void setSilentAt(int frame) { silentAt_ = frame; }
  void setHangupAt(int frame) { hangupAt_ = frame; }
  void setUnplugAt(int frame) { unplugAt_ = frame; }

  bool silentAt(int frame) const { return silentAt_ && frame >= *silentAt_; }
  bool hangupAt(int frame) const { return hangupAt_ && frame == *hangupAt_; }
  // True the first time frame N of an --unplug-at N arrives, never again.
  bool takeUnplug(int frame);

  // True once per --corrupt-at for this frame: flip a byte on the way in.
  bool takeCorrupt(int frame) { return take(corrupt_, frame); }

  // The verdict a well-formed frame gets instead of ACK, if a fault asks for
  // one. Checked in the order CAN, NAK, STX, ETX; each call consumes one.
  std::optional<Verdict> takeOverride(int frame);

  // Noise bytes sent before the verdict of this frame (frame 0 in a fault
  // means every frame); several faults are sent in the order given.
  ByteString noiseBefore(int frame) const;

  bool empty() const;

 private:
  struct Noise {
    int frame;
    ByteString bytes;
  };
  static bool take(std::map<int, int>& counts, int frame);

  std::map<int, int> naks_, stx_, etx_, can_, corrupt_;
  std::vector<Noise> noise_;
  std::optional<int> silentAt_, hangupAt_, unplugAt_;
  bool unplugged_ = false;
};

}  // namespace torvane::sim
