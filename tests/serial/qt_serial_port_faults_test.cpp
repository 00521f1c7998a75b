// Every fault of the Qt serial port, against pseudo-terminals and files.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

#include "serial/port_host.h"
#include "serial/qt_serial_port.h"
#include "tests/serial/pty_pair.h"

namespace torvane {
namespace {

using testing::PtyPair;
using testing::runEventLoop;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

using testing::faultOf;

class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/torvane-serial-XXXXXX";
    path_ = ::mkdtemp(name) ? name : "";
    if (!path_.empty()) ::chmod(path_.c_str(), 0755);
  }
  ~TempDir() {
    for (const auto& f : files_) ::unlink(f.c_str());
    if (!path_.empty()) ::rmdir(path_.c_str());
  }
  std::string file(const std::string& name, mode_t mode) {
    const std::string path = path_ + "/" + name;
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    if (fd >= 0) ::close(fd);
    ::chmod(path.c_str(), mode);
    files_.push_back(path);
    return path;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

// COM5 is the pseudo-terminal; every other COM points at an absent path, so
// no fault depends on the host's own serial ports.
class QtSerialPortFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok()) << "openpty failed";
    for (int n = kFirstCom; n <= kLastCom; ++n) {
      ::setenv(("TORVANE_COM" + std::to_string(n)).c_str(), (absent.path() + "/absent").c_str(), 1);
    }
    useDevice(pty.slavePath());
    port.setCommPort(5);
  }
  void TearDown() override {
    for (int n = kFirstCom; n <= kLastCom; ++n) ::unsetenv(("TORVANE_COM" + std::to_string(n)).c_str());
  }
  static void useDevice(const std::string& path) { ::setenv("TORVANE_COM5", path.c_str(), 1); }

  TempDir absent;
  PtyPair pty;
  QtSerialPort port;
};

TEST_F(QtSerialPortFaults, openAbsentDevice_isPortInvalidNamingComAndDevice) {
  useDevice("/nonexistent/ttyUSB7");
  const Fault f = faultOf([&] { port.setPortOpen(true); });
  EXPECT_EQ(f.number(), fault::kPortInvalid);
  EXPECT_EQ(f.description(),
            "COM5 (/nonexistent/ttyUSB7) does not exist. Connect the adapter or set TORVANE_COM5 to its device. "
            "No serial port is present.");
  EXPECT_EQ(f.source(), "mscCom");
  EXPECT_FALSE(port.portOpen());
}

TEST_F(QtSerialPortFaults, openFileThatIsNoTerminal_isPortInvalidAndLeavesPortClosed) {
  TempDir dir;
  useDevice(dir.file("plain", 0644));
  const Fault f = faultOf([&] { port.setPortOpen(true); });
  EXPECT_EQ(f.number(), fault::kPortInvalid);
  EXPECT_TRUE(contains(f.description(), "is not a serial port")) << f.description();
  EXPECT_FALSE(port.portOpen());
  useDevice(pty.slavePath());
  port.setPortOpen(true);  // a failed open leaves nothing behind
  EXPECT_TRUE(port.portOpen());
}

TEST_F(QtSerialPortFaults, configureStepFailingAtOpen_leavesPortClosed) {
  // Valid text, but a pseudo-terminal cannot do 7 bits with even parity:
  // the device opens, the configuration fails, and the port is closed again.
  port.setSettings("38400,E,7,2");
  const Fault f = faultOf([&] { port.setPortOpen(true); });
  EXPECT_EQ(f.number(), fault::kPortIo);
  EXPECT_TRUE(contains(f.description(), "\"38400,E,7,2\"")) << f.description();
  EXPECT_FALSE(port.portOpen());
  port.setSettings("38400,N,8,1");
  port.setPortOpen(true);  // nothing was left locked or half open
  EXPECT_TRUE(port.portOpen());
}

TEST_F(QtSerialPortFaults, invalidPortNumber_isPortInvalidAndKeepsNumber) {
  for (int n : {0, 10, -1, 99}) {
    const Fault f = faultOf([&] { port.setCommPort(n); });
    EXPECT_EQ(f.number(), fault::kPortInvalid) << n;
    EXPECT_TRUE(contains(f.description(), "COM" + std::to_string(n) + " is not a valid port number"))
        << f.description();
    EXPECT_EQ(port.commPort(), 5);
  }
}

