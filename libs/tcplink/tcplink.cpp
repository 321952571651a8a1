// The TCP/IP clock link: the PC is the server, the clocks connect to it and
// are known by the host name of their address. Nothing runs between calls:
// connections are accepted inside the poll call.
#include <tevlink.h>

#include "hostsfile.h"
#include "linkcore.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

using namespace tevlink;

namespace {

constexpr uint16_t kDefaultPort = 2500;
constexpr int kListenBacklog = 1;
constexpr int kReceiveBufferBytes = 1500;
constexpr int kSendBufferBytes = 750;
constexpr int kWaitStepMs = 20;
constexpr int kWaitSteps = 50;  // about a second for a clock to take a message
constexpr int kReconnection = 3;  // AddClientList: stored, acknowledgement mode carried over
constexpr int kRefusedEntry = -1;
// The hosts file could not be read: nothing is known of the caller, not
// even that it is unknown.
constexpr int kNotLookedUp = -2;

constexpr char kAck[] = " TEV ACK";
constexpr char kNak[] = " TEV NAK";
constexpr char kAckRequest[] = " TEV REQ";
constexpr char kAckOff[] = " TEV NOT";

struct LinkState {
    int serverListen = -1;
    int clientSocket = -1;
    sockaddr_in clientAddress{};
    int errorCode = -1;
    cl_list clients[kTableSize];
    int ackEnable[kTableSize] = {};
    unsigned debug = 0;
    int enConnect = 0;
    int firstPoll = 0;
    intptr_t dummyHandle = 0;
    uint32_t dummyUint = 0;
    char dummyChar = 0;

    LinkState()
    {
        for (cl_list &c : clients) {
            c.ClSocket = -1;
            c.ClIpAddress = 0;
            c.ClNameStr[0] = '\0';
        }
    }
    // Unloading the library must not leave the port held.
    ~LinkState() { closeAll(); }

