// The recorder's lines in the update log for runs against the fakes.
#include "record/update_recorder.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSysInfo>
#include <algorithm>
#include <optional>

#include "record/history.h"
#include "run/update_driver.h"
#include "tests/run/transfer_test_support.h"
#include "tests/support/host.h"

namespace torvane {
namespace {

QJsonObject json(const char* text) { return QJsonDocument::fromJson(text).object(); }

class UpdateRecorderTest : public ::testing::Test {
 protected:
  test::ScratchWorkingFolder folder{"torvane-recorder"};
  const QString log = QStringLiteral("state/torvane-update/updates.jsonl");
  std::vector<std::string> statuses;

  // One run against the machine, recorded on `path` unless it is empty.
  void run(const QString& path, std::map<int, char> verdicts = {}) {
    testing::ProcedureRig<> rig;
    UpdateRecorder recorder({path, QStringLiteral("torvane-update"), [](int com) {
                               return PortDetails{QStringLiteral("/dev/ttyT%1").arg(com), {}, {}, {}};
                             }});
    if (!path.isEmpty()) rig.ctx.observers = {&recorder};
    testing::machine(rig, std::move(verdicts));
    cmdStart_Click(rig.ctx);
    statuses = rig.window.statuses;
  }
  std::vector<StoredRecord> stored(const QString& path) {
    std::vector<StoredRecord> records;
    QString error;
    EXPECT_TRUE(readRecords(path, records, error)) << error.toStdString();
    return records;
  }
};

TEST_F(UpdateRecorderTest, eachRun_appendsOneLineWithEveryField) {
  test::writeFile("abc.bin", "abc");
  test::writeFile("empty.bin", "");
  test::writeFile("big.bin", testing::pattern(1300, 4));
  test::writeFile("program.txt", "abc.bin\t1\t0x8000\r\nempty.bin 2 0\r\nbig.bin\t3\t4096\r\n");
  run(log, {{3, '\x02'}});  // STX: big.bin's first data frame again
  ASSERT_EQ(stored(log).size(), 1u);
  QJsonObject r = stored(log)[0].record;
  const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"));
  EXPECT_TRUE(iso.match(r["start"].toString()).hasMatch()) << r["start"].toString().toStdString();
  EXPECT_TRUE(iso.match(r["end"].toString()).hasMatch());
  EXPECT_GT(r["seconds"].toDouble(), 0);
  EXPECT_EQ(r["host"].toString(), QSysInfo::machineHostName());
  EXPECT_EQ(r["folder"].toString(), QDir::toNativeSeparators(QDir::currentPath()));
  EXPECT_EQ(r["entries"][0], json(R"({"name": "abc.bin", "size": 3, "memory_type": 1, "address": 32768, "frames": 2,
    "sha256": "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", "resends": 0, "sent": true})"));
  EXPECT_EQ(r["entries"][1]["sha256"], "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const QByteArray big = QByteArray::fromStdString(test::readFile("big.bin"));
  EXPECT_EQ(r["entries"][2]["sha256"], QString(QCryptographicHash::hash(big, QCryptographicHash::Sha256).toHex()));
  for (const char* name : {"start", "end", "seconds", "host", "user", "folder", "entries"}) r.remove(name);
  EXPECT_EQ(r, json(R"({"tool": {"name": "torvane-update", "version": "1.0.0"}, "source": "program",
    "list": "program.txt", "port": {"com": 1, "device": "/dev/ttyT1"}, "frames": 8, "resends": 1,
    "verdicts": {"ACK": 8, "NAK": 0, "CAN": 0, "ETX": 0, "STX": 1, "timeout": 0},
    "outcome": "complete", "status": " Status: UPDATE COMPLETE", "fault": null})"));

  test::writeFile("program.txt", "abc.bin\t1\t0x8000\r\nnone.bin 2 16\r\n");
  run(log);
  run(log, {{0, '\x18'}});            // CAN on the first frame
  ASSERT_EQ(stored(log).size(), 3u);  // appended, the first line kept
  EXPECT_EQ(stored(log)[1].record["outcome"], "early_end");
  EXPECT_EQ(stored(log)[1].record["entries"][1], json(R"({"name": "none.bin", "size": null, "sha256": null,
    "memory_type": 2, "address": 16, "frames": 0, "resends": 0, "sent": false})"));
  EXPECT_EQ(stored(log)[2].record["outcome"], "failed");
  EXPECT_EQ(stored(log)[2].record["fault"], json(R"({"number": 0, "description": "", "source": ""})"));
}

TEST_F(UpdateRecorderTest, unwritableLog_costsOneLineOnStandardErrorAndNothingElse) {
  testing::writeFourEntryList();
  run(QString());  // the run as it is without a record
  const std::vector<std::string> unrecorded = statuses;
  const QByteArray earlier = "{\"outcome\":\"complete\"}";
  test::writeFile("plain-file", "");
  test::writeFile("full.jsonl", earlier.toStdString() + "\n");
  for (const QString& path :
       {QStringLiteral("plain-file/updates.jsonl"), QStringLiteral("/dev/null"), QStringLiteral("full.jsonl")}) {
    std::optional<test::FileSizeLimit> disk;  // full.jsonl: the disk is full before the line fits
    if (path == QLatin1String("full.jsonl")) disk.emplace(400);
    ::testing::internal::CaptureStderr();
    run(path);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(statuses, unrecorded) << path.toStdString();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(path.toStdString()), std::string::npos) << err;
  }
  ASSERT_EQ(stored(QStringLiteral("full.jsonl")).size(), 1u);  // the part that fitted is skipped
  EXPECT_EQ(stored(QStringLiteral("full.jsonl"))[0].line, earlier);
}

}  // namespace
}  // namespace torvane
