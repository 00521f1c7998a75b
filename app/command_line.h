// The command line of torvane-update:
//
//   torvane-update [FOLDER | LIST]   the window, with FOLDER (or the folder of
//                                    the transfer list LIST) as the working
//                                    folder; LIST also selects its source
//   torvane-update --ports           the COM map on standard output, no window
//   torvane-update --help | --version
//
// Wrong arguments are one line on standard error and exit code 2.
#pragma once

#include <QStringList>
#include <filesystem>
#include <optional>

#include "context/window_ops.h"

namespace torvane {

// What the window is started with once the arguments are applied.
struct WindowStart {
  std::optional<Source> source;         // the source of a LIST argument
  std::filesystem::path workingFolder;  // absolute
};

// True when the arguments ask for something that needs no window: --ports,
// --help or --version.
bool handledWithoutWindow(const QStringList& arguments);

// Runs such a command line (a QCoreApplication exists) and returns the exit code.
int runWithoutWindow(const QStringList& arguments);

// The window's arguments: the working folder that FOLDER or LIST names (the
// current folder without either). Returns the exit code 2 (after one line on
// standard error) for anything else.
std::optional<WindowStart> applyWindowArguments(const QStringList& arguments, int& exitCode);

}  // namespace torvane
