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

TerminalView::TerminalView(QTextStream& out, const std::vector<Machine>& machines) : out_(out), machines_(machines) {
  timer_.setInterval(kRedrawMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (dirty_) redraw();
  });
  timer_.start();
}

void TerminalView::event(const Machine& machine, const QJsonObject& event) {
  dirty_ = true;
  if (event.value(QStringLiteral("event")).toString() != QStringLiteral("message")) return;
  messages_ << machine.port.label + QStringLiteral(": ") + foldedLine(event.value(QStringLiteral("text")).toString());
  redraw();
}

// Moves up over the lines drawn last time, clears from there down, prints
// the waiting messages and draws every line again. Lines never wrap (they
// are cut at the terminal's width), so the count to move up stays right.
void TerminalView::redraw() {
  if (drawn_ > 0) out_ << QStringLiteral("\x1b[%1A\r\x1b[J").arg(drawn_);
  for (const QString& message : messages_) out_ << message << '\n';
  messages_.clear();
  const int label = labelWidth(machines_);
  const int width = terminalWidth() - 1;
  drawn_ = 0;
  for (const Machine& m : machines_) {
    if (m.phase == Machine::Phase::Absent) continue;
    out_ << liveLine(m, label, width) << '\n';
    ++drawn_;
  }
  out_.flush();
  dirty_ = false;
}

void TerminalView::finish(const std::vector<Machine>& machines) {
  timer_.stop();
  redraw();
  out_ << '\n' << summaryTable(machines);
  out_.flush();
}

}  // namespace torvane::station