TEST_F(QtSerialPortFaults, selectOrOpenWhileOpen_isAlreadyOpen) {
  port.setPortOpen(true);
  const Fault select = faultOf([&] { port.setCommPort(3); });
  EXPECT_EQ(select.number(), fault::kPortAlreadyOpen);
  EXPECT_EQ(port.commPort(), 5);
  const Fault reopen = faultOf([&] { port.setPortOpen(true); });
  EXPECT_EQ(reopen.number(), fault::kPortAlreadyOpen);
  EXPECT_TRUE(port.portOpen());  // the open port is untouched
  port.setPortOpen(false);
  port.setCommPort(3);  // allowed once closed
  EXPECT_EQ(port.commPort(), 3);
}

TEST_F(QtSerialPortFaults, ioWhileClosed_isPortNotOpen) {
  const std::pair<const char*, std::function<void()>> rows[] = {
      {"output", [&] { port.output("A"); }},
      {"input", [&] { port.input(); }},
      {"outBufferCount", [&] { port.outBufferCount(); }},
      {"clearOutBuffer", [&] { port.clearOutBuffer(); }},
  };
  for (const auto& [name, action] : rows) {
    const Fault f = faultOf(action);
    EXPECT_EQ(f.number(), fault::kPortNotOpen) << name;
    EXPECT_TRUE(contains(f.description(), "COM5 is not open")) << f.description();
    EXPECT_EQ(f.source(), "mscCom");
  }
}

TEST_F(QtSerialPortFaults, invalidSettings_isInvalidArgumentAndChangesNothing) {
  const Fault closed = faultOf([&] { port.setSettings("4800,N,9,1"); });
  EXPECT_EQ(closed.number(), fault::kInvalidArgument);
  EXPECT_EQ(port.settings(), "4800,N,8,1");

  port.setPortOpen(true);
  const Fault open = faultOf([&] { port.setSettings("fast"); });
  EXPECT_EQ(open.number(), fault::kInvalidArgument);
  EXPECT_TRUE(port.portOpen());
  EXPECT_EQ(port.settings(), "4800,N,8,1");
}

TEST_F(QtSerialPortFaults, negativeSizes_areInvalidArguments) {
  const std::function<void()> rows[] = {[&] { port.setInBufferSize(-1); }, [&] { port.setOutBufferSize(-512); },
                                        [&] { port.setInputLen(-4); }};
  for (const auto& action : rows) EXPECT_EQ(faultOf(action).number(), fault::kInvalidArgument);
}

TEST_F(QtSerialPortFaults, deviceHeldByAnotherPort_isInUseByThisProgram) {
  port.setPortOpen(true);
  QtSerialPort other;
  other.setCommPort(5);
  const Fault f = faultOf([&] { other.setPortOpen(true); });
  EXPECT_EQ(f.number(), fault::kPortAlreadyOpen);
  EXPECT_TRUE(contains(f.description(), "COM5 (" + pty.slavePath() + ") is in use by this program (process " +
                                            std::to_string(::getpid()) + ")"))
      << f.description();
  EXPECT_FALSE(other.portOpen());
  port.output("ok");  // the holder is not disturbed
  EXPECT_EQ(pty.readMaster(2, 1000), "ok");
}

// Opens COM5 with the current environment and returns the number and text
// of the fault ("" when the open succeeded).
std::pair<int32_t, std::string> openResult() {
  QtSerialPort port;
  port.setCommPort(5);
  try {
    port.setPortOpen(true);
  } catch (const Fault& f) {
    return {f.number(), f.description()};
  }
  return {0, ""};
}

