// Reading the update log back, and the options that choose it.
#include "record/history.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonDocument>
#include <QTimeZone>
#include <sstream>

#include "record/record_commands.h"
#include "record/update_log.h"
#include "tests/support/scratch_folder.h"

namespace torvane {
namespace {

// A line as the recorder writes it: a run on COM `com` that sent `image` with this SHA-256.
QByteArray recordLine(int com, RunOutcome outcome, const std::string& image, const std::string& sha256) {
  RunRecord r;
  r.com = com;
  r.source = "program";
  r.entries = {{image, 512, 1, 0, sha256, 2, 0, true}};
  r.frames = 7;
  r.outcome = outcome;
  RunSetting s;
  s.start = s.end = QDateTime(QDate(2025, 3, 4), QTime(9, 15), QTimeZone(3600));
  return QJsonDocument(recordJson(r, s)).toJson(QJsonDocument::Compact);
}

std::string history(int count, bool asJson) {
  std::ostringstream out, err;
  EXPECT_EQ(printHistory(QStringLiteral("updates.jsonl"), count, asJson, out, err), 0) << err.str();
  return out.str();
}

TEST(History, lineCutOffMidWrite_isSkippedAndTheNextRecordStandsOnItsOwn) {
  test::ScratchWorkingFolder folder("torvane-history");
  EXPECT_EQ(history(20, false), "No update runs recorded in updates.jsonl\n");
  const QByteArray a = recordLine(1, RunOutcome::Complete, "code.bin", std::string(64, 'a'));
  const QByteArray b = recordLine(2, RunOutcome::Failed, "x.bin", "0123456789abcdef" + std::string(48, '0'));
  const QByteArray c = recordLine(3, RunOutcome::Complete, "y.bin", std::string(64, 'c'));
  for (const QByteArray& line : {a, b}) ASSERT_TRUE(appendLine(QStringLiteral("updates.jsonl"), line).isEmpty());
  test::writeFile("updates.jsonl", test::readFile("updates.jsonl") + c.left(c.size() / 2).toStdString());

  EXPECT_EQ(history(20, true), (a + '\n' + b + '\n').toStdString());
  const std::string table = history(20, false);
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3) << table;  // heading and two rows
  EXPECT_NE(table.find("2025-03-04T09:15:00+01:00  failed     program   COM2        7        0  x.bin 0123456789ab\n"),
            std::string::npos)
      << table;

  ASSERT_TRUE(appendLine(QStringLiteral("updates.jsonl"), c).isEmpty());
  EXPECT_EQ(history(2, true), (b + '\n' + c + '\n').toStdString());
}

// Sets an environment variable for its lifetime, then puts back what was there.
struct ScopedEnv {
  ScopedEnv(const char* n, const QByteArray& value) : name(n), old(qgetenv(n)), had(qEnvironmentVariableIsSet(n)) {
    qputenv(name, value);
  }
  ~ScopedEnv() { had ? qputenv(name, old) : qunsetenv(name); }
  const char* name;
  QByteArray old;
  bool had;
};

TEST(RecordOptions, historyCountJsonLogAndOff) {
  const RecordOptions o = parseRecordOptions({"torvane-update", "--history", "5", "--json", "--log", "my.jsonl"});
  EXPECT_TRUE(o.history && o.json && o.error.isEmpty());
  EXPECT_EQ(o.count, 5);
  EXPECT_EQ(logPathFor(o), "my.jsonl");
  EXPECT_EQ(parseRecordOptions({"t", "--history"}).count, 20);
  EXPECT_FALSE(parseRecordOptions({"t", "--history", "0"}).error.isEmpty());
  EXPECT_FALSE(parseRecordOptions({"t", "--json"}).error.isEmpty());
  EXPECT_EQ(runRecordCommands({"t", "--log"}), 2);
  EXPECT_EQ(runRecordCommands({"t", "-platform", "offscreen"}), std::nullopt);

  EXPECT_EQ(updateRecorder({"t", "--no-log"}), nullptr);
  const ScopedEnv state("XDG_STATE_HOME", "/srv/state");
  const ScopedEnv log("TORVANE_LOG", "");
  EXPECT_EQ(updateRecorder({"t"})->logPath(), "/srv/state/torvane-update/updates.jsonl");
  qputenv("TORVANE_LOG", "off");
  EXPECT_EQ(updateRecorder({"t"}), nullptr);
  EXPECT_EQ(updateRecorder({"t", "--log", "a.jsonl"})->logPath(), "a.jsonl");
  qputenv("TORVANE_LOG", "b.jsonl");
  EXPECT_EQ(updateRecorder({"t"})->logPath(), "b.jsonl");
  qputenv("XDG_STATE_HOME", "relative");
  EXPECT_EQ(defaultLogPath(), QDir::homePath() + "/.local/state/torvane-update/updates.jsonl");
}

}  // namespace
}  // namespace torvane
