#include "station/station_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>

#include "cli/command_line.h"
#include "context/serial_port.h"
#include "context/sources.h"
#include "encoding/encoders.h"
#include "form/update_command.h"
#include "record/host.h"

namespace torvane::station {

namespace {

namespace fs = std::filesystem;

const char kDescription[] = "Updates one or many TorVane machines at once from a terminal, without a window.";

const char kExitCodes[] =
    "\n"
    "Exit codes: 0 every machine completed (--check: nothing would fail), 1 at least one did not, or the\n"
    "folder check refused the update, 2 wrong arguments, 3 no machine found.";

std::string toHex(const std::string& bytes) {
  std::string text;
  for (char c : bytes) text += hexByte(static_cast<uint8_t>(c));
  return text;
}

std::string fromHex(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes += static_cast<char>(std::max(hexDigit(text[i]), 0) * 16 + std::max(hexDigit(text[i + 1]), 0));
  }
  return bytes;
}

// "COMn" in either case.
std::optional<int> comNumber(const std::string& word) {
  if (word.size() < 4 || std::toupper(static_cast<unsigned char>(word[0])) != 'C' ||
      std::toupper(static_cast<unsigned char>(word[1])) != 'O' ||
      std::toupper(static_cast<unsigned char>(word[2])) != 'M') {
    return std::nullopt;
  }
  if (word.size() > 6 || !std::all_of(word.begin() + 3, word.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stoi(word.substr(3));
}

// COMn through the COM map, or a device path as given.
std::variant<PortTarget, std::string> portTarget(const std::string& word, const PortNames& names) {
  if (word.empty()) return std::string("--port needs COMn or a device path");
  const std::optional<int> com = comNumber(word);
  if (!com) return PortTarget{QString::fromStdString(word), QString::fromStdString(word), kFirstCom, true};
  const QString label = QStringLiteral("COM%1").arg(*com);
  if (*com < kFirstCom || *com > kLastCom) return word + " is not a port; give COM1 to COM9 or a device path";
  const std::string device = names.comDevice(*com);
  if (device.empty()) return "no device stands behind " + label.toStdString() + " (see torvane-update --ports)";
  return PortTarget{label, QString::fromStdString(device), *com, false};
}

// Every port once: two names of one device (a link, a /dev/serial/by-id/
// name) would put two writers on one line.
std::string takePorts(const std::vector<std::string>& words, const PortNames& names, StationOptions& o) {
  std::vector<std::string> devices;
  for (const std::string& word : words) {
    auto target = portTarget(word, names);
    if (const std::string* why = std::get_if<std::string>(&target)) return *why;
    const PortTarget& port = std::get<PortTarget>(target);
    const std::string device = names.canonical(port.device.toStdString());
    const auto same = std::find(devices.begin(), devices.end(), device);
    if (same != devices.end()) {
      return word + " and " + o.ports[static_cast<std::size_t>(same - devices.begin())].label.toStdString() +
             " lead to one device (" + device + ")";
    }
    devices.push_back(device);
    o.ports.push_back(port);
  }
  return {};
}

}  // namespace

std::variant<StationOptions, int> parseStationOptions(const std::vector<std::string>& arguments, const PortNames& names,
                                                      const fs::path& currentFolder, std::ostream& out,
                                                      std::ostream& err) {
  cli::CommandLine command("torvane-station", TORVANE_VERSION, kDescription, form::environmentHelp() + kExitCodes);
  CLI::App& app = command.app();
  StationOptions o;
  std::string source = "program";
  std::string folder;
  std::vector<std::string> ports;
  std::string workerDevice, workerLog;
  int workerCom = 0;
  bool workerPath = false;
  app.add_option("--source", source,
                 "What to load: program (program.txt, the default), all (all.txt) or erestore (ERestore.txt, "
                 "Emergency Restore).")
      ->type_name("SOURCE");
  app.add_option("--folder", folder, "The folder of the transfer lists and image files (default: the current folder).")
      ->type_name("DIR");
  app.add_option("--port", ports,
                 "A port with a machine on it: COMn (see torvane-update --ports) or a device path. Repeat it for "
                 "several machines; each is updated at once.")
      ->type_name("P")
      ->take_last();
  app.add_flag("--scan", o.scan,
               "Listen 2 s on every present port for a machine announcing itself and update each one found (the "
               "default without --port).");
  app.add_flag("--check", o.check,
               "Check the folder (its transfer lists, images and SHA256SUMS) as torvane-update --check does, "
               "then exit. Every update is checked so before any port is touched.");
  app.add_flag("--json", o.json,
               "One JSON object per line (events found, status, message, progress, end) instead of text; with "
               "--check the report as JSON.");
  app.add_flag("--quiet", o.quiet, "Print only the summary.");
  addLogOptions(app, o.log, false);
  std::string workerFolder;
  app.add_option("--worker", workerDevice)->group("");
  app.add_option("--worker-com", workerCom)->group("");
  app.add_flag("--worker-path", workerPath)->group("");
  app.add_option("--worker-log", workerLog)->group("");
  app.add_option("--worker-folder", workerFolder)->group("");
  if (const std::optional<int> code = command.parse(arguments, out, err)) return *code;

  const std::optional<Source> chosen = offeredSourceNamed(source);
  if (!chosen) return command.refuse("--source " + source + " is not a source; use " + kOfferedSourceNames, err);
  o.source = *chosen;
  if (!workerFolder.empty()) folder = fromHex(workerFolder);
  o.folder = folder.empty() ? currentFolder : (currentFolder / pathFromText(folder)).lexically_normal();
  std::error_code ec;
  if (!fs::is_directory(o.folder, ec)) return command.refuse(folder + " is not a folder", err);
  if (const std::string why = checkLogOptions(o.log); !why.empty()) return command.refuse(why, err);
  if (!workerDevice.empty()) {
    if (workerCom < kFirstCom || workerCom > kLastCom) return command.refuse("--worker-com takes 1..9", err);
    o.worker = true;
    const QString device = QString::fromStdString(fromHex(workerDevice));
    o.ports = {PortTarget{workerPath ? device : QStringLiteral("COM%1").arg(workerCom), device, workerCom, workerPath}};
    if (!workerLog.empty()) o.workerLog = pathFromText(fromHex(workerLog));
    return o;
  }
  if (o.scan && !ports.empty()) return command.refuse("give --port or --scan, not both", err);
  if (o.check && (o.scan || !ports.empty()))
    return command.refuse("--check touches no port; give no --port or --scan", err);
  if (const std::string why = takePorts(ports, names, o); !why.empty()) return command.refuse(why, err);
  o.scan = o.ports.empty() && !o.check;
  return o;
}

// A worker's folder, device and log go by their bytes, whatever they are:
// in hexadecimal, which no command line of the host changes.
std::vector<std::string> workerArguments(const StationOptions& options, const PortTarget& port, bool scanFirst,
                                         const std::optional<fs::path>& log) {
  std::vector<std::string> args{
      "--worker", toHex(port.device.toStdString()), "--worker-com",    std::to_string(port.com),
      "--source", sourceInfo(options.source).name,  "--worker-folder", toHex(pathText(options.folder))};
  if (port.byPath) args.push_back("--worker-path");
  if (scanFirst) args.push_back("--scan");
  if (log) args.insert(args.end(), {"--worker-log", toHex(pathText(*log))});
  return args;
}

}  // namespace torvane::station