TEST_F(QtSerialPortFaults, deviceWithoutAccess_isPermissionFaultNamingCause) {
  TempDir dir;
  useDevice(dir.file("locked", 0000));
  std::pair<int32_t, std::string> result;
  if (::geteuid() != 0) {
    result = openResult();
  } else {
    // root opens any file: try it as the unprivileged user "nobody" instead.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      std::string report;
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
        report = "skip";
      } else {
        const auto [number, text] = openResult();
        report = std::to_string(number) + "\n" + text;
      }
      [[maybe_unused]] const ssize_t n = ::write(fds[1], report.data(), report.size());
      ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_NE(report, "skip") << "running as root and cannot switch to the user nobody, so a permission "
                                 "refusal cannot be produced here";
    const auto newline = report.find('\n');
    ASSERT_NE(newline, std::string::npos) << report;
    result = {std::stoi(report.substr(0, newline)), report.substr(newline + 1)};
  }
  EXPECT_EQ(result.first, fault::kPortPermission) << result.second;
  EXPECT_TRUE(contains(result.second, "COM5 (" + dir.path() + "/locked) was denied (Permission denied)"))
      << result.second;
  EXPECT_TRUE(contains(result.second, "mode 0000) does not let a group")) << result.second;
}

TEST_F(QtSerialPortFaults, holderLookup_findsAnotherProcessByNameAndId) {
  testing::HoldingProcess holder(pty.slavePath(), "ModemManager", false);  // a known prober's name
  ASSERT_TRUE(holder.holding());
  const long child = holder.pid();
  const auto holds = [&](long pid, bool self) {
    const std::vector<PortHolder> holders = systemPortHost().holders(pty.slavePath(), {});
    return std::any_of(holders.begin(), holders.end(), [&](const PortHolder& h) {
      return h.pid == pid && h.self == self && h.certain && (self || h.name == "ModemManager");
    });
  };
  EXPECT_TRUE(holds(child, false));
  EXPECT_TRUE(holds(::getpid(), true));  // the fixture's own descriptor of the slave side
  holder.release();
  EXPECT_FALSE(holds(child, false));
}

// ---- the device going away while open ---------------------------------------

TEST_F(QtSerialPortFaults, farEndGoneBeforeRead_isVanishedThenClosed) {
  port.setPortOpen(true);
  pty.closeMaster();
  const Fault f = faultOf([&] { port.input(); });
  EXPECT_EQ(f.number(), fault::kPortVanished);
  EXPECT_TRUE(contains(f.description(), "The serial device behind COM5 (" + pty.slavePath() + ") went away"))
      << f.description();
  EXPECT_FALSE(port.portOpen());
  port.setPortOpen(false);  // closing afterwards is harmless
  EXPECT_EQ(faultOf([&] { port.input(); }).number(), fault::kPortNotOpen);
}

TEST_F(QtSerialPortFaults, farEndGoneBeforeSend_isVanished) {
  port.setPortOpen(true);
  pty.closeMaster();
  EXPECT_EQ(faultOf([&] { port.output("A"); }).number(), fault::kPortVanished);
  EXPECT_FALSE(port.portOpen());
}

TEST_F(QtSerialPortFaults, farEndGoneDuringEventLoop_reportsClosedAndNextCallFaults) {
  port.setPortOpen(true);
  port.output(ByteString(64 * 1024, 'x'));  // keep Qt's write notifier busy too
  pty.closeMaster();
  runEventLoop(30);
  EXPECT_FALSE(port.portOpen());
  EXPECT_EQ(faultOf([&] { port.outBufferCount(); }).number(), fault::kPortVanished);
  EXPECT_EQ(faultOf([&] { port.clearOutBuffer(); }).number(), fault::kPortNotOpen);
  port.setPortOpen(false);
  EXPECT_FALSE(port.portOpen());
}

TEST_F(QtSerialPortFaults, afterVanishing_portOpensAgainOnANewDevice) {
  port.setPortOpen(true);
  pty.closeMaster();
  runEventLoop(10);
  EXPECT_FALSE(port.portOpen());

  PtyPair replugged;
  ASSERT_TRUE(replugged.ok());
  useDevice(replugged.slavePath());
  port.setCommPort(5);  // selecting is allowed: the port reads closed
  port.setPortOpen(true);
  EXPECT_TRUE(port.portOpen());
  port.output("again");
  EXPECT_EQ(replugged.readMaster(5, 1000), "again");
}

}  // namespace
}  // namespace torvane
