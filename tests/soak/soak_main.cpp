// torvane-soak: many update runs with random faults of the simulated machine
// in this one process (see soak.h). bench/soak runs it.
//   torvane-soak [--runs N] [--seed S] [--fault NAME]
// Defaults: 200 runs, a seed from the time (or TORVANE_SOAK_SEED), every fault.
// --fault soaks one fault alone (none, nak-once, ..., see faultNames()).
// Prints one line per run and a summary; exit status 0 when every run ended as
// expected and no descriptor or memory was lost, 1 otherwise, 2 on bad usage.
#include <QApplication>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/frmdl.h"
#include "app/qt_clock.h"
#include "serial/qt_serial_port.h"
#include "tests/soak/soak.h"
#include "tests/soak/soak_options.h"

namespace {

int usage() {
  std::cerr << "usage: torvane-soak [--runs N] [--seed S] [--fault NAME]\n  faults:";
  for (const std::string& name : torvane::soak::faultNames()) std::cerr << ' ' << name;
  std::cerr << '\n';
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  torvane::soak::SoakOptions options;
  options.runs = 200;
  options.warmUpRuns = 20;
  options.seed = torvane::soak::seedFromEnvironment();
  options.checkRss = !torvane::soak::kAddressSanitizer;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (arg == "--runs") {
      const auto runs = torvane::soak::parseSeed(value);
      if (!runs || *runs < 1 || *runs > 100000) return usage();
      options.runs = static_cast<int>(*runs);
    } else if (arg == "--seed") {
      const auto seed = torvane::soak::parseSeed(value);
      if (!seed) return usage();
      options.seed = *seed;
    } else if (arg == "--fault") {
      const auto& names = torvane::soak::faultNames();
      if (std::find(names.begin(), names.end(), value) == names.end()) return usage();
      options.onlyFault = value;
    } else {
      return usage();
    }
  }

  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::signal(SIGPIPE, SIG_IGN);
  QApplication app(argc, argv);
  {
    torvane::QtSerialPort port;
    torvane::QtClock clock;
    torvane::Frmdl warmUp(port, clock,
                          std::filesystem::current_path());  // Qt's one-time start-up before anything is counted
    warmUp.show();
    QCoreApplication::processEvents();
  }
  std::cout << "torvane-soak: seed " << options.seed << ", " << options.runs << " runs (repeat with --seed "
            << options.seed << ")" << std::endl;
  options.log = &std::cout;
  const torvane::soak::SoakResult result = torvane::soak::runSoak(options);
  for (const auto& [fault, count] : result.runsPerFault) std::cout << "  " << fault << ": " << count << "\n";
  for (const std::string& problem : result.problems) std::cout << "PROBLEM: " << problem << "\n";
  std::cout << (result.ok() ? "torvane-soak: OK" : "torvane-soak: FAILED") << std::endl;
  return result.ok() ? 0 : 1;
}
