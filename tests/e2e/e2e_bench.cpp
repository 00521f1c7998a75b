#include "tests/e2e/e2e_bench.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/frmdl.h"
#include "app/qt_window_ops.h"
#include "check/folder_check.h"
#include "context/form_context.h"
#include "record/sha256.h"
#include "serial/qt_serial_port.h"
#include "tests/e2e/fast_clock.h"

namespace torvane::e2e {

namespace fs = std::filesystem;

bool Outcome::sawStatus(const std::string& text) const {
  for (const std::string& s : statuses) {
    if (s == text) return true;
  }
  return false;
}

int Outcome::findStatus(const std::string& part, int from) const {
  for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < statuses.size(); ++i) {
    if (statuses[i].find(part) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

std::string patternBytes(std::size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed * 2654435761u + 0x9E3779B9u;
  for (std::size_t i = 0; i < size; ++i) {
    x ^= x << 13;  // xorshift32
    x ^= x >> 17;
    x ^= x << 5;
    bytes[i] = static_cast<char>(x >> 24);
  }
  return bytes;
}

std::string sha256Of(const std::string& bytes) { return sha256Hex(bytes); }

namespace {

// Qt's painting starts and retires helper threads on its own schedule (its
// image thread pool), and every such thread holds an eventfd for its event
// dispatcher. Those come and go between any two looks at /proc/self/fd, so
// they are not counted: the product itself opens no eventfd.
bool isPaintHelperDescriptor(const fs::path& target) { return target.string() == "anon_inode:[eventfd]"; }

}  // namespace

std::vector<std::string> openFdList() {
  std::vector<std::string> list;
  const fs::path ownListing = "/proc/" + std::to_string(::getpid()) + "/fd";  // the iterator's descriptor
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
    std::error_code linkError;
    const fs::path target = fs::read_symlink(entry.path(), linkError);
    if (target == ownListing || isPaintHelperDescriptor(target)) continue;
    list.push_back(entry.path().filename().string() + " -> " + (linkError ? "?" : target.string()));
  }
  std::sort(list.begin(), list.end());
  return list;
}

int openFdCount() { return static_cast<int>(openFdList().size()); }

std::string fdDifference(const std::vector<std::string>& before, const std::vector<std::string>& after) {
  std::string text;
  for (const std::string& fd : after) {
    if (std::find(before.begin(), before.end(), fd) == before.end()) text += "\n  opened: " + fd;
  }
  for (const std::string& fd : before) {
    if (std::find(after.begin(), after.end(), fd) == after.end()) text += "\n  closed: " + fd;
  }
  return text;
}

// The product as the program wires it (app/main.cpp), with the recording
// decorator between the procedures and the window's own operations. The
// procedures are wrapped to learn the context the window runs them on.
struct E2eBench::Product {
  Product(double speedup, const std::string& folder)
      : clock(speedup), window(port, clock, folder, [this, speedup](WindowOps& own) -> WindowOps& {
          return ops.emplace(own, speedup);
        }) {
    window.controller().messageBoxHook = [this](const std::string& text) { boxes.push_back(text); };
    window.setImageCheck(check::verifyAgainstSums);
    for (auto* procedure : {&window.controller().startProcedure, &window.controller().scanProcedure}) {
      *procedure = [this, run = *procedure](FormContext& c) {
        ctx = &c;
        run(c);
      };
    }
  }
  ~Product() {
    if (port.portOpen()) port.setPortOpen(false);
  }
  QtSerialPort port;
  FastClock clock;
  std::optional<RecordingWindowOps> ops;  // made by the window, over its own operations
  Frmdl window;
  FormContext* ctx = nullptr;  // of the procedure in progress or last run
  std::vector<std::string> boxes;
};

E2eBench::E2eBench(double speedup) : speedup_(speedup) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/torvane-e2e-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    error_ = "cannot make a temporary directory";
    return;
  }
  dir_ = pattern;
  fs::create_directory(dir_ + "/sim");
  for (int n = 1; n <= 9; ++n) {
    const std::string name = "TORVANE_COM" + std::to_string(n);
    const char* old = std::getenv(name.c_str());
    savedEnv_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    mapAbsent(n);
  }
}

