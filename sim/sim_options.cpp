#include "sim/sim_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <functional>
#include <map>

#include "encoding/encoders.h"

namespace torvane::sim {
namespace {

bool toInt(const std::string& text, int& value, int minimum) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= minimum;
}

// "hello" is taken as text, "0x0d0a" as hexadecimal bytes.
bool noiseBytes(const std::string& text, ByteString& bytes) {
  if (text.rfind("0x", 0) != 0) {
    bytes = text;
    return !bytes.empty();
  }
  const std::string digits = text.substr(2);
  if (digits.empty() || digits.size() % 2 != 0) return false;
  bytes.clear();
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int high = hexDigit(digits[i]);
    const int low = hexDigit(digits[i + 1]);
    if (high < 0 || low < 0) return false;
    appendByte(bytes, static_cast<uint8_t>(high * 16 + low));
  }
  return true;
}

// "N:REST" split at the first colon.
bool splitPair(const std::string& text, std::string& left, std::string& right) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  left = text.substr(0, colon);
  right = text.substr(colon + 1);
  return true;
}

using Handler = std::function<bool(SimOptions&, const std::string&)>;

Handler frameFault(void (FaultPlan::*add)(int)) {
  return [add](SimOptions& o, const std::string& v) {
    int frame = 0;
    if (!toInt(v, frame, 1)) return false;
    (o.faults.*add)(frame);
    return true;
  };
}

Handler intOption(int SimOptions::*field, int minimum) {
  return [field, minimum](SimOptions& o, const std::string& v) { return toInt(v, o.*field, minimum); };
}

const std::map<std::string, Handler>& valueOptions() {
  static const std::map<std::string, Handler> table = {
      {"--model",
       [](SimOptions& o, const std::string& v) {
         o.model = v;
         return v == "torvane" || v == "teal" || v == "amber";
       }},
      {"--load-reply",
       [](SimOptions& o, const std::string& v) {
         o.loadReply = v;
         return !v.empty();
       }},
      {"--announce-ms", intOption(&SimOptions::announceMs, 0)},
      {"--turnaround-ms", intOption(&SimOptions::turnaroundMs, 0)},
      {"--linger-ms",
       [](SimOptions& o, const std::string& v) {
         o.exitAfterEnd = true;
         return toInt(v, o.lingerMs, 0);
       }},
      {"--idle-exit-ms", intOption(&SimOptions::idleExitMs, 1)},
      {"--frame-gap-ms", intOption(&SimOptions::frameGapMs, 1)},
      {"--report",
       [](SimOptions& o, const std::string& v) {
         o.reportPath = v;
         return !v.empty();
       }},
      {"--save-images",
       [](SimOptions& o, const std::string& v) {
         o.saveImagesDir = v;
         return !v.empty();
       }},
      {"--nak-once", frameFault(&FaultPlan::addNakOnce)},
      {"--nak-times",
       [](SimOptions& o, const std::string& v) {
         std::string n, k;
         int frame = 0, times = 0;
         if (!splitPair(v, n, k) || !toInt(n, frame, 1) || !toInt(k, times, 1)) return false;
         o.faults.addNakTimes(frame, times);
         return true;
       }},
      {"--stx-instead", frameFault(&FaultPlan::addStxInstead)},
      {"--etx-instead", frameFault(&FaultPlan::addEtxInstead)},
      {"--can-at", frameFault(&FaultPlan::addCanAt)},
      {"--corrupt-at", frameFault(&FaultPlan::addCorruptAt)},
      {"--silent-at", frameFault(&FaultPlan::setSilentAt)},
      {"--hangup-at", frameFault(&FaultPlan::setHangupAt)},
      {"--unplug-at", frameFault(&FaultPlan::setUnplugAt)},
      {"--noise",
       [](SimOptions& o, const std::string& v) {
         std::string n, text;
         int frame = 0;
         ByteString bytes;
         if (!splitPair(v, n, text) || !toInt(n, frame, 0) || !noiseBytes(text, bytes)) return false;
         o.faults.addNoise(frame, bytes);
         return true;
       }},
  };
  return table;
}

