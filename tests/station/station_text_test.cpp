// What the station prints of a machine: its live line, the folding of the
// per-frame status texts and the summary.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QDateTime>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>

#include "station/event_pipe_window_ops.h"
#include "station/event_writer.h"
#include "station/line_view.h"
#include "station/machine_text.h"
#include "station/nonblocking_output.h"
#include "tests/fakes/fake_clock.h"

namespace torvane::station {
namespace {

Machine endedMachine(const QString& label, const QString& outcome, const QString& status) {
  Machine m;
  m.port = {label, label, 1};
  m.apply({{"event", "status"}, {"text", " Status: Received program fail - "}});
  m.apply({{"event", "end"}, {"outcome", outcome}, {"status", status}, {"seconds", 1.5}, {"frames", 3}});
  return m;
}

// What a writer on a scratch file has written so far.
class WrittenFile {
 public:
  WrittenFile() : file_(std::tmpfile()) {}
  ~WrittenFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  std::FILE* get() const { return file_; }
  std::string text() const {
    std::fflush(file_);
    std::string text(static_cast<std::size_t>(::lseek(fileno(file_), 0, SEEK_END)), '\0');
    text.resize(static_cast<std::size_t>(std::max<ssize_t>(::pread(fileno(file_), text.data(), text.size(), 0), 0)));
    return text;
  }

