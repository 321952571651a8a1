// Test-only entry points of the serial polling library, present only in the
// static test build (TEVPOL_TEST_SEAM), never in libtevpol32.so.
#pragma once

#include <string>
#include <termios.h>

namespace TevPolSeam {

using TcsetattrFn = int (*)(int fd, int action, const termios *settings);

// Route the library's tcsetattr through fn; nullptr restores the real call.
void SetTcsetattr(TcsetattrFn fn);
// The device InitComPort opens for a port number in 1-4.
std::string DevicePath(unsigned comport);

} // namespace TevPolSeam
