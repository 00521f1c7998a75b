// window-probe.exe: looks at the running torvane-update window from another
// process, through the Win32 API alone, as an operator's tool or a screen
// reader would.
//   window-probe wait-status TEXT SECONDS  waits until the status line holds TEXT
//   window-probe check-design              the window against its design: caption,
//                                          client size, every control's text, place,
//                                          visibility and selection, the tab order
//   window-probe read                      prints the status line and the selected options
//   window-probe click NAME                clicks the button or option NAME
//   window-probe close                     asks the window to close
// Exit code 0 when done (or nothing differs), 1 otherwise, 2 for a wrong call.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "form/window_design.h"
#include "win32/control_ids.h"
#include "win32/wide_text.h"

namespace {

using torvane::form::ControlDesign;

HWND findWindow(double seconds) {
  const std::wstring name = torvane::wide(torvane::windowClassName());
  for (double waited = 0;; waited += 0.05) {
    if (HWND w = ::FindWindowW(name.c_str(), nullptr)) return w;
    if (waited >= seconds) return nullptr;
    ::Sleep(50);
  }
}

std::string textOf(HWND w) {
  wchar_t text[1024];
  const LRESULT length =
      ::SendMessageTimeoutW(w, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 1000, nullptr);
  return length ? torvane::utf8(std::wstring(text, static_cast<std::size_t>(::GetWindowTextLengthW(w))))
                : std::string();
}

bool checked(HWND w) { return ::SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED; }

HWND control(HWND window, const char* name) { return ::GetDlgItem(window, torvane::controlId(name)); }

int checkDesign(HWND window) {
  int differences = 0;
  const auto differs = [&](const std::string& what) {
    std::printf("differs: %s\n", what.c_str());
    ++differences;
  };
  const auto& design = torvane::form::windowDesign();
  if (textOf(window) != design.caption) differs("caption \"" + textOf(window) + "\"");
  RECT client;
  ::GetClientRect(window, &client);
  if (client.right != torvane::form::pixels(design.clientWidthTwips) ||
      client.bottom != torvane::form::pixels(design.clientHeightTwips)) {
    differs("client size " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
  }
  for (const ControlDesign& d : torvane::form::controls()) {
    HWND w = control(window, d.name);
    if (w == nullptr) {
      differs(std::string(d.name) + " is missing");
      continue;
    }
    int left = torvane::form::pixels(d.place.left), top = torvane::form::pixels(d.place.top);
    if (d.parent != nullptr) {
      left += torvane::form::pixels(torvane::form::findControl(d.parent)->place.left);
      top += torvane::form::pixels(torvane::form::findControl(d.parent)->place.top);
    }
    RECT r;
    ::GetWindowRect(w, &r);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    if (r.left != left || r.top != top || r.right - r.left != torvane::form::pixels(d.place.width) ||
        r.bottom - r.top != torvane::form::pixels(d.place.height)) {
      differs(std::string(d.name) + " at " + std::to_string(r.left) + "," + std::to_string(r.top));
    }
    if (d.kind != torvane::form::ControlKind::StatusLine && textOf(w) != d.caption) {
      differs(std::string(d.name) + " reads \"" + textOf(w) + "\"");
    }
    if ((::IsWindowVisible(w) != FALSE) != d.visible) differs(std::string(d.name) + " visibility");
    if (d.kind == torvane::form::ControlKind::Option && d.com == 0 && checked(w) != d.selected) {
      differs(std::string(d.name) + " selection");
    }
  }
  // The tab order is the order of the window's children: the stops
  // (WS_TABSTOP) among them must be the design's buttons and each group's
  // selected option, in the design's order.
  std::vector<int> stops;
  for (HWND w = ::GetWindow(window, GW_CHILD); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
    if ((::GetWindowLongW(w, GWL_STYLE) & WS_TABSTOP) != 0) stops.push_back(::GetDlgCtrlID(w));
  }
  std::vector<int> designed;
  for (const ControlDesign* d : torvane::form::tabOrder()) {
    if (d->kind != torvane::form::ControlKind::Option || checked(control(window, d->name))) {
      designed.push_back(torvane::controlId(d->name));
    }
  }
  if (stops != designed) {
    std::string shown;
    for (int id : stops) shown += " " + std::to_string(id);
    differs("the tab order:" + shown);
  }
  std::printf("%d differences\n", differences);
  return differences == 0 ? 0 : 1;
}

void read(HWND window) {
  std::printf("status: %s\n", textOf(control(window, "lblStatus")).c_str());
  for (const ControlDesign& d : torvane::form::controls()) {
    if (d.kind == torvane::form::ControlKind::Option && checked(control(window, d.name))) {
      std::printf("selected: %s\n", d.name);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return 2;
  HWND window = findWindow(args[0] == "wait-status" ? 20 : 10);
  if (window == nullptr) {
    std::printf("no torvane-update window\n");
    return 1;
  }
  if (args[0] == "wait-status" && args.size() == 3) {
    const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(std::stod(args[2]) * 1000);
    std::string status;
    while (::GetTickCount64() < until) {
      status = textOf(control(window, "lblStatus"));
      if (status.find(args[1]) != std::string::npos) {
        std::printf("status: %s\n", status.c_str());
        return 0;
      }
      ::Sleep(50);
    }
    std::printf("status still: %s\n", status.c_str());
    return 1;
  }
  if (args[0] == "check-design") return checkDesign(window);
  if (args[0] == "read") {
    read(window);
    return 0;
  }
  if (args[0] == "click" && args.size() == 2) {
    HWND w = control(window, args[1].c_str());
    return w != nullptr && ::PostMessageW(w, BM_CLICK, 0, 0) ? 0 : 1;
  }
  if (args[0] == "close") return ::PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
  return 2;
}
