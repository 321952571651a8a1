#include "libs/frame/LinkFrame.h"

namespace LinkFrame {

namespace {

constexpr char kHeaderLead[] = "\\A";
constexpr int kNibbleMask = 0x0F;
constexpr int kLrcCharBase = 0x30;
// The acknowledgement address of a wrapped terminal 32.
constexpr char kWrappedAckAddress = 0x21;

char HeadAddress(int terminal, const Options &options)
{
    if (options.wrapTerminal32 && terminal == kWrappedTerminal)
        return AddressChar(0);
    return AddressChar(terminal);
}

std::string ShortFrame(char lead, int controller, char terminalChar, char kind)
{
    return {lead, AddressChar(controller), terminalChar, kind, EOT};
}

} // namespace

char AddressChar(int number)
{
    return static_cast<char>(number + kAddressBias);
}

std::string BuildSelectMsg(int controller, int terminal, Options options)
{
    return ShortFrame(ENQ, controller, HeadAddress(terminal, options), SelectChar);
}

std::string BuildPollMsg(int controller, int terminal)
{
    return ShortFrame(ENQ, controller, AddressChar(terminal), PollChar);
}

std::string BuildAckMsg(int controller, int terminal)
{
    return ShortFrame(SOH, controller, AddressChar(terminal), ACK);
}

std::string BuildNakMsg(int controller, int terminal)
{
    return ShortFrame(SOH, controller, AddressChar(terminal), NAK);
}

std::string ExpectedClockAck(int controller, int terminal, Options options)
{
    const char address = options.wrapTerminal32 && terminal == kWrappedTerminal
                             ? kWrappedAckAddress
                             : AddressChar(terminal);
    return ShortFrame(SOH, controller, address, ACK);
}

std::string MessageHeader(int terminal)
{
    return std::string(kHeaderLead) + AddressChar(terminal) + GS;
}

std::string BuildDataFrame(int controller, int terminal, std::string_view text, Options options)
{
    std::string frame{SOH, AddressChar(controller), HeadAddress(terminal, options), STX};
    if (!options.raw)
        frame += MessageHeader(terminal);
    frame += text;
    frame += ETX;
    const Lrc lrc = FrameLrc(frame);
    frame += LrcChar(lrc.high);
    frame += LrcChar(lrc.low);
    frame += EOT;
    return frame;
}

Lrc FrameLrc(std::string_view bytes)
{
    unsigned x = 0;
    for (const char c : bytes)
        x ^= static_cast<unsigned char>(c);
    return {static_cast<int>(x >> 4), static_cast<int>(x & kNibbleMask)};
}

char LrcChar(int nibble)
{
    return static_cast<char>(kLrcCharBase | (nibble & kNibbleMask));
}

bool ReplyCheckGood(std::string_view reply)
{
    const auto etx = reply.find(ETX);
    // Both check characters must follow the ETX inside the reply.
    if (etx == std::string_view::npos || reply.size() - etx < 3)
        return false;
    const Lrc lrc = FrameLrc(reply.substr(0, etx + 1));
    return lrc.high == (reply[etx + 1] & kNibbleMask) && lrc.low == (reply[etx + 2] & kNibbleMask);
}

} // namespace LinkFrame