    void closeAll()
    {
        if (serverListen >= 0)
            close(serverListen);
        serverListen = -1;
        for (cl_list &c : clients) {
            if (c.ClSocket >= 0)
                close(c.ClSocket);
            c.ClSocket = -1;
        }
        clientSocket = -1;
    }
};

LinkState g;

// Diagnostics go to standard output with a line feed before and after.
__attribute__((format(printf, 1, 2))) void diag(const char *format, ...)
{
    if (g.debug != 1)
        return;
    std::va_list args;
    va_start(args, format);
    std::fputc('\n', stdout);
    std::vfprintf(stdout, format, args);
    std::fputc('\n', stdout);
    va_end(args);
    std::fflush(stdout);
}

// The same without the leading line feed, for the texts that end a report.
__attribute__((format(printf, 1, 2))) void diagTail(const char *format, ...)
{
    if (g.debug != 1)
        return;
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    std::fputc('\n', stdout);
    va_end(args);
    std::fflush(stdout);
}

std::string dotted(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

void pauseMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The entry that `name` addresses: a used one first, so that a name left on a
// freed entry never hides the clock's live connection; else a freed one that
// still carries the name (its acknowledgement flag is still meaningful).
int findEntry(const std::string &name)
{
    // Every poll call looks its clock up: the compare starts with the end and
    // the last character, which tell clock names apart, before the rest.
    const std::size_t n = name.size();
    if (n == 0 || n >= sizeof g.clients[0].ClNameStr || name.find('\0') != std::string::npos)
        return -1;
    int freed = -1;
    for (int i = 0; i < kTableSize; ++i) {
        const char *entry = g.clients[i].ClNameStr;
        if (entry[n] != '\0' || entry[n - 1] != name[n - 1] || std::memcmp(entry, name.data(), n) != 0)
            continue;
        if (g.clients[i].ClSocket >= 0)
            return i;
        if (freed < 0)
            freed = i;
    }
    return freed;
}

// Closes and frees entry `i`; its address and acknowledgement flag stay so a
// reconnecting clock is recognised. 1 closed, -1 the close failed.
int removeEntry(int i)
{
    cl_list &c = g.clients[i];
    int result = 1;
    if (c.ClSocket >= 0 && close(c.ClSocket) != 0) {
        g.errorCode = errno;
        diag("Error closing socket with disconnect,WSAGetLastError() = %d", g.errorCode);
        result = -1;
    }
    c.ClSocket = -1;
    c.ClNameStr[0] = '\0';
    return result;
}

int removeBySocket(int fd)
{
    if (fd < 0)
        return 0;
    for (int i = 0; i < kTableSize; ++i)
        if (g.clients[i].ClSocket == fd)
            return removeEntry(i);
    return 0;
}

void connectionError(int i)
{
    diag("Connection lost while receiving from = %s", g.clients[i].ClNameStr);
    if (removeEntry(i) == 1)
        diagTail("Closing socket connection complete");
    else
        diagTail("Error closing socket with disconnect,WSAGetLastError() = %d", g.errorCode);
}

// Stores a new connection. Returns the entry (with `reconnected` telling
// whether acknowledgement mode carried over), kRefusedEntry or kNotLookedUp.
int addClient(int fd, uint32_t address, bool &reconnected)
{
    reconnected = false;
    hosts::NameLookup lookup = hosts::lookupName(address);
    if (!lookup.made)
        return kNotLookedUp;
    std::optional<std::string> &name = lookup.name;
    if (!name) {
        diag("Connection request failed unknow IP address = %s", dotted(address).c_str());
        return kRefusedEntry;
    }
    for (int i = 0; i < kTableSize; ++i) {
        if (g.clients[i].ClIpAddress != address)
            continue;
        if (g.ackEnable[i]) {
            reconnected = true;
            g.ackEnable[i] = 0;
        }
        removeEntry(i);
    }
    // Prefer a free entry that remembers no other clock's acknowledgement
    // mode, so that clock still finds its mode when it comes back.
    int slot = -1;
    for (int i = 0; i < kTableSize && slot < 0; ++i)
        if (g.clients[i].ClSocket < 0 && !g.ackEnable[i])
            slot = i;
    for (int i = 0; i < kTableSize && slot < 0; ++i)
        if (g.clients[i].ClSocket < 0)
            slot = i;
    if (slot < 0)
        return kRefusedEntry;
    cl_list &c = g.clients[slot];
    g.ackEnable[slot] = reconnected ? 1 : 0;
    c.ClSocket = fd;
    c.ClIpAddress = address;
    // Clock names are ten characters; a longer name is kept cut, and is never a clock's.
    std::snprintf(c.ClNameStr, sizeof c.ClNameStr, "%s", name->c_str());
    return slot;
}

// Waits until `fd` takes data, in 20 ms steps counted in `waits`.
bool waitWritable(int fd, int &waits)
{
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        int r = ::poll(&p, 1, 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (p.revents & POLLNVAL)) {
            g.errorCode = r < 0 ? errno : EBADF;
            diag("Error while testing transmitter ready,WSAGetLastError() = %d", g.errorCode);
            return false;
        }
        // An error or hang-up is "ready" too: the send then reports it.
        if (p.revents & (POLLOUT | POLLERR | POLLHUP))
            return true;
        if (++waits >= kWaitSteps)
            return false;
        pauseMs(kWaitStepMs);
    }
}

uint32_t sendToEntry(int i, const std::string &frame)
{
    int fd = g.clients[i].ClSocket;
    if (fd < 0)
        return kNotSent;
    int waits = 0;
    if (!waitWritable(fd, waits))
        return kNotSent;
    std::size_t sent = 0;
    while (sent < frame.size()) {
        ssize_t r = send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // A broken connection stays in the table until a poll finds it.
            g.errorCode = errno;
            return kNotSent;
        }
        if (r > 0)
            sent += static_cast<std::size_t>(r);
        else
            g.errorCode = errno;
        if (sent < frame.size() && !waitWritable(fd, waits)) {
            // Half a message would garble the next one: the clock must
            // reconnect to a clean stream.
            if (sent > 0)
                removeEntry(i);
            return kNotSent;
        }
    }
    int after = 0;
    return waitWritable(fd, after) ? kDone : kNotSent;
}

uint32_t xmitData(intptr_t hdcomport, int controller, int clock, std::string_view text)
{
    g.dummyHandle = hdcomport;
    ClockTarget target = clockTarget(controller, clock);
    std::string frame;
    if (!buildFrame(frame, target, text))
        return kNotSent;
    int i = findEntry(clockName(target.number));
    if (i < 0)
        return kNotSent;
    return sendToEntry(i, frame);
}

// After a reconnection in acknowledgement mode, asks the clock that came back
// (not the one being polled) to expect acknowledgements again.
void renewAckMode(int i)
{
    int n = clockNumberOfName(g.clients[i].ClNameStr);
    if (n <= 0)
        return;
    int clock = (n - 1) % kClocksPerController + 1;
    std::string frame;
    buildFrame(frame, ClockTarget{clock, n, false}, kAckRequest);
    sendToEntry(i, frame);
}

