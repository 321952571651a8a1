#pragma once

#include <QString>

// The serial clock link's module. Its protocol characters are shared by the
// whole program, so start-up sets them before anything else reads them.
namespace SerialClk {

struct State {
    QString SOH, STX, ETX, EOT, ENQ, ACK, NAK, GS, RS, US, PollChar, SelectChar;
    bool ClockPortOpen = false;
    bool CancelSend = true;  // stays set between downloads
};

State &state();
void resetState();

void InitProtocolChars();

} // namespace SerialClk
