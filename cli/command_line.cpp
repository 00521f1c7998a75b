#include "cli/command_line.h"

#include <algorithm>
#include <utility>

namespace torvane::cli {

CommandLine::CommandLine(std::string program, std::string version, const std::string& description,
                         const std::string& footer)
    : program_(std::move(program)), version_(std::move(version)), app_(description, program_) {
  app_.set_version_flag("--version", program_ + " " + version_, "Print the version and exit.");
  app_.footer(footer);
  app_.allow_windows_style_options(false);
}

std::optional<int> CommandLine::parse(std::vector<std::string> arguments, std::ostream& out, std::ostream& err) {
  std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
  try {
    app_.parse(arguments);
  } catch (const CLI::CallForHelp&) {
    out << app_.help();
    return 0;
  } catch (const CLI::CallForVersion&) {
    out << program_ << " " << version_ << '\n';
    return 0;
  } catch (const CLI::ParseError& e) {
    return refuse(e.what(), err);
  }
  return std::nullopt;
}

int CommandLine::refuse(const std::string& why, std::ostream& err) const {
  err << program_ << ": " << why << " (see " << program_ << " --help)" << std::endl;
  return kWrongArguments;
}

std::vector<std::string> arguments(int argc, char** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
  return words;
}

}  // namespace torvane::cli
