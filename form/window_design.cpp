#include "form/window_design.h"

#include <algorithm>
#include <array>

namespace torvane::form {

namespace {

using K = ControlKind;

constexpr const char* kOptErToolTip =
    "Leave TorVane off. Click Start Update. Turn TorVane on at \"Waiting for STX\". Restores program";

// clang-format off
constexpr std::array<ControlDesign, 22> kControls = {{
    // name        kind           parent    caption                  left  top   width height tab tooltip
    {"lblStatus",  K::StatusLine, nullptr,  "Status: ",              {240,  240,  4860, 585},  0, nullptr},
    {"frmCom",     K::GroupBox,   nullptr,  "Comm Port",             {5400, 140,  1575, 4095}, 1, nullptr},
    {"lblTime",    K::Label,      nullptr,  "",                      {3600, 3680, 1815, 525},  4, nullptr},
    {"Frame1",     K::GroupBox,   nullptr,  "Source",                {240,  1040, 4860, 2355}, 5, nullptr},
    {"cmdStart",   K::Button,     nullptr,  "&Start Update",         {240,  3600, 1580, 615}, 11, "Start the download process"},
    {"cmdConfig",  K::Button,     nullptr,  "&Configure Port",       {1920, 3600, 1580, 615}, 21, "Configure Comm Port"},
    {"optCS",      K::Option,     "Frame1", "Lorebank\u00AE only",   {240,  300,  2295, 375},  6, "Download the Lorebank database",
     false, false, Source::Lorebank},
    {"optPrgm",    K::Option,     "Frame1", "Program only",          {240,  420,  2415, 375},  7, "Download the Program only",
     true, true, Source::Program},
    {"optAll",     K::Option,     "Frame1", "Program and DSD",       {240,  1080, 2415, 375},  8,
     "Download the program and Depth and Space Data", true, false, Source::ProgramAndDsd},
    {"OptER",      K::Option,     "Frame1", "Emergency Restore",     {240,  1740, 2535, 375}, 14, kOptErToolTip,
     true, false, Source::EmergencyRestore},
    {"Label1",     K::Label,      "Frame1", "(allow 3 hours)",       {2880, 380,  1335, 375}, 15, nullptr, false},
    {"Label2",     K::Label,      "Frame1", "(allow 15 minutes)",    {2880, 480,  1335, 375}, 16, nullptr},
    {"Label3",     K::Label,      "Frame1", "(allow 15 minutes)",    {2880, 1140, 1335, 375}, 17, nullptr},
    {"optCom1",    K::Option,     "frmCom", "Com 1",                 {240,  300,  1215, 375},  2, nullptr, true, true, {}, 1},
    {"optCom2",    K::Option,     "frmCom", "Com 2",                 {240,  700,  1215, 375},  3, nullptr, true, false, {}, 2},
    {"optCom3",    K::Option,     "frmCom", "Com 3",                 {240,  1100, 855,  375},  9, nullptr, true, false, {}, 3},
    {"optCom4",    K::Option,     "frmCom", "Com 4",                 {240,  1500, 975,  375}, 10, nullptr, true, false, {}, 4},
    {"OptCom5",    K::Option,     "frmCom", "Com 5",                 {240,  1900, 975,  375}, 12, nullptr, true, false, {}, 5},
    {"OptCom6",    K::Option,     "frmCom", "Com 6",                 {240,  2300, 975,  375}, 13, nullptr, true, false, {}, 6},
    {"OptCom7",    K::Option,     "frmCom", "Com 7",                 {240,  2700, 975,  375}, 18, nullptr, true, false, {}, 7},
    {"OptCom8",    K::Option,     "frmCom", "Com 8",                 {240,  3100, 975,  375}, 19, nullptr, true, false, {}, 8},
    {"OptCom9",    K::Option,     "frmCom", "Com 9",                 {240,  3500, 975,  375}, 20, nullptr, true, false, {}, 9},
}};
// clang-format on

constexpr WindowDesign kWindow = {
    "frmdl",
    "Orvell TorVane\u00AE Update Program",
    7215,
    4470,
    {"Arial", 8, 400},  // small and plain, as the layout was drawn for
    {"Arial", 9, 700},
    "delay",
    "prgTransfer",
    {240, 840, 4860, 180},  // between the status line's bottom (825) and the box's top (1040)
    {"Arial", 7, 400},
};

std::array<const ControlDesign*, 15> makeTabOrder() {
  std::array<const ControlDesign*, 15> order{};
  std::size_t n = 0;
  for (const ControlDesign& c : kControls) {
    if (c.kind == K::Button || c.kind == K::Option) order.at(n++) = &c;
  }
  std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
  return order;
}

}  // namespace

std::span<const ControlDesign> controls() { return kControls; }

const WindowDesign& windowDesign() { return kWindow; }

const ControlDesign* findControl(std::string_view name) {
  for (const ControlDesign& c : kControls) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

const ControlDesign& sourceOption(Source source) {
  return *std::find_if(kControls.begin(), kControls.end(),
                       [source](const ControlDesign& c) { return c.source == source; });
}

const ControlDesign& portOption(int com) {
  return *std::find_if(kControls.begin(), kControls.end(), [com](const ControlDesign& c) { return c.com == com; });
}

std::span<const ControlDesign* const> tabOrder() {
  static const std::array<const ControlDesign*, 15> order = makeTabOrder();
  return order;
}

char accessKey(std::string_view caption) {
  const std::size_t at = caption.find('&');
  return at != std::string_view::npos && at + 1 < caption.size() ? caption[at + 1] : '\0';
}

std::string shownCaption(std::string_view caption) {
  std::string shown(caption);
  if (const std::size_t at = shown.find('&'); at != std::string::npos) shown.erase(at, 1);
  return shown;
}

}  // namespace torvane::form
