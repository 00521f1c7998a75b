#include "win32/frmdl.h"

#include <commctrl.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "form/status_lines.h"
#include "form/window_design.h"
#include "win32/control_ids.h"
#include "win32/wide_text.h"

namespace torvane {
namespace {

using form::ControlDesign;
using form::ControlKind;

constexpr UINT_PTR kDelayTimer = 1;
constexpr UINT_PTR kHoldTimer = 2;
constexpr int kIconResource = 1;  // torvane-update.rc
constexpr const wchar_t* kStatusLineClass = L"TorVaneStatusLine";
constexpr const wchar_t* kProgressClass = L"TorVaneProgressBar";

HFONT createFont(const form::FontDesign& design) {
  return ::CreateFontW(-::MulDiv(design.points, 96, 72), 0, 0, 0, design.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       wide(design.family).c_str());
}

RECT pixelRect(const form::TwipRect& r, POINT origin) {
  const int left = origin.x + form::pixels(r.left);
  const int top = origin.y + form::pixels(r.top);
  return RECT{left, top, left + form::pixels(r.width), top + form::pixels(r.height)};
}

// What the painted controls keep besides their window text (which a
// program outside reads with WM_GETTEXT).
struct PaintedControl {
  HFONT font = nullptr;
  bool held = false;     // the status line: changes wait for the hold to end
  bool changed = false;  // changed while held
  int value = 0;         // the progress bar
  int maximum = 1;
};

PaintedControl* paintedOf(HWND hwnd) { return reinterpret_cast<PaintedControl*>(::GetWindowLongPtrW(hwnd, 0)); }

std::string windowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return utf8(text);
}

// The status line: whole lines only, the last one that fits ending in "…".
void paintStatusLine(HWND hwnd, HDC dc, const RECT& area, const PaintedControl& control) {
  ::SelectObject(dc, control.font);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  const int lineHeight = std::max<int>(1, metrics.tmHeight);
  const auto measure = [dc](std::string_view piece) {
    const std::wstring text = wide(piece);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  };
  const std::vector<std::string> lines = form::shownStatusLines(
      windowText(hwnd), area.right, std::max(1, static_cast<int>(area.bottom / lineHeight)), measure);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::wstring line = wide(lines[i]);
    ::TextOutW(dc, 0, static_cast<int>(i) * lineHeight, line.c_str(), static_cast<int>(line.size()));
  }
}

// The progress bar: a sunken frame, the share done in the selection colour,
// its text centred over both.
void paintProgress(HWND hwnd, HDC dc, RECT area, const PaintedControl& control) {
  ::DrawEdge(dc, &area, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  RECT done = area;
  done.right =
      area.left + static_cast<LONG>(static_cast<long long>(area.right - area.left) *
                                    std::clamp(control.value, 0, control.maximum) / std::max(1, control.maximum));
  ::FillRect(dc, &done, ::GetSysColorBrush(COLOR_HIGHLIGHT));
  ::SelectObject(dc, control.font);
  const std::wstring text = wide(windowText(hwnd));
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

LRESULT CALLBACK paintedProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd, &ps);
    if (const PaintedControl* control = paintedOf(hwnd)) {
      RECT area;
      ::GetClientRect(hwnd, &area);
      ::FillRect(dc, &area, ::GetSysColorBrush(COLOR_BTNFACE));
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
      wchar_t className[32];
      ::GetClassNameW(hwnd, className, 32);
      if (std::wstring_view(className) == kProgressClass) {
        paintProgress(hwnd, dc, area, *control);
      } else {
        paintStatusLine(hwnd, dc, area, *control);
      }
    }
    ::EndPaint(hwnd, &ps);
    return 0;
  }
  if (message == WM_NCDESTROY) delete paintedOf(hwnd);
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void registerClasses(HINSTANCE instance, WNDPROC windowProc, HICON icon) {
  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = windowProc;
  main.hInstance = instance;
  main.hIcon = icon;
  main.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  const std::wstring mainClass = wide(windowClassName());
  main.lpszClassName = mainClass.c_str();
  ::RegisterClassExW(&main);
  for (const wchar_t* name : {kStatusLineClass, kProgressClass}) {
    WNDCLASSEXW painted{};
    painted.cbSize = sizeof painted;
    painted.lpfnWndProc = paintedProc;
    painted.cbWndExtra = sizeof(void*);
    painted.hInstance = instance;
    painted.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    painted.lpszClassName = name;
    ::RegisterClassExW(&painted);
  }
}

