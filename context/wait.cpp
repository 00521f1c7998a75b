#include "context/wait.h"

#include <algorithm>

#include "encoding/fault.h"

namespace torvane {

namespace {

void checkNotClosing(const FormContext& ctx) {
  if (ctx.state.closing) {
    throw Fault(fault::kWindowClosed, ctx.state.closingText, "frmdl");
  }
}

void pass(FormContext& ctx, const WaitFor& wait) {
  double left = wait.deadline - ctx.clock.seconds();
  if (wait.longestPass > 0) left = std::min(left, wait.longestPass);
  const bool inputDue = wait.readsInput && ctx.mscCom.portOpen() && ctx.mscCom.inBufferCount() > 0;
  if (left > 0 && !inputDue) {
    ctx.window.yieldWait(left);
  } else {
    ctx.window.yield();
  }
  checkNotClosing(ctx);
}

}  // namespace

WaitEnd waitUntil(FormContext& ctx, const WaitFor& wait, const std::function<bool()>& done) {
  while (!deadlineReached(ctx.clock.seconds(), wait.deadline)) {
    pass(ctx, wait);
    if (done()) return WaitEnd::Done;
  }
  return WaitEnd::DeadlineReached;
}

void yieldOnce(FormContext& ctx) {
  ctx.window.yield();
  checkNotClosing(ctx);
}

}  // namespace torvane