enum class Accepted { None, Some, Refused };

// Accepts every waiting connection. After a refused one, or one that could
// not be looked up, the connections behind it wait for the next call.
Accepted acceptConnections()
{
    Accepted result = Accepted::None;
    while (g.enConnect == 1) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int fd = accept4(g.serverListen, reinterpret_cast<sockaddr *>(&peer), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            g.errorCode = errno;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                diag("Error while awaiting client connection ,WSAGetLastError() = %d", g.errorCode);
            return result;
        }
        result = Accepted::Some;
        g.clientSocket = fd;
        uint32_t address = peer.sin_addr.s_addr;
        diag("Connection request from IP address = %s", dotted(address).c_str());
        bool reconnected = false;
        int i = addClient(fd, address, reconnected);
        // A caller that could not be looked up is not refused as unknown:
        // it connects again and is looked up then.
        if (i != kNotLookedUp)
            g.clientAddress = peer;
        if (i < 0) {
            diag("Connection request denied");
            close(fd);
            g.clientSocket = -1;
            return i == kNotLookedUp ? result : Accepted::Refused;
        }
        int on = 1;
        if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
            g.errorCode = errno;
            diag("Setup socket option TCP No Delay failed while connecting,WSAGetLastError() = %d",
                 g.errorCode);
            removeBySocket(fd);
            continue;
        }
        diag("Connection complete with terminal");
        if (reconnected)
            renewAckMode(i);
    }
    return result;
}

// The listening port: $TEV_TCP_PORT, else the services database, else 2500.
// 0 when $TEV_TCP_PORT holds no port number.
uint16_t listeningPort()
{
    if (const char *text = std::getenv("TEV_TCP_PORT"); text != nullptr && *text != '\0') {
        char *end = nullptr;
        errno = 0;
        long port = std::strtol(text, &end, 10);
        if (errno != 0 || *end != '\0' || port < 1 || port > 65535)
            return 0;
        return htons(static_cast<uint16_t>(port));
    }
    servent entry{};
    servent *found = nullptr;
    char scratch[1024];
    if (getservbyname_r(HostAlias, "tcp", &entry, scratch, sizeof scratch, &found) == 0 && found)
        return static_cast<uint16_t>(found->s_port);
    diag("Using default port number = %d", kDefaultPort);
    return htons(kDefaultPort);
}

struct SocketOption {
    int level;
    int name;
    const void *value;
    socklen_t size;
    const char *failure;
};

uint32_t findAndSend(intptr_t hdcomport, int controller, int clock, const char *text,
                     bool needsAckMode)
{
    int i = findEntry(clockName(clockTarget(controller, clock).number));
    if (i < 0)
        return kDone;
    if (needsAckMode && !g.ackEnable[i])
        return kNotSent;
    return xmitData(hdcomport, controller, clock, text);
}

}  // namespace