// The designed control's window class and styles.
std::pair<const wchar_t*, DWORD> classAndStyle(const ControlDesign& d) {
  switch (d.kind) {
    case ControlKind::StatusLine: return {kStatusLineClass, 0};
    case ControlKind::Label: return {WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_NOTIFY};
    case ControlKind::GroupBox: return {WC_BUTTONW, BS_GROUPBOX};
    case ControlKind::Button: return {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP};
    case ControlKind::Option: return {WC_BUTTONW, static_cast<DWORD>(BS_RADIOBUTTON | (d.selected ? WS_TABSTOP : 0))};
  }
  return {WC_STATICW, 0};
}

}  // namespace

Frmdl::Frmdl(SerialPort& port, Clock& clock, std::filesystem::path workingFolder, MessagePump& pump)
    : pump_(pump),
      statusText_(form::findControl("lblStatus")->caption),
      ownOps_(*this, port, clock),
      context_(port, ownOps_, clock, std::move(workingFolder)),
      controller_(context_, *this) {
  INITCOMMONCONTROLSEX common{sizeof common, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&common);
  const form::WindowDesign& design = form::windowDesign();
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  icon_ = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 32, 32, 0));
  registerClasses(instance, &Frmdl::windowProc, icon_);
  font_ = createFont(design.font);
  statusFont_ = createFont(design.statusFont);
  progressFont_ = createFont(design.progressFont);

  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, form::pixels(design.clientWidthTwips), form::pixels(design.clientHeightTwips)};
  ::AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  hwnd_ = ::CreateWindowExW(0, wide(windowClassName()).c_str(), wide(design.caption).c_str(), kStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            instance, this);
  HICON small = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 16, 16, 0));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  buildControls();
  pump_.setDialog(hwnd_);
  // The access keys' letters stay underlined, not only while Alt is down.
  ::SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL), 0);
}

Frmdl::~Frmdl() {
  if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
  for (HFONT font : {font_, statusFont_, progressFont_}) {
    if (font != nullptr) ::DeleteObject(font);
  }
}

void Frmdl::buildControls() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  toolTips_ =
      ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance, nullptr);
  ::SendMessageW(toolTips_, TTM_SETMAXTIPWIDTH, 0, 400);
  std::vector<HWND> created;
  for (const ControlDesign& d : form::controls()) {
    // Every control is a child of the window itself (notifications come
    // here), placed in its frame's client area as designed.
    POINT origin{0, 0};
    if (d.parent != nullptr) {
      const RECT frame = pixelRect(form::findControl(d.parent)->place, {0, 0});
      origin = {frame.left, frame.top};
    }
    const RECT r = pixelRect(d.place, origin);
    const auto [className, style] = classAndStyle(d);
    const DWORD visible = d.visible ? WS_VISIBLE : 0;
    HWND w = ::CreateWindowExW(0, className, wide(d.caption).c_str(), WS_CHILD | WS_GROUP | visible | style, r.left,
                               r.top, r.right - r.left, r.bottom - r.top, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(d.name))), instance, nullptr);
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (d.kind == ControlKind::StatusLine) {
      auto* painted = new PaintedControl;
      painted->font = statusFont_;
      ::SetWindowLongPtrW(w, 0, reinterpret_cast<LONG_PTR>(painted));
      lblStatus_ = w;
    }
    if (d.kind == ControlKind::Option) {
      if (d.source) sourceOptions_[static_cast<std::size_t>(*d.source)] = w;
      if (d.com > 0) portOptions_[static_cast<std::size_t>(d.com - 1)] = w;
      if (d.selected) ::SendMessageW(w, BM_SETCHECK, BST_CHECKED, 0);
    }
    if (std::string_view(d.name) == "lblTime") lblTime_ = w;
    if (d.toolTip != nullptr) {
      TTTOOLINFOW tip{};
      tip.cbSize = TTTOOLINFOW_V2_SIZE;
      tip.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      tip.hwnd = hwnd_;
      tip.uId = reinterpret_cast<UINT_PTR>(w);
      const std::wstring text = wide(d.toolTip);
      tip.lpszText = const_cast<wchar_t*>(text.c_str());  // the tooltip keeps a copy
      ::SendMessageW(toolTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
    }
  }

  // The tab order is the design's: the window's children in that order.
  HWND previous = HWND_TOP;
  for (const ControlDesign* d : form::tabOrder()) {
    HWND w = ::GetDlgItem(hwnd_, controlId(d->name));
    ::SetWindowPos(w, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    previous = w;
  }

  const form::WindowDesign& design = form::windowDesign();
  const RECT r = pixelRect(design.progressPlace, {0, 0});
  prgTransfer_ = ::CreateWindowExW(0, kProgressClass, L"", WS_CHILD, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                   hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(design.progressName))),
                                   instance, nullptr);
  auto* painted = new PaintedControl;
  painted->font = progressFont_;
  ::SetWindowLongPtrW(prgTransfer_, 0, reinterpret_cast<LONG_PTR>(painted));
}

