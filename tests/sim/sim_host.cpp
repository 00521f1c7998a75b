#include "sim_host.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace torvane::sim::testing {
namespace {

int64_t msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

SimHost::SimHost(const std::vector<std::string>& args) {
  char pattern[] = "/tmp/torvane-sim-test-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return;
  tempDir_ = pattern;
  reportPath_ = tempDir_ + "/report.json";
  std::vector<std::string> all = {TORVANE_BIN_DIR "/torvane-sim"};
  all.insert(all.end(), args.begin(), args.end());
  all.push_back("--report");
  all.push_back(reportPath_);
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(pipeFds[1], 1);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  out_ = pipeFds[0];
  // First line: the slave path.
  char c;
  pollfd p{out_, POLLIN, 0};
  while (::poll(&p, 1, 2000) > 0 && ::read(out_, &c, 1) == 1 && c != '\n') slavePath_ += c;
  if (slavePath_.empty()) return;
  reopenLine();
}

SimHost::~SimHost() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  closeLine();
  if (out_ >= 0) ::close(out_);
  if (!tempDir_.empty()) std::filesystem::remove_all(tempDir_);
}

void SimHost::reopenLine() {
  closeLine();
  fd_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ >= 0) setSpeed(speed_);
}

void SimHost::closeLine() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void SimHost::setSpeed(speed_t speed) {
  speed_ = speed;
  termios tio{};
  if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) return;
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  ::tcsetattr(fd_, TCSANOW, &tio);
}

void SimHost::clearLocalFlags() {
  termios tio{};
  if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) return;
  tio.c_lflag = 0;
  ::tcsetattr(fd_, TCSANOW, &tio);
}

void SimHost::send(const ByteString& bytes) {
  std::size_t done = 0;
  while (fd_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else {
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) return;
    }
  }
}

ByteString SimHost::readWhile(const std::function<bool(const ByteString&)>& more, int ms) {
  ByteString got;
  const auto start = std::chrono::steady_clock::now();
  while (fd_ >= 0 && more(got)) {
    const int64_t left = ms - msSince(start);
    if (left <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[1024];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      got.append(buffer, static_cast<std::size_t>(n));
    } else if (p.revents & (POLLHUP | POLLERR)) {
      hungUp_ = true;
      break;
    }
  }
  return got;
}

ByteString SimHost::readUntil(const ByteString& needle, int ms) {
  return readWhile([&](const ByteString& got) { return got.find(needle) == ByteString::npos; }, ms);
}

ByteString SimHost::readFor(int ms) {
  return readWhile([](const ByteString&) { return true; }, ms);
}

ByteString SimHost::readCount(std::size_t count, int ms) {
  return readWhile([count](const ByteString& got) { return got.size() < count; }, ms);
}

ByteString SimHost::handshake(const ByteString& readyReply) {
  setSpeed(B4800);
  send("s\r");
  ByteString got = readUntil(readyReply, 1000);
  send("A");
  ::tcdrain(fd_);
  // The simulator must read "A" while the line is still at 4800: without
  // speed notifications it cannot tell when the speed changed, so an "A" it
  // reads late counts as a byte at 38400. A loaded machine (the sanitizer
  // pass) can keep it from running for several milliseconds.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  setSpeed(B38400);
  got += readUntil("\x02", 1000);
  return got;
}

std::string SimHost::readStdoutRest() {
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(out_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string SimHost::stop() {
  if (pid_ <= 0) return "";
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
  return readStdoutRest();
}

std::string SimHost::waitExit(int ms) {
  const auto start = std::chrono::steady_clock::now();
  while (pid_ > 0 && msSince(start) < ms) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return readStdoutRest();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

std::string SimHost::report() const {
  std::ifstream in(reportPath_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

nlohmann::json SimHost::reportJson() const { return nlohmann::json::parse(report(), nullptr, false); }

bool hasEntry(const nlohmann::json& list, const nlohmann::json& fields) {
  for (const nlohmann::json& entry : list) {
    bool all = entry.is_object();
    for (const auto& [key, value] : fields.items()) all = all && entry.contains(key) && entry[key] == value;
    if (all) return true;
  }
  return false;
}

nlohmann::json frameOf(const nlohmann::json& report, int number, int attempt) {
  for (const nlohmann::json& frame : report.at("frames")) {
    if (frame.at("number") == number && frame.at("attempt") == attempt) return frame;
  }
  return nullptr;
}

std::size_t countOf(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
  return count;
}

}  // namespace torvane::sim::testing