 private:
  std::FILE* file_;
};

TEST(StationText, liveLine_showsBarPercentRateAndTimeLeftWithinTheWidth) {
  Machine m;
  m.port = {"COM1", "/dev/ttyUSB0", 1};
  m.apply({{"event", "progress"}, {"sent", 1000}, {"total", 4000}, {"frames", 2}, {"seconds", 6.0}});
  m.apply({{"event", "status"}, {"text", " Status: Sending data (514 bytes, 3)\r\n  Waiting"}});
  EXPECT_TRUE(liveLine(m, 6, 0).startsWith("COM1    [#####---------------]  25%  167 B/s  Status:"))
      << liveLine(m, 6, 0).toStdString();  // too few frames for an estimate
  m.apply({{"event", "progress"}, {"sent", 1000}, {"total", 4000}, {"frames", 4}, {"seconds", 6.0}});
  const QString line = liveLine(m, 6, 0);
  EXPECT_TRUE(line.startsWith("COM1    [#####---------------]  25%  167 B/s  about 18 s left")) << line.toStdString();
  EXPECT_TRUE(line.endsWith("Status: Sending data (514 bytes, 3) /   Waiting")) << line.toStdString();
  EXPECT_EQ(liveLine(m, 6, 30).size(), 30);
}

TEST(StationText, summary_namesWhyAMachineFailedAndLeavesOutAbsentOnes) {
  Machine absent;
  absent.port = {"COM9", "/dev/ttyS8", 9};
  absent.apply({{"event", "absent"}});
  const QString table = summaryTable(
      {endedMachine("COM1", "complete", " Status: UPDATE COMPLETE"), endedMachine("COM2", "failed", "Error:"), absent});
  EXPECT_TRUE(table.contains("COM1  complete   1.50 s    3       0        Status: UPDATE COMPLETE\n"))
      << table.toStdString();
  EXPECT_TRUE(
      table.contains("COM2  failed     1.50 s    3       0        Error: (after: Status: Received program fail -)"))
      << table.toStdString();
  EXPECT_FALSE(table.contains("COM9"));
}

TEST(StationText, lineView_printsEachStageAndQuarterProgressLines) {
  WrittenFile file;
  ASSERT_NE(file.get(), nullptr);
  NonBlockingOutput out(fileno(file.get()));
  LineView view(out, false);
  Machine m;
  m.port = {"COM1", "/dev/ttyUSB0", 1};
  const auto feed = [&](const QJsonObject& event) {
    m.apply(event);
    view.event(m, event);
  };
  feed({{"event", "status"}, {"stage", "transfer"}, {"text", " Status: Sending code.bin (3000 bytes) to Code(32768)"}});
  feed({{"event", "progress"}, {"sent", 0}, {"total", 1000}});
  for (int sent = 100; sent <= 1000; sent += 100) feed({{"event", "progress"}, {"sent", sent}, {"total", 1000}});
  feed({{"event", "status"}, {"stage", "closing"}, {"text", " Status: Finished closing connection"}});
  EXPECT_EQ(file.text(),
            "COM1: Status: Sending code.bin (3000 bytes) to Code(32768)\n"
            "COM1: 25% of 1000 bytes\nCOM1: 50% of 1000 bytes\nCOM1: 75% of 1000 bytes\nCOM1: 100% of 1000 bytes\n"
            "COM1: Status: Finished closing connection\n");
}

// The events of a written text, without their times (each has one).
std::string withoutTimes(const std::string& text) {
  std::string lines;
  for (const QByteArray& line : QByteArray::fromStdString(text).split('\n')) {
    if (line.isEmpty()) continue;
    QJsonObject event = QJsonDocument::fromJson(line).object();
    EXPECT_TRUE(QDateTime::fromString(event.take("time").toString(), Qt::ISODateWithMs).isValid()) << line.data();
    lines += QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString() + "\n";
  }
  return lines;
}

// Status and progress wait for the run's next wait; any other event, the
// flush and the end of the writer let them out first, in their order.
TEST(StationText, eventWriter_holdsStatusAndProgressUntilTheWaitAndKeepsTheOrder) {
  WrittenFile file;
  ASSERT_NE(file.get(), nullptr);
  {
    EventWriter events(fileno(file.get()));
    events.writeLater("status", {{"text", "a"}}, 0);
    events.writeLater("progress", {{"sent", 1}}, 0);
    EXPECT_EQ(file.text(), "");
    events.flush();
    events.writeLater("status", {{"text", "b"}}, 0);
    events.write("end", {{"outcome", "complete"}});
    events.writeLater("status", {{"text", "c"}}, 0);
  }
  EXPECT_EQ(withoutTimes(file.text()),
            "{\"event\":\"status\",\"text\":\"a\"}\n{\"event\":\"progress\",\"sent\":1}\n"
            "{\"event\":\"status\",\"text\":\"b\"}\n{\"event\":\"end\",\"outcome\":\"complete\"}\n"
            "{\"event\":\"status\",\"text\":\"c\"}\n");
}

// A reader that does not read never makes the writer wait: while the pipe is
// full the latest progress takes the place of the older ones, and nothing
// else is lost; a reader that goes away ends the output, not the writer.
TEST(StationText, nonBlockingOutput_fullPipeKeepsTheLatestOfAKeyAndAGoneReaderEndsIt) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
  {
    NonBlockingOutput out(fds[1]);
    const QByteArray pad(200, 'x');
    for (int n = 1; n <= 100; ++n) out.write("progress " + QByteArray::number(n) + " " + pad + "\n", "COM1/progress");
    out.write("end\n");
    EXPECT_TRUE(out.waiting());
    std::string got;
    char buffer[65536];
    while (got.find("end\n") == std::string::npos) {
      const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
      out.flush();
    }
    const auto lines = std::count(got.begin(), got.end(), '\n');
    EXPECT_LT(lines, 40) << "older progress lines should have given way";
    EXPECT_NE(got.find("progress 100 "), std::string::npos);
    EXPECT_EQ(got.rfind("end\n"), got.size() - 4);
    ::close(fds[0]);
    out.write("after the reader left\n");
    EXPECT_TRUE(out.closed());
  }
  ::close(fds[1]);
}

// A pass that does not sleep (between a verdict and the next frame) lets
// progress out only once it has been held for a while; a sleeping pass always.
TEST(StationText, eventPipeWindow_yieldLetsHeldEventsOutLateASleepAtOnce) {
  WrittenFile file;
  ASSERT_NE(file.get(), nullptr);
  EventWriter events(fileno(file.get()));
  testing::FakeClock clock;
  EventPipeWindowOps ops(Source::Program, 1, events, clock);
  ops.progressStart(1024);
  ops.yield();
  EXPECT_EQ(file.text(), "");
  clock.advance(EventPipeWindowOps::kHoldAtMostSeconds);
  ops.yield();
  const std::string first = file.text();
  EXPECT_NE(first.find("\"event\":\"progress\""), std::string::npos) << first;
  ops.progressAdvance(1024);  // 100%: told at once, written at the next sleep
  EXPECT_EQ(file.text(), first);
  ops.yieldWait(0);
  EXPECT_NE(file.text().find("\"sent\":1024", first.size()), std::string::npos) << file.text();
}

}  // namespace
}  // namespace torvane::station
