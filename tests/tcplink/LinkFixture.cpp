#include "LinkFixture.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tevtest {

namespace {
template <typename F>
bool bind(void *handle, const char *name, F &f)
{
    f = reinterpret_cast<F>(dlsym(handle, name));
    return f != nullptr;
}
}  // namespace

std::string LinkLibrary::load(const std::string &path)
{
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return dlerror();
    bool all = bind(handle, "InitComPort", InitComPort) && bind(handle, "PollTimeClock", PollTimeClock) &&
               bind(handle, "SetTimeClock", SetTimeClock) &&
               bind(handle, "SendMsgTimeClock", SendMsgTimeClock) &&
               bind(handle, "SendAckTimeClock", SendAckTimeClock) &&
               bind(handle, "SendNakTimeClock", SendNakTimeClock) &&
               bind(handle, "AckRequired", AckRequired) && bind(handle, "UnKnownIP", UnKnownIP) &&
               bind(handle, "DownloadTimeClock", DownloadTimeClock) &&
               bind(handle, "CloseCom", CloseCom) && bind(handle, "GetClientList", GetClientList) &&
               bind(handle, "ltoafixed", ltoafixed);
    return all ? "" : "an export is missing from " + path;
}

void LinkLibrary::unload()
{
    if (handle != nullptr)
        dlclose(handle);
    handle = nullptr;
}

std::string appDir()
{
    return TEV_APP_DIR_DEFAULT;
}

void LinkTest::SetUp()
{
    char pattern[] = "/tmp/tevtcp-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    hostsPath_ = dir_ + "/hosts";
    linkLibraries(dir_);
    port_ = prepareTcpLink(dir_);
    buffer_.assign(kProgramBuffer, kUntouched);
    std::string error = lib32_.load(dir_ + "/libtevtcp32.so");
    ASSERT_EQ(error, "");
}

void LinkTest::TearDown()
{
    lib32_.unload();
    lib95_.unload();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

LinkLibrary &LinkTest::lib95()
{
    if (lib95_.handle == nullptr) {
        EXPECT_EQ(lib95_.load(dir_ + "/libtevtcp95.so"), "");
    }
    return lib95_;
}

void LinkTest::writeHosts(const std::string &text)
{
    std::ofstream(hostsPath_, std::ios::binary | std::ios::trunc) << text;
}

void LinkTest::start(LinkLibrary &lib, bool diagnostics)
{
    intptr_t handle = 0;
    ASSERT_EQ(lib.InitComPort(&handle, 1, 9600, diagnostics ? 1 : 0, 7, 2), 0u);
    EXPECT_EQ(poll(lib, 1, 1).status, 2u);
}

Poll LinkTest::poll(LinkLibrary &lib, int controller, int clock)
{
    std::fill(buffer_.begin(), buffer_.end(), kUntouched);
    Poll p;
    p.status = lib.PollTimeClock(1, controller, clock, nullptr, buffer_.data());
    std::size_t end = buffer_.size();
    while (end > 0 && buffer_[end - 1] == kUntouched)
        --end;
    p.written = end;
    // Data, ETX, NUL: the NUL is the last byte written.
    if (p.status == 3 && end >= 2 && buffer_[end - 2] == '\x03' && buffer_[end - 1] == '\0')
        p.data.assign(buffer_.begin(), buffer_.begin() + static_cast<long>(end - 2));
    return p;
}

Poll LinkTest::pollWhile(LinkLibrary &lib, int controller, int clock, uint32_t whileStatus,
                         std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    Poll p = poll(lib, controller, clock);
    while (p.status == whileStatus && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        p = poll(lib, controller, clock);
    }
    return p;
}

void LinkTest::connectClock(LinkLibrary &lib, TcpClock &clock, int n)
{
    ASSERT_TRUE(clock.connected() || clock.connect());
    EXPECT_EQ(pollWhile(lib, controllerOf(n), terminalOf(n), 2).status, 0u) << "clock " << n;
}

uint32_t LinkTest::pollWithFile(const char *file, char *buffer)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    uint32_t status;
    do {
        status = lib32_.PollTimeClock(1, 1, 1, file, buffer);
    } while (status == 0 && std::chrono::steady_clock::now() < deadline);
    return status;
}

std::string LinkTest::collect(LinkLibrary &lib, int n, std::size_t bytes,
                              std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string got;
    while (got.size() < bytes && std::chrono::steady_clock::now() < deadline) {
        Poll p = poll(lib, controllerOf(n), terminalOf(n));
        if (p.status == 3)
            got += p.data;
        else if (p.status != 0)
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return got;
}

}  // namespace tevtest
