#include "encoding/fault.h"

namespace torvane {

// Out of line so that the type's vtable and type information live here.
Fault::~Fault() = default;

}  // namespace torvane
