// What the procedures (update run, transfer phase, acknowledgement exchange,
// port scan) ask of the window. app/ holds the Qt implementation; the tests
// hold a scripted fake. Nothing here knows protocol bytes.
#pragma once

#include <cstdint>
#include <string>

namespace torvane {

enum class Source { Lorebank, Program, ProgramAndDsd, EmergencyRestore };

class WindowOps {
 public:
  virtual ~WindowOps() = default;

  // Status line (lblStatus): replaces the whole text; CR LF starts a new line.
  virtual void setStatus(const std::string& text) = 0;
  virtual std::string status() const = 0;

  // Time line (lblTime): replaces the whole text.
  virtual void setTimeLine(const std::string& text) = 0;

  // Paints now what has changed, without handling other events. Once the
  // status line has been painted, an implementation may hold its later
  // changes for a short while (QtWindowOps: 0.25 s) and paint the latest text
  // from the event loop, so that painting never slows a frame exchange; the
  // default pointer at the end of a run paints it at once.
  virtual void repaint() = 0;

  // Handles every pending event (paint, timer ticks, clicks, keys) and
  // returns without waiting.
  virtual void yield() = 0;

  // The one sleeping call, made only by the wait (context/wait.h): handles
  // every pending event; when there was none, sleeps in the event loop until
  // an event arrives (input on the port, a timer tick, the operator) or
  // maxSeconds have passed on the clock. Never spins.
  virtual void yieldWait(double maxSeconds) = 0;

  // Mouse pointer for the whole application: busy (hourglass) or default.
  virtual void setBusyPointer(bool busy) = 0;

  // Modal box with the text, an OK button only and the application's title.
  virtual void messageBox(const std::string& text) = 0;

  // Option buttons.
  virtual bool sourceSelected(Source source) const = 0;
  virtual bool portOptionSelected(int number) const = 0;  // optCom1 .. OptCom9
  virtual void selectPortOption(int number) = 0;          // deselects the others

  // Pause timer `delay`: start with an interval in milliseconds, stop. Each
  // interval ends with a tick that runs delay_Timer during the next yield.
  virtual void startDelay(int intervalMs) = 0;
  virtual void stopDelay() = 0;

  // File-name value of the common dialog cmdDialog (never opened).
  virtual std::string dialogFileName() const = 0;

  // Progress of the transfer phase, in bytes of image data. start shows the
  // progress bar for `totalBytes` (a later start begins it anew), advance
  // gives the bytes sent so far (absolute, counted once a data frame has been
  // accepted), end hides it. Called on every frame: an implementation keeps
  // them cheap. The defaults show nothing.
  virtual void progressStart(int64_t totalBytes) { (void)totalBytes; }
  virtual void progressAdvance(int64_t bytesSent) { (void)bytesSent; }
  virtual void progressEnd() {}
};

}  // namespace torvane
