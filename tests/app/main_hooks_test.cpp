// The program itself, run offscreen through its test hooks. With every COM
// port pointing at a device that does not exist, the scan finds nothing, the
// run fails at once, and the hooks report and quit. With the simulated
// machine on COM1, the run reads the transfer list of the source that
// TORVANE_SOURCE selects.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace torvane {
namespace {

TEST(MainHooksTest, autostartWithExitAfterRun_printsFinalStatusSavesPictureAndExits) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  for (int n = 1; n <= 9; ++n) {
    env.insert(QStringLiteral("TORVANE_COM%1").arg(n), dir.filePath(QStringLiteral("no-such-tty%1").arg(n)));
  }
  env.insert(QStringLiteral("TORVANE_AUTOSTART"), QStringLiteral("1"));
  env.insert(QStringLiteral("TORVANE_EXIT_AFTER_RUN"), QStringLiteral("1"));
  env.insert(QStringLiteral("TORVANE_LOG"), dir.filePath(QStringLiteral("updates.jsonl")));
  const QString picture = dir.filePath(QStringLiteral("window.png"));
  env.insert(QStringLiteral("TORVANE_SCREENSHOT"), picture);

  QProcess program;
  program.setProcessEnvironment(env);
  program.setWorkingDirectory(dir.path());
  program.start(QStringLiteral(TORVANE_BIN_DIR "/torvane-update"), {});
  ASSERT_TRUE(program.waitForStarted(5000));
  const bool finished = program.waitForFinished(20000);
  if (!finished) program.kill();
  ASSERT_TRUE(finished) << "the program did not quit after the run";
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);

  const QStringList lines = QString::fromUtf8(program.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
  ASSERT_FALSE(lines.isEmpty());
  // The failed run's message box is printed, not waited for; then the final status.
  EXPECT_TRUE(lines.first().startsWith(QStringLiteral("message box: "))) << lines.first().toStdString();
  EXPECT_TRUE(lines.last().startsWith(QStringLiteral("final status:  Error: "))) << lines.last().toStdString();
  EXPECT_TRUE(lines.last().contains(QStringLiteral("COM1"))) << lines.last().toStdString();

  const QImage image(picture);
  ASSERT_FALSE(image.isNull()) << "no screenshot written";
  EXPECT_EQ(image.size(), QSize(481, 298));
}

// Environment for an unattended run: offscreen, COM1 at `com1` (or absent),
// COM2..COM9 absent, autostart and exit after the run.
QProcessEnvironment unattendedEnvironment(const QTemporaryDir& dir, const QString& com1) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  for (int n = 1; n <= 9; ++n) {
    env.insert(QStringLiteral("TORVANE_COM%1").arg(n), dir.filePath(QStringLiteral("no-such-tty%1").arg(n)));
  }
  if (!com1.isEmpty()) env.insert(QStringLiteral("TORVANE_COM1"), com1);
  env.insert(QStringLiteral("TORVANE_AUTOSTART"), QStringLiteral("1"));
  env.insert(QStringLiteral("TORVANE_EXIT_AFTER_RUN"), QStringLiteral("1"));
  env.insert(QStringLiteral("TORVANE_LOG"), dir.filePath(QStringLiteral("updates.jsonl")));
  env.remove(QStringLiteral("TORVANE_SOURCE"));
  env.remove(QStringLiteral("TORVANE_SCREENSHOT"));
  return env;
}

// The simulated machine, announcing every 100 ms; stopped when destroyed.
class SimulatedMachine {
 public:
  SimulatedMachine() {
    sim_.start(QStringLiteral(TORVANE_BIN_DIR "/torvane-sim"),
               {QStringLiteral("--announce-ms"), QStringLiteral("100")});
    if (!sim_.waitForStarted(5000)) return;
    while (!sim_.canReadLine() && sim_.waitForReadyRead(5000)) {
    }
    slave_ = QString::fromUtf8(sim_.readLine()).trimmed();
  }
  ~SimulatedMachine() {
    sim_.terminate();
    if (!sim_.waitForFinished(5000)) sim_.kill();
  }
  SimulatedMachine(const SimulatedMachine&) = delete;
  SimulatedMachine& operator=(const SimulatedMachine&) = delete;

  const QString& slave() const { return slave_; }

 private:
  QProcess sim_;
  QString slave_;
};

struct SourceCase {
  const char* value;          // TORVANE_SOURCE; "" leaves it unset
  const char* missing;        // the image named by the list that the run must read
  const char* argument = "";  // "": none, run in the folder; "." the folder; else a list in it
};

class SourceHookTest : public ::testing::TestWithParam<SourceCase> {};

