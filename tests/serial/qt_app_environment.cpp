// QSerialPort needs a QCoreApplication (its notifiers live in the event
// loop); this environment gives every test of the binary one.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace {

class QtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[32] = "serial_pty_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace
