#include "station/station_options.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "context/serial_port.h"

namespace torvane::station {

namespace {

QCommandLineOption hidden(QCommandLineOption option) {
  option.setFlags(QCommandLineOption::HiddenFromHelp);
  return option;
}

struct Parser {
  QCommandLineParser parser;
  QCommandLineOption source{QStringLiteral("source"),
                            QStringLiteral("What to load: program (program.txt, the default), all (all.txt) or "
                                           "erestore (ERestore.txt, Emergency Restore)."),
                            QStringLiteral("SOURCE"), QStringLiteral("program")};
  QCommandLineOption folder{QStringLiteral("folder"),
                            QStringLiteral("The folder of the transfer lists and image files (default: the "
                                           "current folder)."),
                            QStringLiteral("DIR")};
  QCommandLineOption port{QStringLiteral("port"),
                          QStringLiteral("A port with a machine on it: COMn (see torvane-update --ports) or a "
                                         "device path. Repeat it for several machines; each is updated at once."),
                          QStringLiteral("P")};
  QCommandLineOption scan{QStringLiteral("scan"),
                          QStringLiteral("Listen 2 s on every present port for a machine announcing itself "
                                         "and update each one found (the default without --port).")};
  QCommandLineOption json{QStringLiteral("json"),
                          QStringLiteral("One JSON object per line (events found, status, message, progress, "
                                         "end) instead of text.")};
  QCommandLineOption quiet{QStringLiteral("quiet"), QStringLiteral("Print only the summary.")};
  QCommandLineOption log{QStringLiteral("log"), QStringLiteral("The update log to write (also TORVANE_LOG=FILE)."),
                         QStringLiteral("FILE")};
  QCommandLineOption noLog{QStringLiteral("no-log"),
                           QStringLiteral("Keep no record of the runs (also TORVANE_LOG=off).")};
  QCommandLineOption worker = hidden({QStringLiteral("worker"), {}, QStringLiteral("DEVICE")});
  QCommandLineOption workerCom = hidden({QStringLiteral("worker-com"), {}, QStringLiteral("N")});
  QCommandLineOption workerPath = hidden(QCommandLineOption(QStringLiteral("worker-path")));
  QCommandLineOption help = parser.addHelpOption();
  QCommandLineOption version = parser.addVersionOption();

