#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <array>
#include <iostream>

#include "context/sources.h"
#include "serial/com_names.h"

namespace torvane {

namespace {

constexpr int kWrongArguments = 2;

struct Parser {
  QCommandLineParser parser;
  QCommandLineOption ports{QStringLiteral("ports"),
                           QStringLiteral("Print which device stands behind each of COM1 to COM9, and what the "
                                          "host tells of it, then exit without opening the window.")};
  // Read by the update log (record/log_options.h); listed for --help.
  QCommandLineOption history{QStringLiteral("history"),
                             QStringLiteral("Print the last N update runs of the log (N after the option, default "
                                            "20) as a table, then exit.")};
  QCommandLineOption json{QStringLiteral("json"), QStringLiteral("With --history: the records as they are stored.")};
  QCommandLineOption log{QStringLiteral("log"),
                         QStringLiteral("The update log to write and read (also TORVANE_LOG=FILE)."),
                         QStringLiteral("FILE")};
  QCommandLineOption noLog{QStringLiteral("no-log"),
                           QStringLiteral("Keep no record of the update runs (also TORVANE_LOG=off).")};
  QCommandLineOption help = parser.addHelpOption();
  QCommandLineOption version = parser.addVersionOption();

  Parser() {
    parser.setApplicationDescription(
        QStringLiteral("Loads new firmware and data into a TorVane machine over an RS-232 line."));
    parser.addOptions({ports, history, json, log, noLog});
    parser.addPositionalArgument(QStringLiteral("FOLDER|LIST"),
                                 QStringLiteral("The working folder, which holds the transfer lists and the image "
                                                "files; or a transfer list (program.txt, all.txt or ERestore.txt): "
                                                "its folder becomes the working folder and its source is "
                                                "selected. Without it: the folder the program was started from."),
                                 QStringLiteral("[FOLDER | LIST]"));
  }
  bool parse(const QStringList& arguments) { return parser.parse(arguments); }
};

int refuse(const QString& why) {
  std::cerr << "torvane-update: " << why.toStdString() << " (see torvane-update --help)\n";
  return kWrongArguments;
}

int printPorts() {
  for (const ComAssignment& entry : comMap()) std::cout << comListLine(entry) << '\n';
  return 0;
}

std::optional<Source> listSource(const QFileInfo& file) { return offeredSourceOfList(file.fileName().toStdString()); }

}  // namespace

// Looked for in the raw arguments: the window's own toolkit options (such as
// -platform) are known only once the application object has taken them.
bool handledWithoutWindow(const QStringList& arguments) {
  for (const QString& word : arguments.mid(1)) {
    for (const char* option : {"--ports", "--help", "-h", "--help-all", "--version", "-v"}) {
      if (word == QLatin1String(option)) return true;
    }
  }
  return false;
}

int runWithoutWindow(const QStringList& arguments) {
  Parser p;
  if (!p.parse(arguments)) return refuse(p.parser.errorText());
  if (p.parser.isSet(p.help)) {
    std::cout << p.parser.helpText().toStdString();
    return 0;
  }
  if (p.parser.isSet(p.version)) {
    std::cout << "torvane-update " << QCoreApplication::applicationVersion().toStdString() << '\n';
    return 0;
  }
  if (!p.parser.positionalArguments().isEmpty()) return refuse(QStringLiteral("--ports takes no folder or list"));
  return printPorts();
}

std::optional<WindowStart> applyWindowArguments(const QStringList& arguments, int& exitCode) {
  Parser p;
  exitCode = 0;
  if (!p.parse(arguments)) {
    exitCode = refuse(p.parser.errorText());
    return std::nullopt;
  }
  const QStringList given = p.parser.positionalArguments();
  if (given.size() > 1) {
    exitCode = refuse(QStringLiteral("give one folder or one transfer list, not %1 arguments").arg(given.size()));
    return std::nullopt;
  }
  if (given.isEmpty()) return WindowStart{std::nullopt, std::filesystem::current_path()};
  const QFileInfo target(given.first());
  WindowStart start;
  QString folder = target.absoluteFilePath();
  if (target.isFile()) {
    start.source = listSource(target);
    if (!start.source) {
      exitCode = refuse(QStringLiteral("%1 is not a transfer list; give program.txt, all.txt or ERestore.txt, "
                                       "or the folder that holds them")
                            .arg(given.first()));
      return std::nullopt;
    }
    folder = target.absolutePath();
  } else if (!target.isDir()) {
    exitCode = refuse(QStringLiteral("%1 is neither a folder nor a transfer list").arg(given.first()));
    return std::nullopt;
  }
  start.workingFolder = std::filesystem::path(folder.toStdString());
  return start;
}

}  // namespace torvane
