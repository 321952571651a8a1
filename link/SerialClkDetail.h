// Shared by the serial link and the serial polls: their waits and line timing.
#pragma once

namespace Platform {
class CommControl;
}

namespace SerialClk {

// Waits with the event queue running (so buttons, timers and port input are
// handled) until an event arrives, `deadline` (Platform::Clock seconds)
// passes or `sliceMs` ends, whichever is first. Never spins.
void WaitForEvents(double deadline, int sliceMs = 100);
// The time `bytes` take on the line at the control's settings.
double LineSeconds(const Platform::CommControl &comm, int bytes);
// Until the control's output has left; past the bytes' line time plus a
// grace it throws the stuck line as an error.
void WaitForDrain(Platform::CommControl &comm, int bytes);

} // namespace SerialClk