  Parser() {
    parser.setApplicationDescription(
        QStringLiteral("Updates one or many TorVane machines at once from a terminal, without a window.\n"
                       "Exit codes: 0 every machine completed, 1 at least one did not, 2 wrong arguments, "
                       "3 no machine found."));
    parser.addOptions({source, folder, port, scan, json, quiet, log, noLog, worker, workerCom, workerPath});
  }
};

ParsedArguments refused(const QString& why) {
  ParsedArguments result;
  result.exitCode = kWrongArguments;
  result.error = why;
  return result;
}

// COMn through the COM map, or a device path as given.
std::optional<PortTarget> portTarget(const QString& word, const std::function<std::string(int)>& comDevice,
                                     QString& error) {
  static const QRegularExpression comName(QStringLiteral("^COM([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = comName.match(word);
  if (!match.hasMatch()) {
    if (word.isEmpty()) error = QStringLiteral("--port needs COMn or a device path");
    if (word.isEmpty()) return std::nullopt;
    return PortTarget{word, word, kFirstCom, true};
  }
  const int com = match.captured(1).toInt();
  const QString label = QStringLiteral("COM%1").arg(com);
  if (com < kFirstCom || com > kLastCom) {
    error = QStringLiteral("%1 is not a port; give COM1 to COM9 or a device path").arg(word);
    return std::nullopt;
  }
  const QString device = QString::fromStdString(comDevice(com));
  if (device.isEmpty()) {
    error = QStringLiteral("no device stands behind %1 (see torvane-update --ports)").arg(label);
    return std::nullopt;
  }
  return PortTarget{label, device, com};
}

bool takePorts(const Parser& p, const std::function<std::string(int)>& comDevice, StationOptions& o, QString& error) {
  for (const QString& word : p.parser.values(p.port)) {
    const std::optional<PortTarget> target = portTarget(word, comDevice, error);
    if (!target) return false;
    for (const PortTarget& known : o.ports) {
      if (known.device == target->device) {
        error = QStringLiteral("%1 is given twice (%2)").arg(target->label, known.device);
        return false;
      }
    }
    o.ports.push_back(*target);
  }
  return true;
}

bool takeFolder(const Parser& p, StationOptions& o, QString& error) {
  const QFileInfo folder(p.parser.isSet(p.folder) ? p.parser.value(p.folder) : QDir::currentPath());
  if (!folder.isDir()) {
    error = QStringLiteral("%1 is not a folder").arg(folder.filePath());
    return false;
  }
  o.folder = folder.absoluteFilePath();
  return true;
}

bool takeRecordOptions(const Parser& p, StationOptions& o, QString& error) {
  if (p.parser.isSet(p.log) && p.parser.isSet(p.noLog)) {
    error = QStringLiteral("give --log FILE or --no-log, not both");
    return false;
  }
  if (p.parser.isSet(p.log)) o.recordArgs = {QStringLiteral("--log"), p.parser.value(p.log)};
  if (p.parser.isSet(p.noLog)) o.recordArgs = {QStringLiteral("--no-log")};
  return true;
}

bool takeWorker(const Parser& p, StationOptions& o, QString& error) {
  if (!p.parser.isSet(p.worker)) return true;
  bool number = false;
  const int com = p.parser.value(p.workerCom).toInt(&number);
  if (!number || com < kFirstCom || com > kLastCom || p.parser.value(p.worker).isEmpty()) {
    error = QStringLiteral("--worker needs a device and --worker-com 1..9");
    return false;
  }
  o.worker = true;
  const bool byPath = p.parser.isSet(p.workerPath);
  const QString device = p.parser.value(p.worker);
  o.ports = {PortTarget{byPath ? device : QStringLiteral("COM%1").arg(com), device, com, byPath}};
  return true;
}

}  // namespace

std::optional<Source> sourceNamed(const QString& name) {
  if (name == QStringLiteral("program")) return Source::Program;
  if (name == QStringLiteral("all")) return Source::ProgramAndDsd;
  if (name == QStringLiteral("erestore")) return Source::EmergencyRestore;
  return std::nullopt;
}

ParsedArguments parseArguments(const QStringList& args, const std::function<std::string(int)>& comDevice) {
  Parser p;
  if (!p.parser.parse(args)) return refused(p.parser.errorText());
  ParsedArguments result;
  if (p.parser.isSet(p.help) || p.parser.isSet(p.version)) {
    result.output =
        p.parser.isSet(p.help) ? p.parser.helpText() : QStringLiteral("torvane-station %1\n").arg(TORVANE_VERSION);
    return result;
  }
  if (!p.parser.positionalArguments().isEmpty()) {
    return refused(QStringLiteral("unexpected argument %1").arg(p.parser.positionalArguments().first()));
  }
  StationOptions o;
  o.sourceName = p.parser.value(p.source);
  const std::optional<Source> source = sourceNamed(o.sourceName);
  if (!source)
    return refused(QStringLiteral("--source %1 is not a source; use program, all or erestore").arg(o.sourceName));
  o.source = *source;
  o.json = p.parser.isSet(p.json);
  o.quiet = p.parser.isSet(p.quiet);
  o.scan = p.parser.isSet(p.scan);
  QString error;
  if (!takeFolder(p, o, error) || !takeRecordOptions(p, o, error) || !takeWorker(p, o, error)) return refused(error);
  if (o.worker) {
    result.options = o;
    return result;
  }
  if (o.scan && p.parser.isSet(p.port)) return refused(QStringLiteral("give --port or --scan, not both"));
  if (!takePorts(p, comDevice, o, error)) return refused(error);
  o.scan = o.ports.empty();
  result.options = o;
  return result;
}

QStringList workerArguments(const StationOptions& options, const PortTarget& port, bool scanFirst) {
  QStringList args{
      QStringLiteral("--worker"), port.device,        QStringLiteral("--worker-com"), QString::number(port.com),
      QStringLiteral("--source"), options.sourceName, QStringLiteral("--folder"),     options.folder};
  if (port.byPath) args << QStringLiteral("--worker-path");
  if (scanFirst) args << QStringLiteral("--scan");
  return args + options.recordArgs;
}

}  // namespace torvane::station
