// The program itself, run offscreen through its test hooks, with every COM
// port pointing at a device that does not exist: the scan finds nothing, the
// run fails at once, and the hooks report and quit.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "app/test_hooks.h"

namespace torvane {
namespace {

TEST(TestHooksTest, oneLine_escapesCrAndLfOnly) {
  EXPECT_EQ(oneLine(" Status: Can not locate.\r\n Make sure"), " Status: Can not locate.\\r\\n Make sure");
  EXPECT_EQ(oneLine("\n\r"), "\\n\\r");
  EXPECT_EQ(oneLine(std::string("a\tb\0c", 5)), std::string("a\tb\0c", 5));
  EXPECT_EQ(oneLine(""), "");
}

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

}  // namespace
}  // namespace torvane
