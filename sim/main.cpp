// torvane-sim: the simulated machine on a pseudo-terminal. See --help.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>

#include "sim/machine.h"

namespace {

int stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
}

bool installSignals() {
  if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  std::signal(SIGPIPE, SIG_IGN);
  return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

void saveImages(const std::string& dir, const torvane::sim::ImageRebuilder& images) {
  ::mkdir(dir.c_str(), 0777);
  std::size_t index = 0;
  for (const auto& image : images.images()) {
    char name[96];
    std::snprintf(name, sizeof name, "/%zu-type%u-addr0x%08X.bin", ++index, unsigned{image.memoryType}, image.address);
    std::ofstream out(dir + name, std::ios::binary);
    out.write(image.bytes.data(), static_cast<std::streamsize>(image.bytes.size()));
    if (!out) std::cerr << "torvane-sim: cannot write " << dir << name << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace torvane::sim;
  const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.help) {
    std::cout << helpText();
    return 0;
  }
  if (parsed.version) {
    std::cout << "torvane-sim " << TORVANE_VERSION << '\n';
    return 0;
  }
  if (!parsed.error.empty()) {
    std::cerr << "torvane-sim: " << parsed.error << " (see torvane-sim --help)\n";
    return 2;
  }
  if (!installSignals()) {
    std::cerr << "torvane-sim: cannot install signal handlers\n";
    return 2;
  }
  PtyLine line;
  std::string error;
  if (!line.open(error)) {
    std::cerr << "torvane-sim: " << error << "\n";
    return 2;
  }
  std::cout << line.slavePath() << std::endl;

  Machine machine(parsed.options, line);
  machine.run(stopPipe[0]);
  line.hangUp();

  const Outcome outcome = summarize(machine.report(), machine.images());
  if (!parsed.options.reportPath.empty()) {
    std::ofstream out(parsed.options.reportPath);
    try {
      writeJson(out, machine.report(), machine.images(), outcome);
    } catch (const std::exception& e) {  // the digest failing in libcrypto
      std::cerr << "torvane-sim: " << e.what() << "\n";
      out.setstate(std::ios::failbit);
    }
    if (!out) std::cerr << "torvane-sim: cannot write the report to " << parsed.options.reportPath << "\n";
  }
  if (!parsed.options.saveImagesDir.empty()) saveImages(parsed.options.saveImagesDir, machine.images());
  std::cout << outcome.summary << std::endl;
  return 0;
}
