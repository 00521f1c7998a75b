// Test main of the end-to-end programs: Qt on its offscreen platform (no
// display needed), and one window shown and closed before the tests so that
// Qt's one-time start-up (fonts, platform plug-in) is behind us when a test
// counts open descriptors.
#include <gtest/gtest.h>
#include <filesystem>

#include <QApplication>
#include <csignal>
#include <cstdlib>

#include "app/frmdl.h"
#include "app/qt_clock.h"
#include "serial/qt_serial_port.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::signal(SIGPIPE, SIG_IGN);
  QApplication app(argc, argv);
  {
    torvane::QtSerialPort port;
    torvane::QtClock clock;
    torvane::Frmdl warmUp(port, clock, std::filesystem::current_path());
    warmUp.show();
    QCoreApplication::processEvents();
    warmUp.repaint();
  }
  QCoreApplication::processEvents();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
