#include "form/test_hooks.h"

#include <memory>

#include "context/sources.h"

namespace torvane::form {

TestHooks readTestHooks(const std::function<std::string(const char*)>& variable) {
  TestHooks hooks;
  hooks.autostart = variable("TORVANE_AUTOSTART") == "1";
  hooks.exitAfterRun = variable("TORVANE_EXIT_AFTER_RUN") == "1";
  hooks.screenshot = variable("TORVANE_SCREENSHOT");
  if (const std::string name = variable("TORVANE_SOURCE"); !name.empty()) {
    hooks.source = offeredSourceNamed(name);
    if (!hooks.source) hooks.error = "TORVANE_SOURCE=" + name + " is not a source; use " + kOfferedSourceNames;
  }
  return hooks;
}

std::string escapedLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    if (c == '\r') {
      line += "\\r";
    } else if (c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  return line;
}

void exitAfterFirstRun(FormController& controller, std::ostream& out, std::function<void()> quit) {
  controller.messageBoxHook = [&out](const std::string& text) {
    out << "message box: " << escapedLine(text) << std::endl;
  };
  auto depth = std::make_shared<int>(0);
  controller.startProcedure = [run = controller.startProcedure, &out, quit = std::move(quit), depth](FormContext& c) {
    const auto finish = [&] {
      if (--*depth > 0) return;
      out << "final status: " << escapedLine(c.window.status()) << std::endl;
      quit();
    };
    ++*depth;
    try {
      run(c);
    } catch (...) {
      finish();
      throw;
    }
    finish();
  };
}

}  // namespace torvane::form
