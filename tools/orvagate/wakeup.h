/* SPDX-License-Identifier: Apache-2.0 */
// A wake-up for a thread that waits in poll(): any thread may signal it, and
// signals that come while one is pending cost no system call.
#pragma once

#include <atomic>

namespace orvagate {

class Wakeup {
public:
    Wakeup();  // throws std::system_error without an eventfd
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    // The descriptor to poll for POLLIN.
    int fd() const { return descriptor; }
    void signal();
    // Called by the waiting thread once fd() is readable, before it looks at
    // what the signals were for: a signal after this wakes it again.
    void drain();

private:
    int descriptor;
    std::atomic<bool> pending{false};
};

}  // namespace orvagate
