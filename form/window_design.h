// The one window as it is designed: every control with its kind, parent,
// caption, access key, tooltip, place and size in twips, tab index and
// initial state, and what the window as a whole looks like. Each front end
// draws this table; none of them repeats it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "context/window_ops.h"

namespace torvane::form {

enum class ControlKind { StatusLine, Label, GroupBox, Button, Option };

// Place and size in twips (1/1440 inch), relative to the parent's client area.
struct TwipRect {
  int left, top, width, height;
};

struct ControlDesign {
  const char* name;
  ControlKind kind;
  const char* parent;   // nullptr: the window itself
  const char* caption;  // "&" marks the access key: "&Start Update" is Alt+S
  TwipRect place;
  int tabIndex;
  const char* toolTip;                // nullptr: none
  bool visible = true;                // false: never shown
  bool selected = false;              // an option button selected in the new window
  std::optional<Source> source = {};  // the source option button of that source
  int com = 0;                        // the port option button of COM com (1..9)
};

struct FontDesign {
  const char* family;
  int points;
  int weight;  // 400 regular, 700 bold
};

struct WindowDesign {
  const char* name;
  const char* caption;  // also the title of its message boxes
  int clientWidthTwips;
  int clientHeightTwips;
  FontDesign font;        // every control's font, unless the control says otherwise
  FontDesign statusFont;  // lblStatus
  const char* timerName;  // the pause timer
  // The transfer phase's progress bar: not one of the designed controls. It
  // sits in the free band between the status line and the "Source" box, as
  // wide as the status line, and moves none of them.
  const char* progressName;
  TwipRect progressPlace;
  FontDesign progressFont;
};

// Every control, in the design's order (parents before their children).
std::span<const ControlDesign> controls();
const WindowDesign& windowDesign();

// The control of that name; nullptr for none.
const ControlDesign* findControl(std::string_view name);
const ControlDesign& sourceOption(Source source);
const ControlDesign& portOption(int com);  // com 1..9

// The focusable controls (buttons and option buttons) in tab-index order.
std::span<const ControlDesign* const> tabOrder();

// Logical pixels at `dpi` dots per inch, to the nearest (96: 15 twips a pixel).
constexpr int pixels(int twips, int dpi = 96) { return (twips * dpi + 720) / 1440; }

// The access key a caption marks ('S' for "&Start Update"), or 0.
char accessKey(std::string_view caption);
// The caption as shown: without the ampersand ("Start Update").
std::string shownCaption(std::string_view caption);

}  // namespace torvane::form