E2eBench::~E2eBench() {
  product_.reset();
  sim_.stop();
  for (int fd : silentMasters_) ::close(fd);
  for (const auto& [name, value] : savedEnv_) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  const char* keep = std::getenv("TORVANE_E2E_KEEP");
  std::error_code ec;
  if (!dir_.empty() && !(keep && std::string(keep) == "1")) fs::remove_all(dir_, ec);
}

void E2eBench::writeFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(dir_ + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) error_ = "cannot write " + name;
}

bool E2eBench::startSim(int com, const std::vector<std::string>& args) {
  if (!sim_.start(args, dir_ + "/sim")) {
    error_ = sim_.error();
    return false;
  }
  ::setenv(("TORVANE_COM" + std::to_string(com)).c_str(), sim_.slavePath().c_str(), 1);
  return true;
}

bool E2eBench::mapSilent(int com) {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    error_ = "openpty failed";
    return false;
  }
  ::close(slave);  // the path stays valid while the master is open
  ::fcntl(master, F_SETFD, FD_CLOEXEC);
  silentMasters_.push_back(master);
  ::setenv(("TORVANE_COM" + std::to_string(com)).c_str(), name, 1);
  return true;
}

void E2eBench::mapAbsent(int com) {
  ::setenv(("TORVANE_COM" + std::to_string(com)).c_str(), (dir_ + "/absent-com" + std::to_string(com)).c_str(), 1);
}

std::string E2eBench::deviceOf(int com) const {
  const char* value = std::getenv(("TORVANE_COM" + std::to_string(com)).c_str());
  return value ? value : "";
}

E2eBench::Product& E2eBench::product() {
  if (!product_) product_ = std::make_unique<Product>(speedup_, dir_);
  return *product_;
}

Frmdl& E2eBench::window() { return product().window; }
QtSerialPort& E2eBench::port() { return product().port; }
RecordingWindowOps& E2eBench::ops() { return *product().ops; }

// Runs one operator action on the window and gathers what a test checks.
template <typename F>
Outcome E2eBench::observe(F&& action) {
  Product& p = product();
  p.ops->clearStatuses();
  p.boxes.clear();
  Outcome o;
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    o.watchdogFired = true;
    if (p.ctx) p.ctx->state.closing = true;  // the procedure ends at its next wait
  });
  QElapsedTimer took;
  o.fdListBefore = openFdList();
  o.fdsBefore = openFdCount();
  took.start();
  watchdog.start(static_cast<int>(watchdogSeconds_ * 1000));
  action(p);
  watchdog.stop();
  o.realSeconds = static_cast<double>(took.elapsed()) / 1000.0;
  if (p.ctx) p.ctx->state.closing = false;
  o.fdsAfter = openFdCount();
  o.fdListAfter = openFdList();
  o.finalStatus = p.ops->status();
  o.statuses = p.ops->statuses();
  o.boxes = p.boxes;
  o.timeLine = p.ops->timeLine();
  o.portClosed = !p.port.portOpen();
  o.defaultPointer = QApplication::overrideCursor() == nullptr;
  for (int n = 1; n <= 9; ++n) {
    if (p.window.portOptionChecked(n)) o.selectedPort = n;
  }
  o.commPort = p.port.commPort();
  return o;
}

Outcome E2eBench::runUpdate(Source source, int com) {
  Product& p = product();
  if (!p.window.isVisible()) {
    p.window.show();
    QCoreApplication::processEvents();
  }
  p.window.selectSource(source);
  p.window.checkPortOption(com);  // 0 leaves the port options as they are
  return observe([](Product& q) { q.window.onStartClicked(); });
}

Outcome E2eBench::formLoad() {
  return observe([](Product& q) { q.window.onLoad(); });
}

Outcome E2eBench::configurePort() {
  return observe([](Product& q) { q.window.onConfigureClicked(); });
}

}  // namespace torvane::e2e
