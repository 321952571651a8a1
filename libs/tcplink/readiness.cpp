#include "readiness.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace tevlink {

namespace {

// Level-triggered: what is left unread is reported again at the next pass.
bool add(int set, int key, int fd)
{
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u32 = static_cast<uint32_t>(key);
    return epoll_ctl(set, EPOLL_CTL_ADD, fd, &e) == 0;
}

}  // namespace

Readiness::~Readiness()
{
    forget();
}

bool Readiness::due(int64_t number)
{
    const bool due = fresh_ || number <= last_;
    fresh_ = false;
    last_ = number;
    return due;
}

void Readiness::learn(int listener, const cl_list (&clients)[kTableSize])
{
    if (set_ < 0 && !build(listener, clients)) {
        forget();
        return;
    }
    epoll_event events[kTableSize + 1];
    int n;
    do {
        n = epoll_wait(set_, events, static_cast<int>(std::size(events)), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        forget();
        return;
    }
    std::fill(std::begin(ready_), std::end(ready_), false);
    for (int k = 0; k < n; ++k)
        if (uint32_t key = events[k].data.u32; key <= static_cast<uint32_t>(kListener))
            ready_[key] = true;
}

bool Readiness::build(int listener, const cl_list (&clients)[kTableSize])
{
    set_ = epoll_create1(EPOLL_CLOEXEC);
    if (set_ < 0)
        return false;
    if (listener >= 0 && !add(set_, kListener, listener))
        return false;
    for (int i = 0; i < kTableSize; ++i)
        if (clients[i].ClSocket >= 0 && !add(set_, i, clients[i].ClSocket))
            return false;
    return true;
}

void Readiness::watch(int key, int fd)
{
    ready_[key] = true;
    if (set_ >= 0 && !add(set_, key, fd))
        forget();
}

void Readiness::unwatch(int key, int fd)
{
    // Explicitly, since a copy of the descriptor in a child process would
    // keep a closed socket in the set.
    if (set_ >= 0 && fd >= 0)
        epoll_ctl(set_, EPOLL_CTL_DEL, fd, nullptr);
    ready_[key] = set_ < 0;
}

void Readiness::forget()
{
    if (set_ >= 0)
        close(set_);
    set_ = -1;
    fresh_ = true;
    assumeAllReady();
}

void Readiness::assumeAllReady()
{
    // Without the set every socket is asked directly, as if ready.
    std::fill(std::begin(ready_), std::end(ready_), true);
}

}  // namespace tevlink
