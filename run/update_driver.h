// The "Start Update" handler: one whole update run, from opening the port to
// completion, an early end or the failure path.
#pragma once

#include "context/form_context.h"

namespace torvane {

void cmdStart_Click(FormContext& ctx);

}  // namespace torvane
