#include "LinkHome.h"

#include "TcpClock.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tevtest {

std::string clockAddress(int n)
{
    return "127.0.0." + std::to_string(n + 1);
}

std::string testHosts(int clocks)
{
    std::string hosts = "# test hosts\r\n127.0.0.1\tlocalhost\r\n127.0.0.1   tevhost001\r\n";
    for (int n = 1; n <= clocks; ++n) {
        std::string number = std::to_string(n);
        number.insert(0, number.size() < 3 ? 3 - number.size() : 0, '0');
        hosts += clockAddress(n) + "    tevterm" + number + "\r\n";
    }
    return hosts;
}

void linkLibraries(const std::string &dir)
{
    namespace fs = std::filesystem;
    for (const char *name : {"libtevtcp32.so", "libtevtcp95.so"}) {
        const fs::path link = fs::path(dir) / name;
        std::error_code ignored;
        fs::remove(link, ignored);
        fs::create_symlink(fs::path(TEV_LINK_LIBRARY_DIR) / name, link);
    }
}

uint16_t prepareTcpLink(const std::string &dir, int clocks)
{
    const std::string hosts = dir + "/hosts";
    std::ofstream(hosts, std::ios::binary | std::ios::trunc) << testHosts(clocks);
    const uint16_t port = freeLoopbackPort();
    setenv("TEV_HOSTS", hosts.c_str(), 1);
    setenv("TEV_TCP_PORT", std::to_string(port).c_str(), 1);
    return port;
}

} // namespace tevtest
