// One update run, from "Start Update" to its end:
//
//   1 start          busy pointer, start time, packetCount 0
//     (the front end's check of the images, when it adds one: a list whose
//     images do not match SHA256SUMS ends here, before the port is touched)
//   2 port choice    the first selected port option gives COM n
//   3 open           read length 0, buffers 1024/512, "4800,N,8,1", open
//   4 load command   "s" CR, let it drain
//   5 load reply     "As".."Es" CR within 5 s, else straight to step 9
//   6 ready reply    the model's ready text within 5 s, else a message box
//   7 start command  "A", let it leave the line
//   8 pause          one tick of the pause timer
//   9 baud change    "38400,N,8,1", port stays open
//  10 STX wait       0x02 within 20 s, else the early end
//  11 completion     after the transfer phase
//
// Every run ends in exactly one of three ways: completion, the early end, or
// the failure path. Each of them closes the port, shows start and end time
// and restores the default pointer; the last thing each does is tell the
// observer (context/run_observer.h) how the run ended.
#include "run/update_driver.h"

#include <algorithm>
#include <array>
#include <exception>
#include <new>
#include <string>

#include "context/wait.h"
#include "encoding/fault.h"
#include "run/transfer_list.h"
#include "run/transfer_phase.h"

namespace torvane {

namespace {

const char* const kLoadCommand = "s\r";
const std::array<const char*, 5> kLoadReplies = {"As\r", "Bs\r", "Cs\r", "Ds\r", "Es\r"};

struct ReadyReply {
  const char* reply;
  const char* status;
};
const std::array<ReadyReply, 3> kReadyReplies = {{
    {"Torvane Ready to Receive\r", " Status: TorVane\u00AE in Receive Mode"},
    {"Teal HERON Ready to Receive\r", " Status: Teal HERON\u2122 Ready to Receive"},
    {"Amber HERON Ready to Receive\r", " Status: Amber HERON\u2122 Ready to Receive"},
}};

constexpr double kLoadReplySeconds = 5;
constexpr double kReadyReplySeconds = 5;
constexpr double kStxSeconds = 20;
// Longest we let a few command bytes take to leave the port before going on
// regardless (a port that never drains must not hang the run).
constexpr double kDrainLimitSeconds = 2;
// Between two checks of the transmit queue while it drains: its emptying
// wakes no event loop.
constexpr double kDrainPollSeconds = 0.001;
// Upper bound of one sleeping pass while waiting for the pause timer's tick.
constexpr double kPausePassSeconds = 0.5;

// A refused frame (a frame result other than accepted) takes the failure
// path without a fault of its own: number 0, empty texts.
const Fault kFrameRefused(0, "", "");

// Where the earliest load reply in `text` ends, or npos.
std::size_t loadReplyEnd(const ByteString& text) {
  std::size_t best = ByteString::npos;
  for (const char* reply : kLoadReplies) {
    const std::size_t at = text.find(reply);
    if (at != ByteString::npos) best = std::min(best, at + 3);
  }
  return best;
}

class UpdateRun {
 public:
  explicit UpdateRun(FormContext& ctx) : ctx_(ctx), port_(ctx.mscCom), window_(ctx.window) {}

  void execute() {
    try {
      start();
      verifyImages();
      choosePortAndOpen();
      sendLoadCommand();
      ByteString afterLoadReply;
      if (waitForLoadReply(afterLoadReply)) {
        waitForReadyReply(afterLoadReply);
        sendStartCommand();
        pause();
      }
      changeBaudRate();
      if (!waitForStx()) {
        earlyEnd(" Status: Waiting for STX timed out, program end");
        return;
      }
      stage(RunStage::Transfer);
      const TransferOutcome outcome = transferPhase(ctx_, verifiedList_);
      switch (outcome.kind) {
        case TransferOutcome::Kind::Completed: complete(); return;
        case TransferOutcome::Kind::EarlyEnd: earlyEnd(outcome.text); return;
        case TransferOutcome::Kind::FrameRejected: failurePath(kFrameRefused); return;
      }
    } catch (const Fault& f) {
      failurePath(f);
    } catch (const std::bad_alloc&) {
      failurePath(Fault(fault::kOutOfMemory, "Out of memory", "cmdStart_Click"));
    } catch (const std::exception& e) {
      failurePath(Fault(fault::kInternal, std::string("Internal error: ") + e.what(), "cmdStart_Click"));
    }
  }

