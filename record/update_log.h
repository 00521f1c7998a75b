// Where the update log lives and how a line gets into it.
#pragma once

#include <QByteArray>
#include <QString>

namespace torvane {

// $XDG_STATE_HOME/torvane-update/updates.jsonl (XDG_STATE_HOME unset, empty
// or relative: ~/.local/state) on Linux and other Unix systems,
// %LOCALAPPDATA%\TorVane\updates.jsonl on Windows.
QString defaultLogPath();

// Appends `line` and a line end to the file in one write and flushes it; the
// folder is made when missing. After a last line that was cut off (no line
// end), a line end goes first, so the new line stands on its own. Anything
// but a regular file is refused. Returns why it failed, or an empty text.
QString appendLine(const QString& path, const QByteArray& line);

}  // namespace torvane