void Frmdl::describePortOption(int com, const std::string& text) {
  if (com < kFirstCom || com > kLastCom) return;
  const auto index = static_cast<std::size_t>(com - 1);
  portTips_[index] = wide(text);
  TTTOOLINFOW tip{};
  tip.cbSize = TTTOOLINFOW_V2_SIZE;
  tip.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tip.hwnd = hwnd_;
  tip.uId = reinterpret_cast<UINT_PTR>(portOptions_[index]);
  tip.lpszText = portTips_[index].data();
  ::SendMessageW(toolTips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
  if (!text.empty()) ::SendMessageW(toolTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
}

// ---------------------------------------------------------------------------
// The operator's events

LRESULT CALLBACK Frmdl::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Frmdl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<Frmdl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  return self->handle(message, wParam, lParam);
}

LRESULT Frmdl::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) onCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == kDelayTimer) delay_Timer(context_.state);
      if (wParam == kHoldTimer) {
        ::KillTimer(hwnd_, kHoldTimer);
        ownOps_.holdTimerFired();
      }
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      // Labels, options and frames on the window's own face colour.
      HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR:
      if (busy_) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      if (controller_.closeRequested()) {
        if (closing) closing();
        ::DestroyWindow(hwnd_);
      }
      return 0;
    case kStartupMessage:
      if (startup) startup();
      return 0;
    case WM_DESTROY:
      ::KillTimer(hwnd_, kDelayTimer);
      ::KillTimer(hwnd_, kHoldTimer);
      ::PostQuitMessage(0);
      return 0;
    default: break;
  }
  return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Frmdl::onCommand(int id) {
  if (id == controlId("cmdStart")) {
    controller_.startClicked();
    if (afterStart) afterStart();
  } else if (id == controlId("cmdConfig")) {
    controller_.configureClicked();
  } else if (HWND w = ::GetDlgItem(hwnd_, id); w != nullptr) {
    const auto& options = form::controls();
    const std::size_t index = static_cast<std::size_t>(id - kFirstControlId);
    if (index < options.size() && options[index].kind == ControlKind::Option) selectOption(w);
  }
}

// Selects the option and deselects the others of its frame.
void Frmdl::selectOption(HWND option) {
  changed_ = true;
  const int id = ::GetDlgCtrlID(option);
  const char* frame = form::controls()[static_cast<std::size_t>(id - kFirstControlId)].parent;
  for (const ControlDesign& d : form::controls()) {
    if (d.kind != ControlKind::Option || std::string_view(d.parent) != frame) continue;
    HWND w = ::GetDlgItem(hwnd_, controlId(d.name));
    ::SendMessageW(w, BM_SETCHECK, w == option ? BST_CHECKED : BST_UNCHECKED, 0);
    // Tab stops at a group's selected option only, as the system's own
    // option buttons do.
    const LONG style = ::GetWindowLongW(w, GWL_STYLE);
    ::SetWindowLongW(w, GWL_STYLE, w == option ? style | WS_TABSTOP : style & ~WS_TABSTOP);
  }
}

