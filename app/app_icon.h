// The program's icon, drawn at start-up in the two sizes the window uses.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace torvane {

// A vane tester's dial (a ring with four blades) and a download arrow.
QPixmap drawAppIcon(int size);

// The icon with its 16 x 16 and 32 x 32 pictures.
QIcon appIcon();

}  // namespace torvane
