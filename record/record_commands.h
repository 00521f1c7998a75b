// The update log's part of a front end's command line and environment:
//
//   --history [N]   print the last N records (default 20) and exit
//   --json          with --history: the records as they are stored
//   --log FILE      the log to write and read; TORVANE_LOG=FILE likewise
//   --no-log        record nothing; TORVANE_LOG=off likewise
//
// Other arguments are left to the front end.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "record/record_json.h"
#include "record/update_recorder.h"

namespace torvane {

struct RecordOptions {
  bool history = false;
  int count = 20;
  bool json = false;
  bool noLog = false;
  QString logFile;  // --log FILE
  QString error;    // why the options cannot be used; empty when they can
};

// args[0] is the program.
RecordOptions parseRecordOptions(const QStringList& args);

// The log that is read and written: --log, else TORVANE_LOG, else the default.
QString logPathFor(const RecordOptions& options);

// Carries out --history, or refuses malformed options on standard error, and
// returns the exit code; nothing when the front end goes on as usual.
std::optional<int> runRecordCommands(const QStringList& args);

// The recorder the options ask for; null when records are off.
std::unique_ptr<UpdateRecorder> updateRecorder(const QStringList& args,
                                               std::function<PortDetails(int com)> portDetails = {});

// The command line as text, before any Qt application object exists.
QStringList commandLine(int argc, char* argv[]);

}  // namespace torvane