extern "C" {

TEVLINK_API uint32_t InitComPort(intptr_t *lphdcomport, uint32_t comport, uint32_t baudrate,
                                 char parity, char bytesize, char stopbits)
{
    g.dummyHandle = lphdcomport ? *lphdcomport : 0;
    g.dummyUint = comport;
    g.dummyUint = baudrate;
    g.dummyChar = bytesize;
    g.dummyChar = stopbits;
    g.debug = static_cast<unsigned>(static_cast<int>(static_cast<signed char>(parity)));

    // A new start releases every socket of the previous one; entries keep
    // their addresses, names and acknowledgement flags.
    g.closeAll();
    // The new socket listens only once it is bound and non-blocking: a
    // listen on a socket that a failed start left unbound would take any
    // port on every address, and its blocking accept would hang the poll.
    g.firstPoll = 0;
    g.errorCode = 0;
    diag("Network started up with version = %d.%d", 1, 1);

    g.serverListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (g.serverListen < 0) {
        g.errorCode = errno;
        diag("Unable to open host socket,WSAGetLastError() = %d", g.errorCode);
        return static_cast<uint32_t>(g.errorCode);
    }

    uint16_t port = listeningPort();
    if (port == 0) {
        g.errorCode = EINVAL;
        return static_cast<uint32_t>(g.errorCode);
    }

    std::optional<uint32_t> own = hosts::lookupAddress(HostAlias);
    if (!own) {
        g.errorCode = ENOENT;
        diag("Can't find local IP address,WSAgetLastError() = %d", g.errorCode);
        return static_cast<uint32_t>(g.errorCode);
    }

    const linger noLinger{1, 0};
    const int on = 1;
    const int receiveBytes = kReceiveBufferBytes;
    const int sendBytes = kSendBufferBytes;
    const SocketOption options[] = {
        {SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger, "Setup socket option Linger failed"},
        {SOL_SOCKET, SO_REUSEADDR, &on, sizeof on, "Setup socket option Reuse Address failed"},
        {SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on, "Setup socket option Keep Alive failed"},
        {SOL_SOCKET, SO_OOBINLINE, &on, sizeof on, "Setup socket option Out of Band failed"},
        {SOL_SOCKET, SO_RCVBUF, &receiveBytes, sizeof receiveBytes,
         "Setup socket option Receive Buffer Size failed"},
        {SOL_SOCKET, SO_SNDBUF, &sendBytes, sizeof sendBytes,
         "Setup socket option Send Buffer Size failed"},
        {IPPROTO_TCP, TCP_NODELAY, &on, sizeof on, "Setup socket option TCP No Delay failed"},
    };
    // Every option is tried; the last failure is the result.
    int optionError = 0;
    for (const SocketOption &o : options) {
        if (setsockopt(g.serverListen, o.level, o.name, o.value, o.size) != 0) {
            optionError = g.errorCode = errno;
            diag("%s,WSAGetLastError() = %d", o.failure, optionError);
        }
    }
    if (optionError != 0)
        return static_cast<uint32_t>(optionError);

    int flags = fcntl(g.serverListen, F_GETFL);
    if (flags < 0 || fcntl(g.serverListen, F_SETFL, flags | O_NONBLOCK) != 0) {
        g.errorCode = errno;
        diag("Socket nonblocking command failed,WSAGetLastError() = %d", g.errorCode);
        return static_cast<uint32_t>(g.errorCode);
    }

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = port;
    local.sin_addr.s_addr = *own;
    if (bind(g.serverListen, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        g.errorCode = errno;
        diag("Bind failed,WSAGetLastError() = %d", g.errorCode);
        return static_cast<uint32_t>(g.errorCode);
    }

    g.enConnect = 1;
    g.firstPoll = 1;
    return 0;
}

TEVLINK_API uint32_t PollTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock,
                                   const char *file, char *buffer)
{
    g.dummyHandle = hdcomport;
    if (g.firstPoll) {
        listen(g.serverListen, kListenBacklog);
        g.firstPoll = 0;
    }
    const std::string name =
        clockName((static_cast<int64_t>(controller) - 1) * kClocksPerController + clock);
    int i = findEntry(name);

    // One look, without waiting, at the listener and the asked clock's
    // socket as they are now: a call with nothing waiting costs this one
    // system call. What the look cannot tell is asked directly.
    pollfd look[] = {{g.enConnect == 1 ? g.serverListen : -1, POLLIN, 0},
                     {i >= 0 ? g.clients[i].ClSocket : -1, POLLIN, 0}};
    int seen;
    do {
        seen = ::poll(look, std::size(look), 0);
    } while (seen < 0 && errno == EINTR);
    bool lookHolds = seen >= 0;
    if (seen < 0 || look[0].revents != 0) {
        Accepted accepted = acceptConnections();
        if (accepted == Accepted::Refused)
            return kRefused;
        if (accepted == Accepted::Some) {
            // The clock's entry may have a new connection, which may have brought data along.
            i = findEntry(name);
            lookHolds = false;
        }
    }
    if (buffer)
        buffer[0] = '\0';
    if (i < 0 || g.clients[i].ClSocket < 0)
        return kNotConnected;
    if (lookHolds && look[1].revents == 0) {
        g.errorCode = EWOULDBLOCK;
        if (buffer)
            buffer[0] = EOT;
        return kDone;
    }
    int fd = g.clients[i].ClSocket;

    char area[kReceiveArea];
    // With nowhere to put the data, leave it waiting rather than lose it.
    int flags = (buffer == nullptr && file == nullptr) ? MSG_PEEK | MSG_DONTWAIT : MSG_DONTWAIT;
    ssize_t got;
    do {
        got = recv(fd, area, kReceiveMax, flags);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        g.errorCode = errno;
        if (buffer)
            buffer[0] = EOT;
        return kDone;
    }
    if (got <= 0) {
        if (got < 0)
            g.errorCode = errno;
        connectionError(i);
        return kNotConnected;
    }
    if (buffer == nullptr && file == nullptr)
        return kFileError;

    std::size_t k = static_cast<std::size_t>(got);
    if (buffer) {
        std::memcpy(buffer, area, k);
        buffer[k] = ETX;
        buffer[k + 1] = '\0';
    }
    if (file == nullptr)
        return kDataReceived;

    area[k] = CR;
    area[k + 1] = '\0';
    int out = open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_SYNC, 0644);
    int code = 0;
    if (out < 0) {
        code = errno;
        diag("Error opening output file!!");
    } else {
        std::size_t done = 0;
        while (done < k + 1 && code == 0) {
            ssize_t w = write(out, area + done, k + 1 - done);
            if (w > 0)
                done += static_cast<std::size_t>(w);
            else if (w == 0)
                code = EIO;
            else if (errno != EINTR)
                code = errno;
        }
        if (close(out) != 0 && code == 0)
            code = errno;
    }
    if (code != 0) {
        g.errorCode = code;
        diag("Error while writting receive data to file,WSAGetLastError() = %d", code);
        return kFileError;
    }
    return kDataReceived;
}

