// Where the update log lives and how a line gets into it.
#pragma once

#include <filesystem>
#include <string>

#include "record/host.h"

namespace torvane {

// $XDG_STATE_HOME/torvane-update/updates.jsonl (XDG_STATE_HOME unset, empty
// or relative: ~/.local/state) on Linux and other Unix systems,
// %LOCALAPPDATA%\TorVane\updates.jsonl on Windows.
std::filesystem::path defaultLogPath(const EnvLookup& environment);

// Appends `line` and a line end to the log in one write; the folder is made
// when missing. After a last line that was cut off (no line end) a line end
// goes first, so that the new line stands on its own. The line goes in whole
// or not at all; anything but a regular file, and a symbolic link, is
// refused. Returns why it failed, or an empty text.
std::string appendLine(const std::filesystem::path& log, const std::string& line);

}  // namespace torvane
