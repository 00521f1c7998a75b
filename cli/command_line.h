// What every program's command line has in common, on CLI11: --help and
// --version print and exit 0; a wrong argument is one line on standard
// error, "<program>: <what is wrong> (see <program> --help)", and exit code 2,
// decided before anything needs a display, a port or a file.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace torvane::cli {

inline constexpr int kWrongArguments = 2;

// A program's command line, with --help (-h) and --version; `footer` ends
// the help (environment variables and exit codes).
class CommandLine {
 public:
  CommandLine(std::string program, std::string version, const std::string& description, const std::string& footer);

  CLI::App& app() { return app_; }
  const std::string& program() const { return program_; }

  // Parses the arguments (without the program's own name). Returns the
  // exit code when the program ends here (help, version, a wrong argument),
  // or nothing when it goes on.
  std::optional<int> parse(std::vector<std::string> arguments, std::ostream& out, std::ostream& err);
  // Ends the program with a wrong argument found after parsing: one line on `err`, exit code 2.
  int refuse(const std::string& why, std::ostream& err) const;

 private:
  std::string program_;
  std::string version_;
  CLI::App app_;
};

// The arguments of main(), without the program's name.
std::vector<std::string> arguments(int argc, char** argv);

}  // namespace torvane::cli
