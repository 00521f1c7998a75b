#include "tests/e2e/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

extern char** environ;

namespace torvane::e2e {

namespace fs = std::filesystem;

namespace {

using Steady = std::chrono::steady_clock;

int msLeft(Steady::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Steady::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool hasFirstLine(const std::string& out) { return out.find('\n') != std::string::npos; }
bool never(const std::string&) { return false; }

// The simulator writes each byte of a string that is not printable ASCII as
// \u00XX, so a character below 256 is that byte; any other character (which
// it does not write) comes back as UTF-8.
std::string bytesOf(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (qsizetype i = 0; i < text.size();) {
    qsizetype wide = i;
    while (wide < text.size() && text[wide].unicode() >= 0x100) ++wide;
    if (wide > i) {
      out += text.sliced(i, wide - i).toUtf8().toStdString();
      i = wide;
    } else {
      out += static_cast<char>(text[i++].unicode());
    }
  }
  return out;
}
// Not a string: empty.
std::string bytesOf(const QJsonValue& value) { return bytesOf(value.toString()); }

}  // namespace

int SimReport::verdictCount(const std::string& name) const {
  const auto it = verdicts.find(name);
  return it == verdicts.end() ? 0 : it->second;
}

SimReport parseSimReport(const std::string& json) {
  SimReport r;
  r.json = json;
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
  if (error.error != QJsonParseError::NoError) {
    r.parseError = error.errorString().toStdString() + " at offset " + std::to_string(error.offset);
    return r;
  }
  if (!doc.isObject()) {
    r.parseError = "the report is not a JSON object";
    return r;
  }
  const QJsonObject d = doc.object();
  r.parsed = true;
  r.result = bytesOf(d["result"]);
  r.endFrame = d["end_frame"].toBool();
  r.hungUp = d["hung_up"].toBool();
  r.unplugs = static_cast<int>(d["unplugged"].toInteger());
  r.sessions = static_cast<int>(d["sessions"].toInteger());
  r.model = bytesOf(d["model"]);
  r.exitReason = bytesOf(d["exit_reason"]);
  for (const QJsonValue& item : d["images"].toArray()) {
    const QJsonObject i = item.toObject();
    SimImage image;
    image.index = static_cast<int>(i["index"].toInteger());
    image.session = static_cast<int>(i["session"].toInteger());
    image.memoryType = static_cast<int>(i["memory_type"].toInteger());
    image.address = static_cast<uint32_t>(i["address"].toInteger());
    image.size = static_cast<std::size_t>(i["size"].toInteger());
    image.received = static_cast<std::size_t>(i["received"].toInteger());
    image.complete = i["complete"].toBool();
    image.sha256 = bytesOf(i["sha256"]);
    r.images.push_back(image);
  }
  for (const QJsonValue& item : d["frames"].toArray()) {
    const QJsonObject f = item.toObject();
    SimFrame frame;
    frame.session = static_cast<int>(f["session"].toInteger());
    frame.number = static_cast<int>(f["number"].toInteger());
    frame.attempt = static_cast<int>(f["attempt"].toInteger());
    frame.kind = bytesOf(f["kind"]);
    frame.length = static_cast<std::size_t>(f["length"].toInteger());
    frame.crcOk = f["crc_ok"].toBool();
    frame.verdict = bytesOf(f["verdict"]);
    r.frames.push_back(frame);
  }
  for (const QJsonValue& e : d["errors"].toArray()) r.errors.push_back(bytesOf(e));
  const QJsonObject verdicts = d["verdicts"].toObject();
  for (auto it = verdicts.begin(); it != verdicts.end(); ++it) {
    r.verdicts[bytesOf(it.key())] = static_cast<int>(it.value().toInteger());
  }
  return r;
}

SimProcess::~SimProcess() { stop(); }

bool SimProcess::start(const std::vector<std::string>& args, const std::string& dir, int startMs,
                       const std::string& binary) {
  const std::string program = binary.empty() ? std::string(TORVANE_BIN_DIR) + "/torvane-sim" : binary;
  reportPath_ = dir + "/report.json";
  imagesDir_ = dir + "/received";
  std::vector<std::string> all = args;
  all.insert(all.end(), {"--report", reportPath_, "--save-images", imagesDir_});
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    pid_ = -1;
    error_ = "cannot start " + program + ": " + std::strerror(rc);
    return false;
  }
  out_ = pipeFds[0];
  stopped_ = false;
  readOutputUntil(hasFirstLine, startMs);
  const auto eol = output_.find('\n');
  if (eol == std::string::npos || eol == 0) {
    error_ = program + " printed no terminal path within " + std::to_string(startMs) + " ms: " + output_;
    stop();
    return false;
  }
  slavePath_ = output_.substr(0, eol);
  return true;
}

// Appends the simulator's output until done(output) or EOF or ms pass.
std::string SimProcess::readOutputUntil(bool (*done)(const std::string&), int ms) {
  const auto end = Steady::now() + std::chrono::milliseconds(ms);
  char buffer[4096];
  while (out_ >= 0 && !done(output_)) {
    pollfd p{out_, POLLIN, 0};
    const int ready = ::poll(&p, 1, msLeft(end));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;  // deadline
    const ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {  // EOF: the simulator has gone
      ::close(out_);
      out_ = -1;
      break;
    }
    output_.append(buffer, static_cast<std::size_t>(n));
  }
  return output_;
}

void SimProcess::reap(int ms) {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  readOutputUntil(never, ms);  // until EOF: the simulator has written its report and exited
  if (out_ >= 0) {             // still running after ms: make sure it goes
    ::kill(pid_, SIGKILL);
    ::close(out_);
    out_ = -1;
  }
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

SimReport SimProcess::stop(int stopMs) {
  if (stopped_) return report_;
  const bool started = pid_ > 0;
  reap(stopMs);
  stopped_ = true;
  if (!started) return report_;
  std::string lines = output_;
  while (!lines.empty() && lines.back() == '\n') lines.pop_back();
  const auto lastEol = lines.rfind('\n');
  const std::string summary = lastEol == std::string::npos ? "" : lines.substr(lastEol + 1);
  const std::string json = readWholeFile(reportPath_);
  report_ = json.empty() ? SimReport{} : parseSimReport(json);
  if (json.empty()) report_.parseError = "no report at " + reportPath_;
  report_.summaryLine = summary;
  return report_;
}

std::string SimProcess::savedImage(int index) const {
  std::error_code ec;
  const std::string prefix = std::to_string(index) + "-type";
  for (const auto& entry : fs::directory_iterator(imagesDir_, ec)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) return readWholeFile(entry.path().string());
  }
  return {};
}

int SimProcess::savedImageCount() const {
  std::error_code ec;
  int count = 0;
  for (const auto& entry : fs::directory_iterator(imagesDir_, ec)) {
    if (entry.is_regular_file()) ++count;
  }
  return count;
}

}  // namespace torvane::e2e
