/* SPDX-License-Identifier: Apache-2.0 */
// Sockets of the simulator: an owned file descriptor, and a listener with the
// wake-up pipe that lets stop() end a thread blocked in poll().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>

namespace orvasim {

// Owns one file descriptor (socket or pipe end).
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd; }
    explicit operator bool() const { return fd >= 0; }
    int release() { return std::exchange(fd, -1); }
    void reset(int newFd = -1);

private:
    int fd = -1;
};

// A TCP listener on address:port (0 picks a free port) and a wake-up pipe.
struct WakeableListener {
    FileDescriptor socket, wakeRead, wakeWrite;
    std::uint16_t port = 0;  // the port actually bound

    // False, with the reason in error, when it cannot listen.
    bool open(const std::string& address, std::uint16_t requestedPort, int backlog, std::string* error);
    // Makes every poll() that watches wakeRead return.
    void wake() const;
    void close();
};

// A listener and the one thread that serves it, started and stopped from one
// thread: the server's accept loop, the control channel's poll loop.
class ServedListener {
public:
    // Binds, listens and runs serve on a thread of its own. False, with the
    // reason, when it cannot listen or runs already.
    bool start(const std::string& address, std::uint16_t port, int backlog, std::string* error,
               std::function<void()> serve);
    // Wakes every wait on the wake-up pipe and joins the serving thread; the
    // listener stays open until close(), for the other threads that watch it.
    void wakeAndJoin();
    void close();
    bool running() const { return running_; }

    WakeableListener listener;

private:
    std::jthread thread_;
    bool running_ = false;
};

}  // namespace orvasim
