#include "link/SerialClk.h"

namespace SerialClk {

State &state()
{
    static State s;
    return s;
}

void resetState()
{
    state() = State{};
}

void InitProtocolChars()
{
    State &s = state();
    s.SOH = QChar(0x01);
    s.STX = QChar(0x02);
    s.ETX = QChar(0x03);
    s.EOT = QChar(0x04);
    s.ENQ = QChar(0x05);
    s.ACK = QChar(0x06);
    s.NAK = QChar(0x15);
    s.GS = QChar(0x1D);
    s.RS = QChar(0x1E);
    s.US = QChar(0x1F);
    s.PollChar = QStringLiteral("P");
    s.SelectChar = QStringLiteral("S");
}

} // namespace SerialClk
