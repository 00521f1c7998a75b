#include "station/terminal_view.h"

#include "station/machine_text.h"

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace torvane::station {

int terminalWidth() {
#ifdef Q_OS_UNIX
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) return size.ws_col;
#endif
  return 0;
}

TerminalView::TerminalView(NonBlockingOutput& out, const std::vector<Machine>& machines)
    : out_(out), machines_(machines) {
  timer_.setInterval(kRedrawMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (dirty_ && !out_.waiting()) redraw();
  });
  timer_.start();
}

void TerminalView::event(const Machine& machine, const QJsonObject& event) {
  dirty_ = true;
  if (event.value(QStringLiteral("event")).toString() != QStringLiteral("message")) return;
  messages_ << machine.port.label + QStringLiteral(": ") + foldedLine(event.value(QStringLiteral("text")).toString());
  if (!out_.waiting()) redraw();
}

// Moves up over the lines drawn last time, clears from there down, prints
// the waiting messages and draws every line again. Lines never wrap (they
// are cut at the terminal's width), so the count to move up stays right.
void TerminalView::redraw() {
  QString text;
  if (drawn_ > 0) text += QStringLiteral("\x1b[%1A\r\x1b[J").arg(drawn_);
  for (const QString& message : messages_) text += message + u'\n';
  messages_.clear();
  const int label = labelWidth(machines_);
  const int width = terminalWidth() - 1;
  drawn_ = 0;
  for (const Machine& m : machines_) {
    if (m.phase == Machine::Phase::Absent) continue;
    text += liveLine(m, label, width) + u'\n';
    ++drawn_;
  }
  out_.write(text.toUtf8());
  dirty_ = false;
}

void TerminalView::finish(const std::vector<Machine>& machines) {
  timer_.stop();
  redraw();
  out_.write(('\n' + summaryTable(machines)).toUtf8());
}

}  // namespace torvane::station
