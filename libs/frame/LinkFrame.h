// Frames of the serial clock line: select, poll, acknowledgements, data
// frames and their LRC check characters. Written once for the program's
// serial link and the serial polling library; the library's own addressing
// and framing rules are options.
#pragma once

#include <string>
#include <string_view>

namespace LinkFrame {

inline constexpr char SOH = 0x01;
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char EOT = 0x04;
inline constexpr char ENQ = 0x05;
inline constexpr char ACK = 0x06;
inline constexpr char NAK = 0x15;
inline constexpr char GS = 0x1D;
inline constexpr char RS = 0x1E;
inline constexpr char US = 0x1F;
inline constexpr char PollChar = 'P';
inline constexpr char SelectChar = 'S';

// A controller or terminal number travels as one character: the number + 0x20.
inline constexpr int kAddressBias = 0x20;
// The terminal the serial polling library addresses specially.
inline constexpr int kWrappedTerminal = 32;

struct Options {
    // Terminal 32 heads selects and data frames with 0x20 (the header inside
    // the text keeps 0x40) and is acknowledged with 0x21. The serial polling
    // library's rule; the program addresses terminal 32 as 0x40 everywhere.
    bool wrapTerminal32 = false;
    // A data frame without the "\A" terminal GS header.
    bool raw = false;
};

char AddressChar(int number);

std::string BuildSelectMsg(int controller, int terminal, Options options = {});
std::string BuildPollMsg(int controller, int terminal);
// The host's acknowledgement of a received record.
std::string BuildAckMsg(int controller, int terminal);
// The host's refusal of a record whose check characters are wrong.
std::string BuildNakMsg(int controller, int terminal);
// What a clock answers to an accepted select or data frame.
std::string ExpectedClockAck(int controller, int terminal, Options options = {});
// The header a data frame's text starts with: "\A", the terminal, GS.
std::string MessageHeader(int terminal);
// SOH, addresses, STX, header (unless raw), text, ETX, check characters, EOT.
std::string BuildDataFrame(int controller, int terminal, std::string_view text,
                           Options options = {});

// Check values of a frame: the XOR of every byte given, split into nibbles.
struct Lrc {
    int high = 0;
    int low = 0;
};
Lrc FrameLrc(std::string_view bytes);
// A nibble as it travels: "0".."9", ":".."?".
char LrcChar(int nibble);

// The serial polling library's check of a received frame: the XOR of its
// bytes through the first ETX must match the low 4 bits of the two characters
// after it. A frame without ETX, or too short to hold both characters after
// it, fails.
bool ReplyCheckGood(std::string_view reply);

} // namespace LinkFrame