 private:
  void status(const std::string& text) { window_.setStatus(text); }
  void stage(RunStage reached) { observe(ctx_, &RunObserver::stageReached, reached); }
  void statusAndRepaint(const std::string& text) {
    window_.setStatus(text);
    window_.repaint();
  }
  // Starts a wait of `seconds` on the window's deadline.
  WaitFor startWait(double seconds) {
    ctx_.state.deadline = ctx_.clock.seconds() + seconds;
    return WaitFor{ctx_.state.deadline};
  }

  // Step 1.
  void start() {
    const int com = chosenCom();
    observe(ctx_, &RunObserver::runStarted, com != 0 ? com : port_.commPort(), chosenSource(window_),
            chosenTransferList(window_), ctx_.clock.seconds());
    ctx_.state.packetCount = 0;
    status(" Status: Opening " + window_.dialogFileName());
    window_.setBusyPointer(true);
    busy_ = true;
    ctx_.state.startTime = ctx_.clock.timeOfDayText();
    window_.setTimeLine("Start: " + ctx_.state.startTime);
    window_.repaint();
  }

  // The front end's check of the images before anything touches the port.
  void verifyImages() {
    if (!ctx_.verifyImages) return;
    verifiedList_ = chosenTransferList(window_);
    if (std::optional<Fault> refused = ctx_.verifyImages(ctx_.workingFolder, verifiedList_)) throw *refused;
  }

  // The first selected port option; 0 when none is.
  int chosenCom() const {
    for (int n = kFirstCom; n <= kLastCom; ++n) {
      if (window_.portOptionSelected(n)) return n;
    }
    return 0;
  }

  // Steps 2 and 3.
  void choosePortAndOpen() {
    if (const int com = chosenCom(); com != 0) port_.setCommPort(com);
    port_.setInputLen(0);
    // A closed port has nothing queued; the queue is cleared again after every send.
    if (port_.portOpen()) port_.clearOutBuffer();
    port_.setOutBufferSize(1024);
    port_.setInBufferSize(512);
    statusAndRepaint(" Status: Opening and initiating connection");
    stage(RunStage::Opening);
    port_.setSettings("4800,N,8,1");
    port_.setPortOpen(true);
  }

  // Step 4. The two bytes are let drain before the queue is cleared, so the
  // clear cannot swallow the command.
  void sendLoadCommand() {
    statusAndRepaint(" Status: Sending load command");
    stage(RunStage::LoadCommand);
    port_.output(kLoadCommand);
    drain(2, 4800);
    port_.clearOutBuffer();
  }

  // Step 5. Returns true when a load reply came; `rest` gets what followed it.
  bool waitForLoadReply(ByteString& rest) {
    statusAndRepaint(" Status: Waiting for response to load command");
    stage(RunStage::LoadReply);
    ByteString received;
    std::size_t end = ByteString::npos;
    // A reply that arrived counts even when the deadline passed meanwhile.
    const WaitEnd how = waitUntil(ctx_, startWait(kLoadReplySeconds), [&] {
      status(" Status: Waiting for response to load command " + received);
      received += port_.input();
      end = loadReplyEnd(received);
      return end != ByteString::npos;
    });
    if (how == WaitEnd::DeadlineReached) return false;
    rest = received.substr(end);
    return true;
  }

  // Step 6. Starts from the bytes that came with the load reply.
  void waitForReadyReply(ByteString received) {
    statusAndRepaint(" Status: Waiting for response-TorVane\u00AE Ready to Receive<CR>");
    stage(RunStage::ReadyReply);
    const WaitFor wait = startWait(kReadyReplySeconds);
    if (showReadyReply(received)) return;
    const WaitEnd how = waitUntil(ctx_, wait, [&] {
      status(" Com String " + received);
      received += port_.input();
      return showReadyReply(received);
    });
    if (how == WaitEnd::DeadlineReached) window_.messageBox("receiving (TorVane Ready to Receive<CR>) time out");
  }

  // The first ready reply of the table that `received` holds sets its status.
  bool showReadyReply(const ByteString& received) {
    for (const ReadyReply& r : kReadyReplies) {
      if (received.find(r.reply) != ByteString::npos) {
        status(r.status);
        return true;
      }
    }
    return false;
  }

  // Step 7.
  void sendStartCommand() {
    port_.output("A");
    statusAndRepaint(window_.status() + ". Sending A");
    stage(RunStage::StartCommand);
    drain(1, 4800);
    port_.clearOutBuffer();
    yieldOnce(ctx_);
  }