// Each list names an image of its own that does not exist, so the run's
// early-end text tells which list it read.
TEST_P(SourceHookTest, sourceHook_runReadsTheListOfThatSource) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* list : {"program", "all", "ERestore"}) {
    QFile file(dir.filePath(QStringLiteral("%1.txt").arg(QLatin1String(list))));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(list) + "-image.bin\t1\t0x0E00\r\n");
  }
  SimulatedMachine machine;
  ASSERT_FALSE(machine.slave().isEmpty()) << "the simulated machine did not start";

  QProcessEnvironment env = unattendedEnvironment(dir, machine.slave());
  if (*GetParam().value != '\0') env.insert(QStringLiteral("TORVANE_SOURCE"), QLatin1String(GetParam().value));
  QProcess program;
  program.setProcessEnvironment(env);
  const QString argument = QLatin1String(GetParam().argument);
  program.setWorkingDirectory(argument.isEmpty() ? dir.path() : QDir::rootPath());
  const QString folderOrList = argument == QStringLiteral(".") ? dir.path() : dir.filePath(argument);
  program.start(QStringLiteral(TORVANE_BIN_DIR "/torvane-update"),
                argument.isEmpty() ? QStringList() : QStringList{folderOrList});
  ASSERT_TRUE(program.waitForStarted(5000));
  const bool finished = program.waitForFinished(8000);
  if (!finished) program.kill();
  ASSERT_TRUE(finished) << "the program did not quit after the run";
  EXPECT_EQ(program.exitCode(), 0);

  const QString output = QString::fromUtf8(program.readAllStandardOutput());
  EXPECT_TRUE(output.contains(
      QStringLiteral("final status:  Status: %1 does not exist\n").arg(QLatin1String(GetParam().missing))))
      << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    MainHooksTest, SourceHookTest,
    ::testing::Values(SourceCase{"program", "program-image.bin"}, SourceCase{"all", "all-image.bin"},
                      SourceCase{"erestore", "ERestore-image.bin"}, SourceCase{"", "program-image.bin"},
                      SourceCase{"", "program-image.bin", "."}, SourceCase{"", "all-image.bin", "all.txt"},
                      SourceCase{"", "ERestore-image.bin", "ERestore.txt"}),
    [](const ::testing::TestParamInfo<SourceCase>& info) {
      std::string name = *info.param.value != '\0' ? info.param.value : "unset";
      if (*info.param.argument == '.') name += "_folderArgument";
      if (*info.param.argument > '.') name += "_listArgument_" + std::to_string(info.index);
      return name;
    });

TEST(MainHooksTest, unknownSource_isRefusedBeforeTheWindowOpens) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QProcessEnvironment env = unattendedEnvironment(dir, {});
  env.insert(QStringLiteral("TORVANE_SOURCE"), QStringLiteral("Program"));
  QProcess program;
  program.setProcessEnvironment(env);
  program.setWorkingDirectory(dir.path());
  program.start(QStringLiteral(TORVANE_BIN_DIR "/torvane-update"), {});
  ASSERT_TRUE(program.waitForStarted(5000));
  const bool finished = program.waitForFinished(5000);
  if (!finished) program.kill();
  ASSERT_TRUE(finished);
  EXPECT_EQ(program.exitCode(), 2);
  EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
  const QString error = QString::fromUtf8(program.readAllStandardError());
  EXPECT_TRUE(error.contains(QStringLiteral("TORVANE_SOURCE=Program is not a source; use program, all or erestore")))
      << error.toStdString();
}

// Runs torvane-update with `arguments` from `dir` and returns exit code,
// standard output and standard error.
struct Finished {
  int code = -1;
  QString out, err;
};
// Without a display: what needs no window never needs one.
Finished runProgram(const QTemporaryDir& dir, const QStringList& arguments) {
  QProcess program;
  QProcessEnvironment env = unattendedEnvironment(dir, {});
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(QLatin1String(name));
  program.setProcessEnvironment(env);
  program.setWorkingDirectory(dir.path());
  program.start(QStringLiteral(TORVANE_BIN_DIR "/torvane-update"), arguments);
  if (!program.waitForStarted(5000)) return {};
  if (!program.waitForFinished(5000)) program.kill();
  return {program.exitCode(), QString::fromUtf8(program.readAllStandardOutput()),
          QString::fromUtf8(program.readAllStandardError())};
}

TEST(MainHooksTest, wrongArguments_areRefusedWithExitCodeTwo) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile(dir.filePath(QStringLiteral("notes.txt"))).open(QIODevice::WriteOnly);
  const struct {
    QStringList arguments;
    const char* says;
  } cases[] = {
      {{QStringLiteral("--bogus")}, "--bogus"},
      {{QStringLiteral("--history"), QStringLiteral("-1")}, "from 1 up, not \"-1\""},
      {{QStringLiteral("--history"), QStringLiteral("2"), QStringLiteral("extra")},
       "--history takes no folder or list"},
      {{QStringLiteral("--json")}, "--json goes with --check or --history"},
      {{QStringLiteral("--check"), QStringLiteral("--ports")}, "give one of --ports, --check, --history"},
      {{dir.filePath(QStringLiteral("missing"))}, "is neither a folder nor a transfer list"},
      {{dir.filePath(QStringLiteral("notes.txt"))}, "is not a transfer list"},
      {{dir.path(), dir.path()}, "give one folder or one transfer list, not 2 arguments"},
      {{QStringLiteral("--ports"), dir.path()}, "--ports takes no folder or list"},
  };
  for (const auto& c : cases) {
    const Finished run = runProgram(dir, c.arguments);
    EXPECT_EQ(run.code, 2) << c.says;
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains(QLatin1String(c.says))) << run.err.toStdString();
    EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
  }
}

TEST(MainHooksTest, portsAndHelp_printWithoutAWindow) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const Finished ports = runProgram(dir, {QStringLiteral("--ports")});
  EXPECT_EQ(ports.code, 0) << ports.err.toStdString();
  const QStringList lines = ports.out.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 9) << ports.out.toStdString();
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("COM1  ") + dir.filePath(QStringLiteral("no-such-tty1"))))
      << lines[0].toStdString();
  EXPECT_TRUE(lines[8].startsWith(QStringLiteral("COM9  "))) << lines[8].toStdString();

  const Finished help = runProgram(dir, {QStringLiteral("--help")});
  EXPECT_EQ(help.code, 0);
  for (const char* documented :
       {"--ports", "--check", "--history", "FOLDER | LIST", "--version", "TORVANE_COM1", "TORVANE_LOG", "Exit codes"}) {
    EXPECT_TRUE(help.out.contains(QLatin1String(documented))) << documented;
  }
}

}  // namespace
}  // namespace torvane
