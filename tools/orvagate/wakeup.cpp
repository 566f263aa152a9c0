// SPDX-License-Identifier: Apache-2.0
#include "wakeup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace orvagate {

Wakeup::Wakeup() : descriptor(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (descriptor < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

Wakeup::~Wakeup() { ::close(descriptor); }

void Wakeup::signal() {
    if (!pending.exchange(true)) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(descriptor, &one, sizeof one);
    }
}

// Read first, then clear: a signal() between the two finds the flag set and
// writes nothing, but what it was for is seen after this returns. The other
// order could read away a signal's write and leave the flag set, and no
// signal would ever wake the thread again.
void Wakeup::drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(descriptor, &count, sizeof count);
    pending.store(false);
}

}  // namespace orvagate