const std::map<std::string, bool SimOptions::*>& flagOptions() {
  static const std::map<std::string, bool SimOptions::*> table = {
      {"--emergency", &SimOptions::emergency},         {"--no-ready", &SimOptions::noReady},
      {"--wrong-speed", &SimOptions::wrongSpeed},      {"--pace", &SimOptions::pace},
      {"--exit-after-end", &SimOptions::exitAfterEnd}, {"--announce-any-speed", &SimOptions::announceAnySpeed},
  };
  return table;
}

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  CLI::App app("torvane-sim");
  app.set_help_flag("-h,--help");
  app.set_version_flag("--version", std::string("torvane-sim ") + TORVANE_VERSION);
  for (const auto& [name, flag] : flagOptions()) app.add_flag(name, parsed.options.*flag)->disable_flag_override();
  for (const auto& [name, handler] : valueOptions()) {
    app.add_option_function<std::vector<std::string>>(
           name,
           [&parsed, name = name, handler = handler](const std::vector<std::string>& values) {
             for (const std::string& value : values) {
               if (!handler(parsed.options, value)) {
                 throw CLI::ValidationError("invalid value for " + name + ": '" + value + "'");
               }
             }
           })
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(1);
  }
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    parsed.help = true;
  } catch (const CLI::CallForVersion&) {
    parsed.version = true;
  } catch (const CLI::ParseError& e) {
    parsed.error = e.what();
  }
  return parsed;
}

std::string readyReply(const std::string& model) {
  if (model == "teal") return "Teal HERON Ready to Receive\r";
  if (model == "amber") return "Amber HERON Ready to Receive\r";
  return "Torvane Ready to Receive\r";
}

const char* helpText() {
  return R"(Usage: torvane-sim [OPTIONS]

Simulated TorVane machine on a pseudo-terminal. Prints the path of the
terminal the tool should open on the first line of standard output, then
plays the machine until it is stopped (SIGINT/SIGTERM) or an exit option
below ends it. The speed the host sets on the terminal is honoured: the
handshake counts only at 4800 baud and frames only at 38400 baud; bytes that
arrive at another speed are recorded in the report and otherwise ignored, as
a real UART would see them as garbage.

Handshake:
  --model M             torvane | teal | amber: the ready reply to send
                        ("Torvane Ready to Receive", "Teal HERON Ready to
                        Receive", "Amber HERON Ready to Receive" + CR)
  --load-reply X        load reply, sent followed by CR (default As)
  --no-ready            send the load reply but no ready reply
  --emergency           silent at 4800 (the load command is ignored); STX is
                        sent as soon as the host is at 38400
  --announce-ms N       send "AA" every N ms until the first load command
                        (default 500; 0 = never). Only while the host is at
                        4800, and only when the host has read the previous one
  --announce-any-speed  announce whatever speed the host has set
  --wrong-speed         the machine moves to 9600 instead of 38400 after "A":
                        a host at 38400 receives the STX as the garbage a
                        38400 receiver makes of it (0x80 0x00), and frames
                        sent at 38400 are recorded and never answered; a host
                        that sets 9600 gets STX and verdicts as usual

Frames (numbered from 1 per session; a resend keeps its number):
  --nak-once N          NAK frame N once, then ACK its resend
  --nak-times N:K       NAK frame N K times
  --stx-instead N       STX instead of ACK for frame N, once
  --etx-instead N       ETX instead of ACK for frame N, once (accepted)
  --can-at N            CAN instead of ACK for frame N, once
  --corrupt-at N        flip a byte of frame N on the way in (CRC fails, NAK),
                        once; the resend is taken as it comes
  --noise N:BYTES       send BYTES before the verdict of frame N (N = 0: every
                        verdict); BYTES is text, or hexadecimal after 0x
                        (e.g. 3:hello, 0:0x0d0a)
  --silent-at N         no verdict for frame N nor anything after it
  --hangup-at N         close the line on receiving frame N, write the report
                        and exit
  --unplug-at N         on receiving frame N, hang the terminal up as the
                        kernel does when a USB adapter is pulled out (the
                        host reads end of file, its writes and ioctls fail),
                        then serve the next open of the same path as a
                        machine just switched on; once. Needs root
                        (CAP_SYS_ADMIN, for TIOCVHANGUP)
  --frame-gap-ms N      a partial frame followed by N ms of silence is
                        garbage and gets a NAK (default 1000)

Timing:
  --pace                hold the exchange to 38400 baud 8N1 line time: a
                        verdict goes out no earlier than the frame's byte
                        time after its first byte, plus the verdict's own
                        byte time
  --turnaround-ms T     extra delay before each verdict with --pace (default 0)

Exit and report:
  --exit-after-end      exit once the end frame has been answered
  --linger-ms N         with the above (implied): wait N ms more before exiting
  --idle-exit-ms N      exit after N ms without any byte from the host
  --report PATH         write a JSON report at exit
  --save-images DIR     write each rebuilt image to DIR/<n>-type<t>-addr<hex>.bin
  -h, --help            this text
  --version             the version

At exit one summary line is printed, ending in OK (end frame received, every
image complete, no error) or INCOMPLETE.

Environment: none.
Exit status: 0 once stopped or ended as asked, 2 wrong arguments (one line
on standard error) or a terminal that could not be set up.
)";
}

}  // namespace torvane::sim
