// SPDX-License-Identifier: Apache-2.0
#include "sim_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvasim {

void FileDescriptor::reset(int newFd) {
    if (fd >= 0) ::close(fd);
    fd = newFd;
}

bool WakeableListener::open(const std::string& address, std::uint16_t requestedPort, int backlog, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    auto failErrno = [&fail](const std::string& what) { return fail(what + ": " + std::strerror(errno)); };
    sockaddr_in wanted{};
    wanted.sin_family = AF_INET;
    wanted.sin_port = htons(requestedPort);
    if (::inet_pton(AF_INET, address.c_str(), &wanted.sin_addr) != 1) return fail("not an IPv4 address: " + address);
    FileDescriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener) return failErrno("socket");
    const int one = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&wanted), sizeof wanted) != 0)
        return failErrno("bind to " + address + ":" + std::to_string(requestedPort));
    if (::listen(listener.get(), backlog) != 0) return failErrno("listen");
    sockaddr_in bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&bound), &boundLength);
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return failErrno("pipe");
    wakeRead.reset(pipeEnds[0]);
    wakeWrite.reset(pipeEnds[1]);
    socket = std::move(listener);
    port = ntohs(bound.sin_port);
    return true;
}

void WakeableListener::wake() const {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(wakeWrite.get(), &byte, 1);
}

void WakeableListener::close() {
    socket.reset();
    wakeRead.reset();
    wakeWrite.reset();
}

bool ServedListener::start(const std::string& address, std::uint16_t port, int backlog, std::string* error,
                           std::function<void()> serve) {
    if (running_) {
        if (error) *error = "already running";
        return false;
    }
    if (!listener.open(address, port, backlog, error)) return false;
    running_ = true;
    thread_ = std::jthread(std::move(serve));
    return true;
}

void ServedListener::wakeAndJoin() {
    listener.wake();
    if (thread_.joinable()) thread_.join();
}

void ServedListener::close() {
    listener.close();
    running_ = false;
}

}  // namespace orvasim
