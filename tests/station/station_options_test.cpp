// The command line of torvane-station.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

#include "station/station_options.h"

namespace torvane::station {
namespace {

std::string comDevice(int com) { return com == 2 ? "/dev/ttyUSB7" : ""; }

ParsedArguments parse(QStringList words) {
  return parseArguments(QStringList{QStringLiteral("torvane-station")} + words, comDevice);
}

TEST(StationOptions, neitherPortNorScan_scansForProgramInTheCurrentFolder) {
  const ParsedArguments parsed = parse({});
  ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
  EXPECT_TRUE(parsed.options->scan);
  EXPECT_EQ(parsed.options->source, Source::Program);
  EXPECT_EQ(parsed.options->folder, QDir::currentPath());
  EXPECT_FALSE(parsed.options->worker);
}

TEST(StationOptions, ports_areTakenThroughTheComMapOrAsDevicePaths) {
  const ParsedArguments parsed = parse({"--port", "com2", "--port", "/dev/pts/9", "--source", "erestore"});
  ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
  EXPECT_FALSE(parsed.options->scan);
  EXPECT_EQ(parsed.options->source, Source::EmergencyRestore);
  ASSERT_EQ(parsed.options->ports.size(), 2u);
  EXPECT_EQ(parsed.options->ports[0], (PortTarget{"COM2", "/dev/ttyUSB7", 2}));
  EXPECT_EQ(parsed.options->ports[1], (PortTarget{"/dev/pts/9", "/dev/pts/9", 1, true}));
}

TEST(StationOptions, wrongArguments_areRefusedWithExitCode2) {
  const std::vector<QStringList> wrong = {
      {"--source", "lorebank"},
      {"--port", "COM3"},  // no device behind COM3
      {"--port", "COM10"},
      {"--port", "COM2", "--scan"},
      {"--port", "COM2", "--port", "/dev/ttyUSB7"},  // the same device twice
      {"--folder", "/no/such/folder"},
      {"--log", "x", "--no-log"},
      {"--bogus"},
      {"extra"},
  };
  for (const QStringList& words : wrong) {
    const ParsedArguments parsed = parse(words);
    EXPECT_FALSE(parsed.options) << words.join(' ').toStdString();
    EXPECT_EQ(parsed.exitCode, kWrongArguments) << words.join(' ').toStdString();
    EXPECT_FALSE(parsed.error.isEmpty()) << words.join(' ').toStdString();
  }
}

TEST(StationOptions, help_documentsEveryOptionAndTheExitCodes) {
  const ParsedArguments parsed = parse({"--help"});
  EXPECT_FALSE(parsed.options);
  EXPECT_EQ(parsed.exitCode, 0);
  for (const char* word :
       {"--source", "--folder", "--port", "--scan", "--json", "--quiet", "--log", "--no-log", "3 no machine found"}) {
    EXPECT_TRUE(parsed.output.contains(QLatin1String(word))) << word;
  }
  EXPECT_FALSE(parsed.output.contains(QLatin1String("--worker")));
}

TEST(StationOptions, workerArguments_parseBackToTheSamePortSourceFolderAndLog) {
  const ParsedArguments given = parse({"--port", "COM2", "--source", "all", "--log", "/tmp/l.jsonl"});
  ASSERT_TRUE(given.options);
  const QStringList worker = workerArguments(*given.options, given.options->ports[0], true);
  const ParsedArguments back = parse(worker);
  ASSERT_TRUE(back.options) << back.error.toStdString();
  EXPECT_TRUE(back.options->worker);
  EXPECT_TRUE(back.options->scan);
  EXPECT_EQ(back.options->ports[0].device, QStringLiteral("/dev/ttyUSB7"));
  EXPECT_EQ(back.options->ports[0].com, 2);
  EXPECT_EQ(back.options->source, Source::ProgramAndDsd);
  EXPECT_EQ(back.options->recordArgs, given.options->recordArgs);
  EXPECT_EQ(back.options->ports[0], given.options->ports[0]);
}

}  // namespace
}  // namespace torvane::station
