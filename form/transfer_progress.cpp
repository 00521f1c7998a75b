#include "form/transfer_progress.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace torvane::form {

std::string percentText(int64_t sent, int64_t total) {
  if (total <= 0) return "100%";
  sent = std::clamp<int64_t>(sent, 0, total);
  const int64_t percent = sent <= std::numeric_limits<int64_t>::max() / 100
                              ? sent * 100 / total
                              : static_cast<int64_t>(static_cast<long double>(sent) * 100 / total);
  return std::to_string(percent) + "%";
}

std::string timeLeftEstimate(int64_t sent, int64_t total, double elapsedSeconds, int frames) {
  if (total <= 0 || sent <= 0 || sent >= total) return {};
  if (!(elapsedSeconds >= kEstimateAfterSeconds) || frames < kEstimateAfterFrames) return {};
  return timeLeftText(static_cast<double>(total - sent) * elapsedSeconds / static_cast<double>(sent));
}

std::string progressBarText(int64_t sent, int64_t total, double elapsedSeconds, int frames) {
  const std::string left = timeLeftEstimate(sent, total, elapsedSeconds, frames);
  return percentText(sent, total) + (left.empty() ? "" : "  " + left);
}

std::string timeLeftText(double secondsLeft) {
  if (!std::isfinite(secondsLeft) || secondsLeft < 0) return {};
  if (secondsLeft >= 99.5 * 3600) return "more than 99 h left";
  if (secondsLeft <= 59) {
    return "about " + std::to_string(std::max(1L, static_cast<long>(std::ceil(secondsLeft)))) + " s left";
  }
  const long step = secondsLeft < 595 ? 10 : 60;
  const long seconds = static_cast<long>(std::llround(secondsLeft / static_cast<double>(step))) * step;
  std::string text = "about";
  if (const long hours = seconds / 3600; hours > 0) text += " " + std::to_string(hours) + " h";
  if (const long minutes = seconds / 60 % 60; minutes > 0) text += " " + std::to_string(minutes) + " min";
  if (const long rest = seconds % 60; rest > 0) text += " " + std::to_string(rest) + " s";
  return text + " left";
}

TransferProgress::Bar TransferProgress::start(int64_t totalBytes) {
  total_ = std::max<int64_t>(totalBytes, 0);
  sent_ = 0;
  frames_ = 0;
  startedAt_ = clock_.seconds();
  constexpr int64_t kMaxSteps = std::numeric_limits<int>::max();
  divisor_ = total_ / kMaxSteps + 1;
  // A total of 0 is complete already; a range of 0..0 would be a busy bar.
  steps_ = std::max(1, static_cast<int>(total_ / divisor_));
  return bar();
}

// Cheap when no redraw is due: a clock reading and a comparison.
std::optional<TransferProgress::Bar> TransferProgress::advance(int64_t bytesSent) {
  sent_ = std::clamp<int64_t>(bytesSent, 0, total_);
  ++frames_;
  if (sent_ < total_ && clock_.seconds() - drawnAt_ < redrawSeconds_) return std::nullopt;
  return bar();
}

double TransferProgress::elapsedSeconds() const { return clock_.seconds() - startedAt_; }

TransferProgress::Bar TransferProgress::bar() {
  drawnAt_ = clock_.seconds();
  const int value = total_ == 0 ? steps_ : static_cast<int>(sent_ / divisor_);
  return {value, steps_, progressBarText(sent_, total_, drawnAt_ - startedAt_, frames_)};
}

}  // namespace torvane::form
