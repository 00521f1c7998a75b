// The Qt side of the one wait: a pass of the thread's event loop, for every
// front end's window operations (the window, the station's console).
#pragma once

namespace torvane {

// Handles every pending event and returns without waiting.
void handlePendingEvents();

// Handles what is pending; with nothing pending, sleeps in the event loop
// until the next event (port input, a timer tick, the operator) or until
// maxSeconds have passed. Never spins; 0 or less only handles what is pending.
void sleepInEventLoop(double maxSeconds);

}  // namespace torvane
