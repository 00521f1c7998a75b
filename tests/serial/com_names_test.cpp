#include "serial/com_names.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace torvane {
namespace {

class ComNames : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int n = 0; n <= 10; ++n) ::unsetenv(("TORVANE_COM" + std::to_string(n)).c_str());
  }
};

TEST_F(ComNames, noVariable_givesPlatformName) {
  const struct {
    int com;
    const char* device;
  } rows[] = {{1, "/dev/ttyS0"}, {2, "/dev/ttyS1"}, {3, "/dev/ttyS2"}, {9, "/dev/ttyS8"}};
  for (const auto& row : rows) {
    EXPECT_EQ(deviceForCom(row.com), row.device) << "COM" << row.com;
  }
}

TEST_F(ComNames, variableSet_givesItsDevice) {
  ::setenv("TORVANE_COM3", "/dev/ttyUSB0", 1);
  ::setenv("TORVANE_COM9", "/dev/pts/7", 1);
  EXPECT_EQ(deviceForCom(3), "/dev/ttyUSB0");
  EXPECT_EQ(deviceForCom(9), "/dev/pts/7");
  EXPECT_EQ(deviceForCom(4), "/dev/ttyS3");  // other ports keep their own names
}

TEST_F(ComNames, emptyVariable_givesPlatformName) {
  ::setenv("TORVANE_COM2", "", 1);
  EXPECT_EQ(deviceForCom(2), "/dev/ttyS1");
}

TEST_F(ComNames, numberOutsideOneToNine_givesNoDevice) {
  ::setenv("TORVANE_COM10", "/dev/ttyUSB1", 1);
  ::setenv("TORVANE_COM0", "/dev/ttyUSB2", 1);
  for (int n : {0, 10, -1, 100}) EXPECT_EQ(deviceForCom(n), "") << n;
}

TEST_F(ComNames, label_namesComAndDevice) {
  EXPECT_EQ(comLabel(3, "/dev/ttyS2"), "COM3 (/dev/ttyS2)");
  EXPECT_EQ(comLabel(3, "COM3"), "COM3");
  EXPECT_EQ(comLabel(12, ""), "COM12");
}

}  // namespace
}  // namespace torvane
