// An application folder ready for the TCP/IP link: the built link libraries
// linked into it, a hosts file naming the PC and the emulated clocks, and a
// free listening port.
#pragma once

#include <cstdint>
#include <string>

namespace tevtest {

// Clock n of the hosts file connects from 127.0.0.(n + 1).
std::string clockAddress(int n);
// The PC on 127.0.0.1 as "tevhost001", clocks 1 to `clocks` as "tevterm" and
// three digits, after a comment and localhost. CR LF line ends.
std::string testHosts(int clocks = 40);

// Symbolic links to the built libtevtcp32.so and libtevtcp95.so in `dir`.
void linkLibraries(const std::string &dir);

// Writes `dir`/hosts, sets TEV_HOSTS to it and TEV_TCP_PORT to a free
// loopback port, and returns that port.
uint16_t prepareTcpLink(const std::string &dir, int clocks = 40);

} // namespace tevtest