  // Step 8: one tick of the pause timer.
  void pause() {
    ctx_.state.timerFired = 0;
    window_.startDelay(3);
    try {
      waitUntil(ctx_, WaitFor{kNoDeadline, false, kPausePassSeconds}, [&] { return ctx_.state.timerFired != 0; });
    } catch (...) {
      window_.stopDelay();
      throw;
    }
    window_.stopDelay();
  }

  // Step 9.
  void changeBaudRate() {
    statusAndRepaint(" Status: Changing baud rate to 38400");
    stage(RunStage::BaudChange);
    port_.setSettings("38400,N,8,1");
  }

  // Step 10.
  bool waitForStx() {
    statusAndRepaint(" Status: Waiting for STX");
    stage(RunStage::WaitingForStx);
    ByteString received;
    return waitUntil(ctx_, startWait(kStxSeconds), [&] {
             received += port_.input();
             return received.find('\x02') != ByteString::npos;
           }) == WaitEnd::Done;
  }

  // Waits until `bytes` just sent have left the port: the transmit queue is
  // empty and their time on the line at `baud` has passed. Gives up after a
  // bounded time so a stuck port cannot hang the run.
  void drain(int bytes, int baud) {
    const double sentAt = ctx_.clock.seconds();
    // Ten bits a byte (8N1), plus one byte of margin for the UART's shift register.
    const double lineTime = (bytes + 1) * 10.0 / baud;
    const auto drained = [&] { return port_.outBufferCount() == 0 && ctx_.clock.seconds() >= sentAt + lineTime; };
    if (drained()) return;
    waitUntil(ctx_, WaitFor{sentAt + kDrainLimitSeconds, false, kDrainPollSeconds}, drained);
  }

  void showEndTime() {
    ctx_.state.endTime = ctx_.clock.timeOfDayText();
    window_.setTimeLine("Start: " + ctx_.state.startTime + "\r\nEnd:  " + ctx_.state.endTime);
  }

  void defaultPointer() {
    if (busy_) {
      window_.setBusyPointer(false);
      busy_ = false;
    }
  }

  // Closes the port at an end of the run; a port that went away cannot be
  // closed cleanly, which must not hide how the run ended.
  void closePortQuietly() {
    try {
      if (port_.portOpen()) port_.setPortOpen(false);
    } catch (const Fault&) {
    }
  }

  // Step 11.
  void complete() {
    statusAndRepaint(" Status: Finished closing connection");
    stage(RunStage::Closing);
    port_.setPortOpen(false);
    showEndTime();
    statusAndRepaint(" Status: UPDATE COMPLETE");
    defaultPointer();
    recordEnd(RunOutcome::Complete, nullptr);
  }

  void earlyEnd(const std::string& text) {
    status(text);
    showEndTime();
    window_.repaint();
    closePortQuietly();
    defaultPointer();
    recordEnd(RunOutcome::EarlyEnd, nullptr);
  }

  void failurePath(const Fault& f) {
    // The transfer phase has closed its list and image file before the fault got here.
    ctx_.state.endTime = ctx_.clock.timeOfDayText();
    status(" Error: " + f.description());
    window_.setTimeLine("Start: " + ctx_.state.startTime + "\r\nEnd:  " + ctx_.state.endTime);
    window_.repaint();
    if (f.number() == fault::kCancel) {
      statusAndRepaint(" Status: Cancel");
    } else if (!ctx_.state.closing) {
      window_.messageBox(std::to_string(f.number()) + ": " + f.description() + ", " + f.source());
    }
    closePortQuietly();
    defaultPointer();
    recordEnd(f.number() == fault::kWindowClosed    ? RunOutcome::Closed
              : f.number() == fault::kUpdateRefused ? RunOutcome::Refused
                                                    : RunOutcome::Failed,
              &f);
  }

  // The last thing each end of the run does.
  void recordEnd(RunOutcome outcome, const Fault* f) {
    observe(ctx_, &RunObserver::runEnded, outcome, window_.status(), f, ctx_.clock.seconds());
  }

  FormContext& ctx_;
  SerialPort& port_;
  WindowOps& window_;
  bool busy_ = false;
  std::string verifiedList_;  // the list the front end's check passed
};

}  // namespace

void cmdStart_Click(FormContext& ctx) {
  // A second press during a run would abort the transfer half-way and leave
  // the machine partly programmed: it is ignored.
  if (ctx.state.runInProgress) return;
  ctx.state.runInProgress = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{ctx.state.runInProgress};
  UpdateRun(ctx).execute();
}

}  // namespace torvane
