#include "TcpClock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace tevtest {
namespace {

constexpr char ETX = 0x03;
constexpr char GS = 0x1D;
constexpr char RS = 0x1E;
constexpr char US = 0x1F;
constexpr std::size_t kHeaderSize = 4;
constexpr auto kRetryStep = 10ms;
constexpr auto kQuiet = 30ms;
constexpr char kAckRequest[] = " TEV REQ";
constexpr char kAckOff[] = " TEV NOT";

bool isHeaderAt(std::string_view s, std::size_t i)
{
    return i + kHeaderSize <= s.size() && s[i] == '\\' && s[i + 1] == 'A' && s[i + 3] == GS;
}

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

uint16_t freeLoopbackPort()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    bool ok = bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
              getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length) == 0;
    close(fd);
    return ok ? ntohs(a.sin_port) : 0;
}

std::vector<PcMessage> splitMessages(std::string_view stream)
{
    std::vector<PcMessage> out;
    std::size_t i = 0;
    while (i < stream.size()) {
        PcMessage m;
        std::size_t start = i;
        if (isHeaderAt(stream, i)) {
            m.framed = true;
            m.clockChar = stream[i + 2];
            start = i + kHeaderSize;
        }
        std::size_t end = start;
        while (end < stream.size() && !isHeaderAt(stream, end))
            ++end;
        m.text = std::string(stream.substr(start, end - start));
        out.push_back(std::move(m));
        i = end;
    }
    return out;
}

namespace {
std::string recordHeader(int terminal)
{
    std::string r = "\\A";
    r += static_cast<char>(terminal + 0x20);
    r += GS;
    return r;
}
}  // namespace

std::string punchRecord(int terminal, std::string_view badge, std::string_view stamp, int function,
                        const std::vector<std::string> &fields)
{
    std::string r = recordHeader(terminal) + "P0";
    r += static_cast<char>('0' + function);
    r += RS;
    r += badge;
    r += RS;
    r += US;
    r += stamp;
    r += '0';
    for (const std::string &f : fields) {
        r += f;
        r += RS;
    }
    r += ETX;
    return r;
}

std::string keepAliveRecord(int terminal)
{
    return recordHeader(terminal) + " TEV KEEPALIVE";
}

TcpClock::TcpClock(std::string localAddress, uint16_t serverPort, std::string serverAddress)
    : localAddress_(std::move(localAddress)), serverAddress_(std::move(serverAddress)),
      serverPort_(serverPort)
{
}

TcpClock::~TcpClock()
{
    if (fd_ >= 0)
        close(fd_);
}

bool TcpClock::connect(std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, localAddress_.c_str(), &local.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(serverPort_);
    inet_pton(AF_INET, serverAddress_.c_str(), &server.sin_addr);

    while (Clock::now() < deadline) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (receiveBuffer_ > 0)
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer_, sizeof receiveBuffer_);
        if (bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            close(fd);
            return false;
        }
        int r = ::connect(fd, reinterpret_cast<sockaddr *>(&server), sizeof server);
        if (r != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, remainingMs(deadline)) == 1) {
                int error = 0;
                socklen_t length = sizeof error;
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
                r = error == 0 ? 0 : -1;
            }
        }
        if (r == 0) {
            // Each send leaves at once, as a clock's records do.
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            fd_ = fd;
            peerClosed_ = false;
            ackMode_ = false;  // a new connection starts without acknowledgements
            return true;
        }
        close(fd);
        std::this_thread::sleep_for(kRetryStep);
    }
    return false;
}

bool TcpClock::send(std::string_view bytes, std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
        if (fd_ < 0)
            return false;
        ssize_t r = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (r > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(r));
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, remainingMs(deadline)) <= 0)
            return false;
    }
    return true;
}

bool TcpClock::pump(std::chrono::milliseconds wait)
{
    if (fd_ < 0)
        return false;
    auto deadline = Clock::now() + wait;
    bool gotAny = false;
    for (;;) {
        int timeout = gotAny ? static_cast<int>(kQuiet.count()) : remainingMs(deadline);
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeout) <= 0)
            break;
        char block[4096];
        ssize_t r = recv(fd_, block, sizeof block, 0);
        if (r < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (r <= 0) {
            peerClosed_ = true;
            break;
        }
        stream_.append(block, static_cast<std::size_t>(r));
        gotAny = true;
    }
    applyAckRequests();
    return !peerClosed_;
}

bool TcpClock::waitForMessages(std::size_t count, std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    while (messages().size() < count && Clock::now() < deadline)
        if (!pump(std::chrono::milliseconds(remainingMs(deadline))))
            break;
    return messages().size() >= count;
}

void TcpClock::applyAckRequests()
{
    std::vector<PcMessage> all = messages();
    for (; scanned_ < all.size(); ++scanned_) {
        if (all[scanned_].text == kAckRequest)
            ackMode_ = true;
        else if (all[scanned_].text == kAckOff)
            ackMode_ = false;
    }
}

void TcpClock::disconnect()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

void TcpClock::reset()
{
    if (fd_ < 0)
        return;
    linger abortive{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close(fd_);
    fd_ = -1;
}

bool TcpClock::reconnect(std::chrono::milliseconds timeout)
{
    disconnect();
    stream_.clear();
    scanned_ = 0;
    return connect(timeout);
}

std::vector<double> sendAckPaced(std::vector<std::unique_ptr<TcpClock>> &clocks, int perClock,
                                 const std::function<std::string(int i, int k)> &record)
{
    constexpr std::string_view kAck = " TEV ACK";
    constexpr int kQuietGiveUpMs = 5000;
    const std::size_t count = clocks.size();
    std::vector<double> latencies;
    latencies.reserve(count * static_cast<std::size_t>(perClock));
    std::vector<int> acked(count, 0);
    std::vector<Clock::time_point> sentAt(count);
    std::vector<std::string> pending(count);
    std::vector<pollfd> fds(count);
    auto sendNext = [&](std::size_t i) {
        sentAt[i] = Clock::now();
        clocks[i]->send(record(static_cast<int>(i), acked[i]));
    };
    for (std::size_t i = 0; i < count; ++i) {
        fds[i] = {clocks[i]->fd(), POLLIN, 0};
        sendNext(i);
    }
    std::size_t finished = 0;
    while (finished < count) {
        if (::poll(fds.data(), fds.size(), kQuietGiveUpMs) <= 0)
            break;
        for (std::size_t i = 0; i < count; ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            char block[2048];
            ssize_t r = recv(fds[i].fd, block, sizeof block, 0);
            if (r <= 0)
                continue;
            pending[i].append(block, static_cast<std::size_t>(r));
            std::size_t at;
            while ((at = pending[i].find(kAck)) != std::string::npos) {
                pending[i].erase(0, at + kAck.size());
                latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sentAt[i]).count());
                if (++acked[i] == perClock)
                    ++finished;
                else
                    sendNext(i);
            }
        }
    }
    return latencies;
}

}  // namespace tevtest
