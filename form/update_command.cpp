#include "form/update_command.h"

#include "check/folder_check.h"
#include "cli/command_line.h"
#include "context/sources.h"
#include "record/history.h"
#include "record/host.h"
#include "serial/com_names.h"

namespace torvane::form {

namespace {

namespace fs = std::filesystem;

const char kDescription[] = "Loads new firmware and data into a TorVane machine over an RS-232 line.";

const char kTargetHelp[] =
    "FOLDER | LIST: the working folder, which holds the transfer lists and the image files; or a transfer\n"
    "list (program.txt, all.txt or ERestore.txt): its folder becomes the working folder and its source is\n"
    "selected. Without it: the folder the program was started from.\n"
    "\n";

const char kHooksAndExitCodes[] =
    "  TORVANE_AUTOSTART, TORVANE_EXIT_AFTER_RUN, TORVANE_SOURCE, TORVANE_SCREENSHOT\n"
    "                                hooks of the tests and the demo\n"
    "\n"
    "Exit codes: 0 done (the window was closed; --check found nothing that would fail), 1 --check found\n"
    "what would make an update fail, or the log cannot be read, 2 wrong arguments.";

// The folder (and the list) a FOLDER or LIST argument names; `lists`
// decides which file names count as transfer lists.
struct Target {
  fs::path folder;
  std::string list;  // empty: a folder was named
};

std::variant<Target, std::string> target(const std::string& word, const fs::path& current, bool anyList) {
  const fs::path given = (current / pathFromText(word)).lexically_normal();
  std::error_code ec;
  if (fs::is_directory(given, ec)) return Target{given, {}};
  if (fs::is_regular_file(given, ec)) {
    const std::string name = pathText(given.filename());
    for (const SourceInfo& s : kSources) {
      if (name == s.listFile && (anyList || s.offered)) return Target{given.parent_path(), name};
    }
    return word + " is not a transfer list; give " +
           (anyList ? "program.txt, all.txt, ERestore.txt or lorebank.txt" : "program.txt, all.txt or ERestore.txt") +
           ", or the folder that holds them";
  }
  return word + " is neither a folder nor a transfer list";
}

// Checks the combination of options the parser takes one by one.
std::string combination(const UpdateCommand& c, bool ports, bool check, std::size_t targets) {
  if (int(ports) + int(check) + int(c.log.history.has_value()) > 1) return "give one of --ports, --check, --history";
  if (c.json && !check && !c.log.history) return "--json goes with --check or --history";
  if (targets > 1) return "give one folder or one transfer list, not " + std::to_string(targets) + " arguments";
  if (targets > 0 && (ports || c.log.history)) {
    return std::string(ports ? "--ports" : "--history") + " takes no folder or list";
  }
  return checkLogOptions(c.log);
}

}  // namespace

std::string environmentHelp() {
  return "Environment:\n"
         "  TORVANE_COM1 .. TORVANE_COM9  the device behind COMn (see torvane-update --ports)\n"
         "  TORVANE_LOG=FILE | off        the update log, or no record\n"
#ifdef _WIN32
         "  LOCALAPPDATA                  the update log is %LOCALAPPDATA%\\TorVane\\updates.jsonl\n";
#else
         "  XDG_STATE_HOME                the update log is $XDG_STATE_HOME/torvane-update/updates.jsonl\n"
         "                                (~/.local/state/... without it)\n";
#endif
}

std::variant<UpdateCommand, int> parseUpdateCommand(const std::vector<std::string>& arguments,
                                                    const fs::path& currentFolder, std::ostream& out,
                                                    std::ostream& err) {
  cli::CommandLine command("torvane-update", TORVANE_VERSION, kDescription,
                           kTargetHelp + environmentHelp() + kHooksAndExitCodes);
  CLI::App& app = command.app();
  UpdateCommand c;
  bool ports = false;
  bool check = false;
  std::vector<std::string> targets;
  app.add_flag("--ports", ports,
               "Print which device stands behind each of COM1 to COM9, and what the host tells of it, then exit "
               "without opening the window.");
  app.add_flag("--check", check,
               "Check the transfer lists and images of the folder (or the one list given) and SHA256SUMS, without a "
               "window or a port, then exit: 1 when an update would fail.");
  app.add_flag("--json", c.json, "With --check: the report as JSON. With --history: the records as they are stored.");
  addLogOptions(app, c.log, true);
  app.add_option("FOLDER|LIST", targets, "The working folder, or a transfer list in it (see below).");
  if (const std::optional<int> code = command.parse(arguments, out, err)) return *code;
  if (const std::string why = combination(c, ports, check, targets.size()); !why.empty())
    return command.refuse(why, err);

  c.mode = ports           ? UpdateCommand::Mode::Ports
           : check         ? UpdateCommand::Mode::Check
           : c.log.history ? UpdateCommand::Mode::History
                           : UpdateCommand::Mode::Window;
  c.workingFolder = currentFolder;
  if (targets.empty()) return c;
  const auto found = target(targets.front(), currentFolder, check);
  if (const std::string* why = std::get_if<std::string>(&found)) return command.refuse(*why, err);
  const Target& t = std::get<Target>(found);
  c.workingFolder = t.folder;
  if (!t.list.empty() && check) c.list = t.list;
  if (!t.list.empty() && !check) c.source = offeredSourceOfList(t.list);
  return c;
}

int runWithoutWindow(const UpdateCommand& command, std::ostream& out, std::ostream& err) {
  switch (command.mode) {
    case UpdateCommand::Mode::Ports:
      for (const ComAssignment& entry : comMap()) out << comListLine(entry) << '\n';
      return 0;
    case UpdateCommand::Mode::History:
      return printHistory(historyLog(command.log, processEnvironment), *command.log.history, command.json, out, err);
    case UpdateCommand::Mode::Check: {
      const check::FolderReport report = check::checkFolder(command.workingFolder, command.list);
      out << (command.json ? check::reportJson(report) : check::reportText(report));
      return report.errors() > 0 ? 1 : 0;
    }
    case UpdateCommand::Mode::Window: break;
  }
  return cli::kWrongArguments;
}

}  // namespace torvane::form
