// What the link knows of its sockets' readiness: learnt for all of them at
// once, at the start of each pass over the clocks, so that asking after a
// clock with nothing to say costs no system call. A pass goes up the clock
// numbers, as the poll loop does; asking the same clock again or a lower one
// starts the next pass. So a busy clock's next step reads its next record at
// once, and a caller that goes round in another order still learns of each
// event within a round.
#pragma once

#include "linkcore.h"

#include <tevlink.h>

#include <cstdint>

namespace tevlink {

class Readiness {
public:
    static constexpr int kListener = kTableSize;  // the key after the table's entries

    Readiness() { assumeAllReady(); }
    ~Readiness();
    Readiness(const Readiness &) = delete;
    Readiness &operator=(const Readiness &) = delete;

    // Counts a poll of clock `number`; true when readiness is to be learnt first.
    bool due(int64_t number);
    // Asks, without waiting, which of the listener and the table's sockets
    // have something waiting. Whatever cannot be learnt counts as ready.
    void learn(int listener, const cl_list (&clients)[kTableSize]);

    // A socket stored under `key`: ready until learnt otherwise, since its
    // connection may have brought data along.
    void watch(int key, int fd);
    // Before the socket under `key` is closed.
    void unwatch(int key, int fd);

    bool ready(int key) const { return ready_[key]; }
    // What was waiting under `key` has been taken.
    void taken(int key) { ready_[key] = false; }

    // Drops the set (on a new start or an unload); the next pass builds it anew.
    void forget();

private:
    bool build(int listener, const cl_list (&clients)[kTableSize]);
    void assumeAllReady();

    int set_ = -1;
    bool ready_[kTableSize + 1] = {};
    bool fresh_ = true;  // the next poll starts a pass whichever clock it asks
    int64_t last_ = 0;   // the clock the last poll asked
};

}  // namespace tevlink
