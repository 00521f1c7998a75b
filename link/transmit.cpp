// Stop-and-wait: send one frame, then wait up to 20 seconds for the machine's
// verdict byte.
//
//   ACK  -> accepted (0)            NAK -> send the same frame again
//   CAN  -> program failure (24),   ETX -> accepted (0)
//           port closed             STX -> send the same frame again
//   no verdict within 20 s of a send -> time-out (-1), port left open
//
// The received text of one send is searched as a whole, in the order above,
// so the first matching verdict in that order decides whatever its position.
#include "link/transmit.h"

#include <cstdint>
#include <limits>
#include <string>

#include "context/wait.h"
#include "encoding/fault.h"

namespace torvane {

namespace {

constexpr double kVerdictSeconds = 20;

enum class Action { Accept, Resend, Fail };

struct VerdictRule {
  uint8_t byte;
  const char* status;
  Action action;
  Verdict kind;
};

// Tested in this order; the first byte that the received text contains decides.
constexpr VerdictRule kVerdicts[] = {
    {kACK, " Status: Received ACK", Action::Accept, Verdict::Ack},
    {kNAK, " Status: Received NAK, resending data", Action::Resend, Verdict::Nak},
    {kCAN, " Status: Received program fail - ", Action::Fail, Verdict::Can},
    {kETX, " Status: Received ETX, code programmed successfully.", Action::Accept, Verdict::Etx},
    {kSTX, " Status: Received STX, resending data", Action::Resend, Verdict::Stx},
};

const VerdictRule* findVerdict(const ByteString& received) {
  for (const VerdictRule& rule : kVerdicts) {
    if (received.find(static_cast<char>(rule.byte)) != ByteString::npos) return &rule;
  }
  return nullptr;
}

void countFrame(FormState& state) {
  if (state.packetCount == kMaxFramesPerRun) {
    throw Fault(fault::kOverflow, std::string(kTooManyFramesText) + "; frame 32768 was not sent", "Transmit");
  }
  ++state.packetCount;
}

// Queues the frame, tells the operator and starts a fresh 20-second wait.
WaitFor sendFrame(FormContext& ctx, const ByteString& frame) {
  ctx.mscCom.clearOutBuffer();
  ctx.mscCom.output(frame);
  ctx.window.setStatus(ctx.window.status() + "(" + std::to_string(frame.size()) + " bytes, " +
                       std::to_string(ctx.state.packetCount) + ")\r\n  Waiting for acknowledgement");
  ctx.window.repaint();
  ctx.state.deadline = ctx.clock.seconds() + kVerdictSeconds;
  return WaitFor{ctx.state.deadline};
}

// Waits for the verdict of the send just made; nullptr when the deadline
// passed without one.
const VerdictRule* awaitVerdict(FormContext& ctx, const WaitFor& wait) {
  ByteString received;
  const VerdictRule* verdict = nullptr;
  waitUntil(ctx, wait, [&] {
    received += ctx.mscCom.input();
    verdict = findVerdict(received);
    return verdict != nullptr;
  });
  return verdict;
}

}  // namespace

FrameResult Transmit(FormContext& ctx, const ByteString& InString) {
  countFrame(ctx.state);
  observe(ctx, &RunObserver::frameSent);
  for (;;) {
    const VerdictRule* verdict = awaitVerdict(ctx, sendFrame(ctx, InString));
    if (verdict == nullptr) {
      observe(ctx, &RunObserver::verdict, Verdict::TimedOut);
      ctx.window.setStatus(" Status: Received Time out");
      ctx.window.repaint();
      return FrameResult::TimedOut;
    }
    observe(ctx, &RunObserver::verdict, verdict->kind);
    ctx.window.setStatus(verdict->status);
    ctx.window.repaint();
    switch (verdict->action) {
      case Action::Accept: return FrameResult::Accepted;
      case Action::Fail: ctx.mscCom.setPortOpen(false); return FrameResult::Failed;
      case Action::Resend: observe(ctx, &RunObserver::frameResent); break;
    }
  }
}

}  // namespace torvane