TEVLINK_API uint32_t SetTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock)
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return xmitData(hdcomport, controller, clock, timeCommand(local));
}

TEVLINK_API uint32_t SendMsgTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock,
                                      const char *msg)
{
    if (msg == nullptr || std::strlen(msg) > kMaxMessageText)
        return kNotSent;
    return xmitData(hdcomport, controller, clock, msg);
}

TEVLINK_API uint32_t SendAckTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock)
{
    return findAndSend(hdcomport, controller, clock, kAck, true);
}

TEVLINK_API uint32_t SendNakTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock)
{
    return findAndSend(hdcomport, controller, clock, kNak, true);
}

TEVLINK_API uint32_t AckRequired(intptr_t hdcomport, int32_t controller, int32_t clock,
                                 int32_t TEV_en)
{
    int i = findEntry(clockName(clockTarget(controller, clock).number));
    if (i < 0)
        return 0;
    g.ackEnable[i] = TEV_en != 0 ? 1 : 0;
    uint32_t r = xmitData(hdcomport, controller, clock, TEV_en != 0 ? kAckRequest : kAckOff);
    return r == kDone ? 1 : 0;
}

TEVLINK_API uint32_t UnKnownIP(char *BadAddr)
{
    if (BadAddr != nullptr)
        std::snprintf(BadAddr, INET_ADDRSTRLEN, "%s", dotted(g.clientAddress.sin_addr.s_addr).c_str());
    return kRefused;
}

TEVLINK_API uint32_t DownloadTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock,
                                       const char *file)
{
    if (file == nullptr)
        return kFileError;
    int in = open(file, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return kFileError;
    posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);

    // Every line goes framed, to clock - 128 when a raw clock was named.
    int lineClock = clock >= kRawClockBase ? clock - kRawClockBase : clock;
    DownloadIo io;
    io.read = [in](char *block, std::size_t size) -> long {
        ssize_t got;
        do {
            got = read(in, block, size);
        } while (got < 0 && errno == EINTR);
        return static_cast<long>(got);
    };
    io.send = [&](const std::string &line) { return xmitData(hdcomport, controller, lineClock, line); };
    io.pause = pauseMs;
    uint32_t result = runDownload(io);
    if (close(in) != 0)
        return kFileError;
    return result;
}

TEVLINK_API uint32_t CloseCom(void)
{
    if (g.serverListen >= 0)
        close(g.serverListen);
    g.serverListen = -1;
    for (cl_list &c : g.clients)
        if (c.ClSocket >= 0)
            shutdown(c.ClSocket, SHUT_WR);
    g.enConnect = 0;
    return 1;
}

TEVLINK_API struct cl_list *GetClientList(const char *HostNamePtr)
{
    if (HostNamePtr == nullptr)
        return nullptr;
    for (cl_list &c : g.clients)
        if (std::strcmp(c.ClNameStr, HostNamePtr) == 0)
            return &c;
    return nullptr;
}

TEVLINK_API void ltoafixed(uint32_t val, char *ptr, int32_t radix, int32_t digits)
{
    formatFixed(val, ptr, radix, digits);
}

}  // extern "C"
