#include "record/record_commands.h"

#include <QFileInfo>
#include <iostream>
#include <utility>

#include "record/history.h"
#include "record/update_log.h"

namespace torvane {

namespace {

const QString kOff = QStringLiteral("off");

// The N after --history, when the next argument is one.
void takeCount(const QStringList& args, qsizetype& i, RecordOptions& o) {
  if (i + 1 >= args.size() || args[i + 1].startsWith(u'-')) return;
  bool number = false;
  const int count = args[i + 1].toInt(&number);
  if (!number || count < 1) {
    o.error = QStringLiteral("--history takes a number of records from 1 up, not \"%1\"").arg(args[i + 1]);
    return;
  }
  o.count = count;
  ++i;
}

QString programName(const QStringList& args) {
  return args.isEmpty() ? QStringLiteral("torvane-update") : QFileInfo(args[0]).completeBaseName();
}

}  // namespace

RecordOptions parseRecordOptions(const QStringList& args) {
  RecordOptions o;
  for (qsizetype i = 1; i < args.size() && o.error.isEmpty(); ++i) {
    const QString& a = args[i];
    if (a == QLatin1String("--history")) {
      o.history = true;
      takeCount(args, i, o);
    } else if (a == QLatin1String("--json")) {
      o.json = true;
    } else if (a == QLatin1String("--no-log")) {
      o.noLog = true;
    } else if (a == QLatin1String("--log")) {
      if (i + 1 >= args.size() || args[i + 1].isEmpty())
        o.error = QStringLiteral("--log needs the name of a file");
      else
        o.logFile = args[++i];
    }
  }
  if (o.error.isEmpty() && o.json && !o.history) o.error = QStringLiteral("--json goes with --history");
  return o;
}

QString logPathFor(const RecordOptions& options) {
  if (!options.logFile.isEmpty()) return options.logFile;
  const QString fromEnvironment = qEnvironmentVariable("TORVANE_LOG");
  if (!fromEnvironment.isEmpty() && fromEnvironment != kOff) return fromEnvironment;
  return defaultLogPath();
}

std::optional<int> runRecordCommands(const QStringList& args) {
  const RecordOptions o = parseRecordOptions(args);
  if (!o.error.isEmpty()) {
    std::cerr << programName(args).toStdString() << ": " << o.error.toStdString() << '\n';
    return 2;
  }
  if (!o.history) return std::nullopt;
  return printHistory(logPathFor(o), o.count, o.json, std::cout, std::cerr);
}

std::unique_ptr<UpdateRecorder> updateRecorder(const QStringList& args,
                                               std::function<PortDetails(int com)> portDetails) {
  const RecordOptions o = parseRecordOptions(args);
  if (o.noLog || (o.logFile.isEmpty() && qEnvironmentVariable("TORVANE_LOG") == kOff)) return nullptr;
  RecorderSetup setup;
  setup.logPath = logPathFor(o);
  setup.portDetails = std::move(portDetails);
  return std::make_unique<UpdateRecorder>(std::move(setup));
}

QStringList commandLine(int argc, char* argv[]) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  return args;
}

}  // namespace torvane
