#include "sim/fault_plan.h"

namespace torvane::sim {

const char* verdictName(Verdict v) {
  switch (v) {
    case Verdict::Ack: return "ACK";
    case Verdict::Nak: return "NAK";
    case Verdict::Can: return "CAN";
    case Verdict::Etx: return "ETX";
    case Verdict::Stx: return "STX";
  }
  return "?";
}

bool FaultPlan::take(std::map<int, int>& counts, int frame) {
  auto it = counts.find(frame);
  if (it == counts.end() || it->second <= 0) return false;
  --it->second;
  return true;
}

bool FaultPlan::takeUnplug(int frame) {
  if (unplugged_ || !unplugAt_ || frame != *unplugAt_) return false;
  unplugged_ = true;
  return true;
}

std::optional<Verdict> FaultPlan::takeOverride(int frame) {
  if (take(can_, frame)) return Verdict::Can;
  if (take(naks_, frame)) return Verdict::Nak;
  if (take(stx_, frame)) return Verdict::Stx;
  if (take(etx_, frame)) return Verdict::Etx;
  return std::nullopt;
}

ByteString FaultPlan::noiseBefore(int frame) const {
  ByteString bytes;
  for (const Noise& n : noise_) {
    if (n.frame == 0 || n.frame == frame) bytes += n.bytes;
  }
  return bytes;
}

bool FaultPlan::empty() const {
  return naks_.empty() && stx_.empty() && etx_.empty() && can_.empty() && corrupt_.empty() && noise_.empty() &&
         !silentAt_ && !hangupAt_ && !unplugAt_;
}

}  // namespace torvane::sim
