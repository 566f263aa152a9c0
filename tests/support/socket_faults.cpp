// SPDX-License-Identifier: Apache-2.0
// Interposes socket, setsockopt, send and poll for the programs that link it;
// each forwards to the next definition (the C library's) found by dlsym.
#include "socket_faults.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <mutex>
#include <set>

namespace {

template <class F>
F next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

using SocketFn = int (*)(int, int, int);
using SetsockoptFn = int (*)(int, int, int, const void*, socklen_t);
using SendFn = ssize_t (*)(int, const void*, size_t, int);
using PollFn = int (*)(pollfd*, nfds_t, int);

struct Faults {
    bool armed = false;
    std::set<int> watched;
    int failSocketError = 0;
    int failOptionName = -1;
    int failOptionError = 0;
    int cutIndex = -1;
    int cutKeep = 0;
    int cutError = 0;
    bool failNextSend = false;
    int lateIndex = -1;
    int lateKeep = 0;
    int lateDelayMs = 0;
    int stallFrom = -1;
    int sends = 0;
};

struct State : Faults {
    std::mutex mutex;
};

State& state() {
    static State s;
    return s;
}

bool isWatched(State& s, int fd) { return s.armed && s.watched.count(fd) != 0; }

// Waits on fd for nothing, so the wait lasts its whole time-out unless a signal ends it.
int waitOutTimeout(int fd, int timeoutMs) {
    static const PollFn realPoll = next<PollFn>("poll");
    pollfd p{fd, 0, 0};
    return realPoll(&p, 1, timeoutMs);
}

int sendTimeoutMs(int fd) {
    timeval tv{};
    socklen_t size = sizeof tv;
    if (::getsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, &size) != 0) return 0;
    const long long ms = static_cast<long long>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
    return ms == 0 ? -1 : static_cast<int>(ms > INT_MAX ? INT_MAX : ms);
}

}  // namespace

namespace orvatest::faults {

void reset() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    static_cast<Faults&>(s) = Faults{};
}

namespace {
// Sets a fault under the lock and arms the interposer.
template <typename Change>
void arm(Change change) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.armed = true;
    change(s);
}
}  // namespace

void failNextSocket(int error) {
    arm([&](State& s) { s.failSocketError = error; });
}

void failOption(int option, int error) {
    arm([&](State& s) {
        s.failOptionName = option;
        s.failOptionError = error;
    });
}

void cutSend(int sendIndex, int keepBytes, int error) {
    arm([&](State& s) {
        s.cutIndex = sendIndex;
        s.cutKeep = keepBytes;
        s.cutError = error;
    });
}

void stallSends(int sendIndex) {
    arm([&](State& s) { s.stallFrom = sendIndex; });
}

void sendPartLateThenStall(int sendIndex, int keepBytes, int delayMs) {
    arm([&](State& s) {
        s.lateIndex = sendIndex;
        s.lateKeep = keepBytes;
        s.lateDelayMs = delayMs;
    });
}

int sendsSeen() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.sends;
}

}  // namespace orvatest::faults

extern "C" {

int socket(int domain, int type, int protocol) {
    static const SocketFn real = next<SocketFn>("socket");
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (s.armed && s.failSocketError != 0) {
            errno = s.failSocketError;
            s.failSocketError = 0;
            return -1;
        }
    }
    const int fd = real(domain, type, protocol);
    if (fd >= 0) {
        std::lock_guard lock(s.mutex);
        if (s.armed) s.watched.insert(fd);
    }
    return fd;
}

int setsockopt(int fd, int level, int name, const void* value, socklen_t length) {
    static const SetsockoptFn real = next<SetsockoptFn>("setsockopt");
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (isWatched(s, fd) && level == SOL_SOCKET && name == s.failOptionName) {
            errno = s.failOptionError;
            return -1;
        }
    }
    return real(fd, level, name, value, length);
}

ssize_t send(int fd, const void* data, size_t length, int flags) {
    static const SendFn real = next<SendFn>("send");
    State& s = state();
    std::unique_lock lock(s.mutex);
    if (!isWatched(s, fd)) {
        lock.unlock();
        return real(fd, data, length, flags);
    }
    const int index = s.sends++;
    if (s.failNextSend) {
        s.failNextSend = false;
        errno = s.cutError;
        return -1;
    }
    if (index == s.lateIndex) {
        s.stallFrom = index + 1;
        const size_t keep = static_cast<size_t>(s.lateKeep) < length ? static_cast<size_t>(s.lateKeep) : length;
        const int delayMs = s.lateDelayMs;
        lock.unlock();
        // Only a blocking send waits for room; a signal ends its wait (errno EINTR).
        if ((flags & MSG_DONTWAIT) == 0 && waitOutTimeout(fd, delayMs) < 0) return -1;
        return real(fd, data, keep, flags);
    }
    if (index == s.cutIndex) {
        s.failNextSend = true;
        const size_t keep = static_cast<size_t>(s.cutKeep) < length ? static_cast<size_t>(s.cutKeep) : length;
        lock.unlock();
        return real(fd, data, keep, flags);
    }
    if (s.stallFrom >= 0 && index >= s.stallFrom) {
        lock.unlock();
        if ((flags & MSG_DONTWAIT) != 0) {
            errno = EAGAIN;
            return -1;
        }
        // As a blocking send into a full buffer: the socket's time-out, or a signal.
        if (waitOutTimeout(fd, sendTimeoutMs(fd)) < 0) return -1;  // errno EINTR
        errno = EAGAIN;
        return -1;
    }
    lock.unlock();
    return real(fd, data, length, flags);
}

int poll(pollfd* fds, nfds_t count, int timeoutMs) {
    static const PollFn real = next<PollFn>("poll");
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (s.armed && s.stallFrom >= 0 && s.sends >= s.stallFrom) {
            for (nfds_t i = 0; i < count; ++i)
                if (isWatched(s, fds[i].fd)) fds[i].events = static_cast<short>(fds[i].events & ~POLLOUT);
        }
    }
    return real(fds, count, timeoutMs);
}

}  // extern "C"
