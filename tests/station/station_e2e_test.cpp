// torvane-station against several simulated machines at once. Every port is
// a pseudo-terminal or an absent path of the test: the host's serial ports
// are never touched.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QString>
#include <cstdlib>
#include <filesystem>

#include "tests/station/station_rig.h"

namespace torvane::station {
namespace {

// Every line is a JSON object; those of the ports that did not announce a
// machine are left out.
std::vector<QJsonObject> jsonLines(const std::string& out) {
  std::vector<QJsonObject> lines;
  for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
    if (line.isEmpty()) continue;
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    EXPECT_TRUE(doc.isObject()) << line.toStdString();
    if (doc.object()["event"].toString() != QStringLiteral("absent")) lines.push_back(doc.object());
  }
  return lines;
}

// The summary row of a port.
std::string summaryRow(const std::string& out, const std::string& port) {
  const std::size_t header = out.find("port ");
  const std::size_t at = out.find("\n" + port + " ", header);
  if (header == std::string::npos || at == std::string::npos) return {};
  return out.substr(at + 1, out.find('\n', at + 1) - at - 1);
}

TEST(StationE2e, fourMachinesOneSendingCan_updatesTheOtherThreeAndExits1WithFourRecords) {
  StationRig rig;
  ASSERT_TRUE(rig.startSims({{}, {}, {}, {"--can-at", "3"}})) << rig.error();
  QStringList args;
  for (std::size_t i = 0; i < 4; ++i) args << "--port" << QString::fromStdString(rig.sim(i).slavePath());
  const StationRun run = rig.run(args);

  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "no redraws when not on a terminal";
  for (std::size_t i = 0; i < 4; ++i) {
    const e2e::SimReport report = rig.sim(i).stop();
    const std::string row = summaryRow(run.out, rig.sim(i).slavePath());
    if (i < 3) {
      EXPECT_EQ(report.result, "OK");
      EXPECT_TRUE(rig.sim(i).savedImage(1) == rig.image()) << "machine " << i + 1;
      EXPECT_NE(row.find("complete"), std::string::npos) << row;
    } else {
      EXPECT_EQ(report.verdictCount("CAN"), 1);
      EXPECT_NE(row.find("failed"), std::string::npos) << row;
      EXPECT_NE(row.find("Error: the machine refused frame 3 (CAN)"), std::string::npos) << row;
    }
  }
  const std::vector<QJsonObject> records = rig.records();
  ASSERT_EQ(records.size(), 4u);
  int complete = 0;
  for (const QJsonObject& record : records) {
    EXPECT_EQ(record["tool"].toObject()["name"].toString(), QStringLiteral("torvane-station"));
    EXPECT_FALSE(record["port"].toObject().contains("com")) << "a port named by its path has no COM number";
    complete += record["outcome"].toString() == QStringLiteral("complete");
  }
  EXPECT_EQ(complete, 3);
}

TEST(StationE2e, scanWithJson_findsTheMachineOnItsComAndReportsEachEventAsAJsonLine) {
  StationRig rig;
  ASSERT_TRUE(rig.startSims({{}})) << rig.error();
  rig.mapCom(4, rig.sim(0).slavePath());
  const StationRun run = rig.run({"--json"});

  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  const std::vector<QJsonObject> lines = jsonLines(run.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front()["event"].toString(), QStringLiteral("found"));
  EXPECT_EQ(lines.front()["port"].toString(), QStringLiteral("COM4"));
  EXPECT_EQ(lines.back()["event"].toString(), QStringLiteral("end"));
  EXPECT_EQ(lines.back()["outcome"].toString(), QStringLiteral("complete"));
  for (const QJsonObject& line : lines) EXPECT_EQ(line["port"].toString(), QStringLiteral("COM4"));
  EXPECT_EQ(rig.sim(0).stop().result, "OK");
  ASSERT_EQ(rig.records().size(), 1u);
  EXPECT_EQ(rig.records()[0]["port"].toObject()["com"].toInt(), 4);
}

TEST(StationE2e, scanWithNoMachine_exits3) {
  StationRig rig;
  const StationRun run = rig.run({"--scan", "--no-log"});
  EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
  EXPECT_NE(run.out.find("No machine announced itself within 2 s on COM1 (" + rig.dir() + "/absent1), COM2"),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(rig.records().empty());
}

TEST(StationE2e, ctrlC_endsTheRunAtItsNextWaitAndRecordsWhy) {
  StationRig rig;
  ASSERT_TRUE(rig.startSims({{"--silent-at", "1"}})) << rig.error();
  const StationRun run = rig.run({"--port", QString::fromStdString(rig.sim(0).slavePath())}, 1500);
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_LT(run.seconds, 10);
  EXPECT_NE(summaryRow(run.out, rig.sim(0).slavePath()).find("Error: stopped (Ctrl-C)"), std::string::npos) << run.out;
  ASSERT_EQ(rig.records().size(), 1u);
  EXPECT_EQ(rig.records()[0]["outcome"].toString(), QStringLiteral("closed"));
  EXPECT_EQ(rig.records()[0]["fault"].toObject()["description"].toString(), QStringLiteral("stopped (Ctrl-C)"));
}

// The folder is checked before any port: a damaged image refuses every
// machine's run, each is recorded, and no machine hears a byte.
TEST(StationE2e, imageDifferingFromSha256sums_refusesEveryRunBeforeAnyPortIsTouched) {
  StationRig rig;
  ASSERT_TRUE(rig.startSims({{}, {}})) << rig.error();
  QFile sums(QString::fromStdString(rig.dir() + "/SHA256SUMS"));
  ASSERT_TRUE(sums.open(QIODevice::WriteOnly));
  sums.write((std::string(64, '0') + "  code.bin\n").c_str());
  sums.close();
  const StationRun run = rig.run({"--port", QString::fromStdString(rig.sim(0).slavePath()), "--port",
                                  QString::fromStdString(rig.sim(1).slavePath())});
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_NE(summaryRow(run.out, rig.sim(i).slavePath()).find("refused"), std::string::npos) << run.out;
    EXPECT_NE(rig.sim(i).stop().json.find("\"received\": []"), std::string::npos) << "machine " << i + 1;
  }
  EXPECT_NE(run.out.find("\"code.bin\" does not match SHA256SUMS"), std::string::npos) << run.out;
  const std::vector<QJsonObject> records = rig.records();
  ASSERT_EQ(records.size(), 2u);
  for (const QJsonObject& record : records) EXPECT_EQ(record["outcome"].toString(), QStringLiteral("refused"));
}

// A folder is used by its bytes: here not UTF-8, which no QString keeps.
TEST(StationE2e, folderNameNotUtf8_isUsedByItsBytes) {
  StationRig rig;
  ASSERT_TRUE(rig.startSims({{}})) << rig.error();
  const std::filesystem::path folder = rig.dir() + "/fw-\xff\xfe";
  std::filesystem::create_directory(folder);
  for (const char* name : {"program.txt", "code.bin"}) std::filesystem::copy(rig.dir() + "/" + name, folder / name);
  const std::string command = std::string(TORVANE_BIN_DIR "/torvane-station --quiet --port ") + rig.sim(0).slavePath() +
                              " --folder '" + folder.string() + "' > /dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(rig.sim(0).stop().result, "OK");
  EXPECT_TRUE(rig.sim(0).savedImage(1) == rig.image());
}

TEST(StationE2e, wrongArguments_exit2WithOneLineOnStandardError) {
  StationRig rig;
  const StationRun run = rig.run({"--source", "bogus"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(run.out.empty());
  EXPECT_NE(run.err.find("--source bogus is not a source"), std::string::npos) << run.err;
}

// A path names the device alone: no COM number, no TORVANE_COMn to set.
TEST(StationE2e, absentDevicePath_failsNamingThePath) {
  StationRig rig;
  const std::string absent = rig.dir() + "/ttyUSB7";
  const StationRun run = rig.run({"--json", "--port", QString::fromStdString(absent)});
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  const std::vector<QJsonObject> lines = jsonLines(run.out);
  ASSERT_FALSE(lines.empty()) << run.out;
  EXPECT_EQ(lines.back()["status"].toString().toStdString(),
            " Error: " + absent + " does not exist. Connect the adapter. No serial port is present.")
      << run.out;
}

TEST(StationE2e, silentMachine_failsAloneWhileTheOtherCompletes) {
  StationRig rig;
  ASSERT_TRUE(rig.startSims({{}, {"--silent-at", "2"}})) << rig.error();
  const StationRun run = rig.run({"--port", QString::fromStdString(rig.sim(0).slavePath()), "--port",
                                  QString::fromStdString(rig.sim(1).slavePath())});
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_EQ(rig.sim(0).stop().result, "OK");
  EXPECT_TRUE(rig.sim(0).savedImage(1) == rig.image());
  EXPECT_NE(summaryRow(run.out, rig.sim(1).slavePath()).find("failed"), std::string::npos) << run.out;
  EXPECT_NE(summaryRow(run.out, rig.sim(1).slavePath()).find("Error: no verdict for frame 2 within 20 s"),
            std::string::npos)
      << run.out;
  // The healthy machine's end was told as it happened, not after the silent one's time-outs.
  const std::size_t completed = run.out.find(rig.sim(0).slavePath() + ": complete:");
  const std::size_t failed = run.out.find(rig.sim(1).slavePath() + ": failed:");
  ASSERT_NE(failed, std::string::npos) << run.out;
  EXPECT_LT(completed, failed) << run.out;
}

}  // namespace
}  // namespace torvane::station
