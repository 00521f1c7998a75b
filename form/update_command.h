// The command line of torvane-update, the same for every front end:
//
//   torvane-update [FOLDER | LIST] [--log FILE | --no-log]
//                                    the window, with FOLDER (or the folder of
//                                    the transfer list LIST) as the working
//                                    folder; LIST also selects its source
//   torvane-update --check [FOLDER | LIST] [--json]
//                                    the folder check, no window
//   torvane-update --ports           the COM map, no window
//   torvane-update --history [N] [--json] [--log FILE]
//   torvane-update --help | --version
//
// Every wrong argument is one line on standard error and exit code 2,
// found before anything needs a display.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "context/window_ops.h"
#include "record/log_options.h"

namespace torvane::form {

// The environment every program of the tool reads (the COM map, the update
// log), as their --help lists it.
std::string environmentHelp();

struct UpdateCommand {
  enum class Mode { Window, Check, Ports, History };
  Mode mode = Mode::Window;
  std::filesystem::path workingFolder;  // absolute: the window's and the check's folder
  std::optional<Source> source;         // the window: the source of a LIST argument
  std::optional<std::string> list;      // the check: the one list given
  bool json = false;                    // --check and --history
  LogOptions log;
};

// The command, or the exit code to end with now (after --help, --version or
// a wrong argument). `currentFolder` is where the program was started.
std::variant<UpdateCommand, int> parseUpdateCommand(const std::vector<std::string>& arguments,
                                                    const std::filesystem::path& currentFolder, std::ostream& out,
                                                    std::ostream& err);

// Carries out a command that needs no window (--check, --ports, --history)
// and returns the exit code.
int runWithoutWindow(const UpdateCommand& command, std::ostream& out, std::ostream& err);

}  // namespace torvane::form