void Frmdl::showWindow() {
  ::ShowWindow(hwnd_, SW_SHOWNORMAL);
  ::UpdateWindow(hwnd_);
  ::SetFocus(::GetDlgItem(hwnd_, controlId(form::tabOrder().front()->name)));
}

void Frmdl::showModalBox(const std::string& text) {
  ::MessageBoxW(hwnd_, wide(text).c_str(), wide(form::windowDesign().caption).c_str(), MB_OK);
}

void Frmdl::closeWindowSoon() { ::PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

// ---------------------------------------------------------------------------
// What the procedures ask of the window

void Frmdl::setStatusLine(const std::string& text) {
  statusText_ = text;
  ::SetWindowTextW(lblStatus_, wide(text).c_str());
  PaintedControl* control = paintedOf(lblStatus_);
  if (control->held) {
    control->changed = true;
  } else {
    ::InvalidateRect(lblStatus_, nullptr, FALSE);
    changed_ = true;
  }
}

void Frmdl::holdStatusLine(bool held) {
  PaintedControl* control = paintedOf(lblStatus_);
  control->held = held;
  if (!held && control->changed) {
    ::InvalidateRect(lblStatus_, nullptr, FALSE);
    changed_ = true;
  }
  if (!held) control->changed = false;
}

void Frmdl::setTimeLine(const std::string& text) {
  ::SetWindowTextW(lblTime_, wide(text).c_str());
  changed_ = true;
}

// Only when something was changed: a repaint is asked for on every frame,
// and walking the controls costs more than the frame's own work.
void Frmdl::paintNow() {
  if (!changed_) return;
  changed_ = false;
  ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

bool Frmdl::sourceChecked(Source source) const {
  return ::SendMessageW(sourceOptions_[static_cast<std::size_t>(source)], BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Frmdl::selectSource(Source source) { selectOption(sourceOptions_[static_cast<std::size_t>(source)]); }

bool Frmdl::portOptionChecked(int number) const {
  return number >= kFirstCom && number <= kLastCom &&
         ::SendMessageW(portOptions_[static_cast<std::size_t>(number - 1)], BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Frmdl::checkPortOption(int number) {
  if (number >= kFirstCom && number <= kLastCom) selectOption(portOptions_[static_cast<std::size_t>(number - 1)]);
}

void Frmdl::startDelay(int intervalMs) {
  ::SetTimer(hwnd_, kDelayTimer, static_cast<UINT>(std::max(intervalMs, USER_TIMER_MINIMUM)), nullptr);
}

void Frmdl::stopDelay() { ::KillTimer(hwnd_, kDelayTimer); }

void Frmdl::startHoldTimer(int ms) {
  ::SetTimer(hwnd_, kHoldTimer, static_cast<UINT>(std::max(ms, USER_TIMER_MINIMUM)), nullptr);
}

void Frmdl::setProgress(int value, int maximum, const std::string& text) {
  PaintedControl* control = paintedOf(prgTransfer_);
  control->value = value;
  control->maximum = maximum;
  ::SetWindowTextW(prgTransfer_, wide(text).c_str());
  ::InvalidateRect(prgTransfer_, nullptr, FALSE);
  changed_ = true;
}

void Frmdl::showProgress(bool shown) {
  ::ShowWindow(prgTransfer_, shown ? SW_SHOWNA : SW_HIDE);
  changed_ = true;
}

void Frmdl::setBusy(bool busy) {
  busy_ = busy;
  ::SetCursor(::LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

// The window's client area as the screen shows it, as a 24-bit BMP.
bool Frmdl::saveScreenshot(const std::filesystem::path& path) const {
  RECT r;
  if (!::GetClientRect(hwnd_, &r)) return false;
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  HDC windowDc = ::GetDC(hwnd_);
  HDC memory = ::CreateCompatibleDC(windowDc);
  HBITMAP bitmap = ::CreateCompatibleBitmap(windowDc, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
  ::SelectObject(memory, old);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;  // bottom-up, as BMP files store it
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
  std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  const int rows = ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(hwnd_, windowDc);
  if (rows != height) return false;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace torvane
