// Name look-ups of the TCP/IP link: the hosts file named by $TEV_HOSTS, read
// afresh at each look-up so a rewrite by the program takes effect at once.
// The system's own resolver and /etc/hosts are never used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tevlink::hosts {

// IPv4 addresses are in network byte order.

// The address of the first line that carries `name` among its names (any case).
std::optional<uint32_t> findAddress(std::string_view text, std::string_view name);

// The first name of the first line with address `address`.
std::optional<std::string> findName(std::string_view text, uint32_t address);

// The same over the file in $TEV_HOSTS; nothing when it is unset or unreadable.
std::optional<uint32_t> lookupAddress(std::string_view name);

// A reverse look-up over the file in $TEV_HOSTS. A file that could not be
// read (unset, no descriptor left, a read error) is no answer at all, which
// is not the same as a file without the address.
struct NameLookup {
    bool made = false;               // the file was read
    std::optional<std::string> name; // its name, when a line has the address
};
NameLookup lookupName(uint32_t address);

}  // namespace tevlink::hosts
