// The command line of torvane-station.
#include <gtest/gtest.h>

#include <sstream>

#include "station/station_options.h"

namespace torvane::station {
namespace {

namespace fs = std::filesystem;

// COM2 is /dev/ttyUSB7, which /dev/serial/by-id/adapter also leads to.
const PortNames kNames{[](int com) { return com == 2 ? std::string("/dev/ttyUSB7") : std::string(); },
                       [](const std::string& device) {
                         return device == "/dev/serial/by-id/adapter" ? std::string("/dev/ttyUSB7") : device;
                       }};

struct Parsed {
  std::optional<StationOptions> options;
  int code = -1;
  std::string out, err;
};

Parsed parse(const std::vector<std::string>& words) {
  std::ostringstream out, err;
  const auto result = parseStationOptions(words, kNames, fs::temp_directory_path(), out, err);
  Parsed p{std::nullopt, -1, out.str(), err.str()};
  if (const auto* options = std::get_if<StationOptions>(&result)) p.options = *options;
  if (const int* code = std::get_if<int>(&result)) p.code = *code;
  return p;
}

TEST(StationOptions, neitherPortNorScan_scansForProgramInTheCurrentFolder) {
  const Parsed parsed = parse({});
  ASSERT_TRUE(parsed.options) << parsed.err;
  EXPECT_TRUE(parsed.options->scan);
  EXPECT_EQ(parsed.options->source, Source::Program);
  EXPECT_EQ(parsed.options->folder, fs::temp_directory_path());
  EXPECT_FALSE(parsed.options->worker);
}

TEST(StationOptions, ports_areTakenThroughTheComMapOrAsDevicePaths) {
  const Parsed parsed = parse({"--port", "com2", "--port", "/dev/pts/9", "--source", "erestore"});
  ASSERT_TRUE(parsed.options) << parsed.err;
  EXPECT_FALSE(parsed.options->scan);
  EXPECT_EQ(parsed.options->source, Source::EmergencyRestore);
  ASSERT_EQ(parsed.options->ports.size(), 2u);
  EXPECT_EQ(parsed.options->ports[0], (PortTarget{"COM2", "/dev/ttyUSB7", 2}));
  EXPECT_EQ(parsed.options->ports[1], (PortTarget{"/dev/pts/9", "/dev/pts/9", 1, true}));
}

TEST(StationOptions, wrongArguments_areOneLineAndExitCode2) {
  const std::vector<std::vector<std::string>> wrong = {
      {"--source", "lorebank"},
      {"--port", "COM3"},  // no device behind COM3
      {"--port", "COM10"},
      {"--port", "COM2", "--scan"},
      {"--port", "COM2", "--port", "/dev/ttyUSB7"},               // the same device twice
      {"--port", "/dev/serial/by-id/adapter", "--port", "COM2"},  // one device under two names
      {"--check", "--port", "COM2"},
      {"--folder", "/no/such/folder"},
      {"--log", "x", "--no-log"},
      {"--bogus"},
      {"extra"},
  };
  for (const auto& words : wrong) {
    const Parsed parsed = parse(words);
    const std::string line = ::testing::PrintToString(words);
    EXPECT_FALSE(parsed.options) << line;
    EXPECT_EQ(parsed.code, kWrongArguments) << line;
    EXPECT_EQ(std::count(parsed.err.begin(), parsed.err.end(), '\n'), 1) << line << ": " << parsed.err;
  }
  EXPECT_NE(parse({"--port", "/dev/serial/by-id/adapter", "--port", "COM2"}).err.find("lead to one device"),
            std::string::npos);
}

TEST(StationOptions, help_documentsEveryOptionTheEnvironmentAndTheExitCodes) {
  const Parsed parsed = parse({"--help"});
  EXPECT_FALSE(parsed.options);
  EXPECT_EQ(parsed.code, 0);
  for (const char* word : {"--source", "--folder", "--port", "--scan", "--check", "--json", "--quiet", "--log",
                           "--no-log", "--version", "TORVANE_COM1", "TORVANE_LOG", "3 no machine found"}) {
    EXPECT_NE(parsed.out.find(word), std::string::npos) << word;
  }
  EXPECT_EQ(parsed.out.find("--worker"), std::string::npos);
}

TEST(StationOptions, workerArguments_parseBackToTheSamePortSourceFolderAndLog) {
  const Parsed given = parse({"--port", "COM2", "--source", "all"});
  ASSERT_TRUE(given.options);
  const fs::path log = fs::temp_directory_path() / "l.jsonl";
  const Parsed back = parse(workerArguments(*given.options, given.options->ports[0], true, log));
  ASSERT_TRUE(back.options) << back.err;
  EXPECT_TRUE(back.options->worker);
  EXPECT_TRUE(back.options->scan);
  EXPECT_EQ(back.options->ports[0], given.options->ports[0]);
  EXPECT_EQ(back.options->source, Source::ProgramAndDsd);
  EXPECT_EQ(back.options->workerLog, log);
  const Parsed noLog = parse(workerArguments(*given.options, given.options->ports[0], false, std::nullopt));
  ASSERT_TRUE(noLog.options) << noLog.err;
  EXPECT_FALSE(noLog.options->workerLog);
}

}  // namespace
}  // namespace torvane::station
