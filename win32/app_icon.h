// The program's icon, drawn with GDI: a navy dial with four vane blades and
// a green download arrow, as on every platform.
#pragma once

#include <windows.h>

namespace torvane {

// An icon `size` pixels square; the caller destroys it (DestroyIcon).
HICON drawAppIcon(int size);

}  // namespace torvane
