// The control identifiers of the Windows window, by the design's names, so
// that a program outside (a test, a screen reader's script) finds each
// control with GetDlgItem and reads or clicks it.
#pragma once

#include <string_view>

#include "form/window_design.h"

namespace torvane {

inline constexpr int kFirstControlId = 100;

// The identifier of the designed control or the progress bar of that name; 0 for none.
inline int controlId(std::string_view name) {
  const auto all = form::controls();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (name == all[i].name) return kFirstControlId + static_cast<int>(i);
  }
  if (name == form::windowDesign().progressName) return kFirstControlId + static_cast<int>(all.size());
  return 0;
}

// The window class of the main window: the design's name, "frmdl".
inline const char* windowClassName() { return form::windowDesign().name; }

}  // namespace torvane
