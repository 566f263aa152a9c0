// SPDX-License-Identifier: Apache-2.0
#include "loopback.h"

#include "wire_format.h"

#include <chrono>
#include <cstdlib>
#include <utility>

#if defined(_WIN32)
#  include <winsock2.h>
#  include <ws2tcpip.h>
using NativeSocket = SOCKET;
#else
#  include <arpa/inet.h>
#  include <fcntl.h>
#  include <netinet/in.h>
#  include <netinet/tcp.h>
#  include <sys/select.h>
#  include <sys/socket.h>
#  include <unistd.h>
using NativeSocket = int;
#endif

namespace orvaext {
namespace {

using orva::wire::isoTcpPort;
// A probe connect that has not completed after this long is taken as hanging.
constexpr int probeWaitMs = 300;
// More probes than any accept queue of a backlog-0 listener holds.
constexpr int maxProbes = 8;

NativeSocket native(std::intptr_t s) { return static_cast<NativeSocket>(s); }

std::intptr_t openTcp() {
    const NativeSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
#if defined(_WIN32)
    if (s == INVALID_SOCKET) return -1;
#else
    if (s < 0) return -1;
#endif
    return static_cast<std::intptr_t>(s);
}

void setBlocking(std::intptr_t s, bool blocking) {
#if defined(_WIN32)
    u_long nonBlocking = blocking ? 0 : 1;
    ::ioctlsocket(native(s), FIONBIO, &nonBlocking);
#else
    const int flags = ::fcntl(native(s), F_GETFL, 0);
    ::fcntl(native(s), F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
#endif
}

sockaddr_in addressOf(const std::string& address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
}

timeval toTimeval(int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

// Waits until s is readable (or writable); true when it is within ms.
bool waitFor(std::intptr_t s, bool forWriting, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(native(s), &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(native(s), &failed);
    timeval limit = toTimeval(ms);
    const int nfds = static_cast<int>(native(s)) + 1;  // ignored by Windows
    const int r =
        forWriting ? ::select(nfds, nullptr, &set, &failed, &limit) : ::select(nfds, &set, nullptr, nullptr, &limit);
    return r > 0;
}

enum class ConnectState { connected, failed, pending };

// A non-blocking connect, and its state after at most waitMs.
ConnectState connectWithin(std::intptr_t s, const std::string& address, std::uint16_t port, int waitMs) {
    const sockaddr_in a = addressOf(address, port);
    setBlocking(s, false);
    const bool immediate = ::connect(native(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    if (!immediate && !waitFor(s, true, waitMs)) return ConnectState::pending;
    int error = 0;
#if defined(_WIN32)
    int size = sizeof error;
#else
    socklen_t size = sizeof error;
#endif
    ::getsockopt(native(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
    return error == 0 ? ConnectState::connected : ConnectState::failed;
}

}  // namespace

SocketLayer::SocketLayer() {
#if defined(_WIN32)
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) std::abort();
#endif
}

SocketLayer::~SocketLayer() {
#if defined(_WIN32)
    ::WSACleanup();
#endif
}

void SocketTraits::close(Handle socket) {
#if defined(_WIN32)
    ::closesocket(native(socket));
#else
    ::close(native(socket));
#endif
}

bool LineClient::connect(const std::string& address, std::uint16_t port, int timeoutMs) {
    socket = Socket(openTcp());
    input.clear();
    if (!socket || connectWithin(socket.get(), address, port, timeoutMs) != ConnectState::connected) {
        socket.reset();
        return false;
    }
    setBlocking(socket.get(), true);
    const int one = 1;
    ::setsockopt(native(socket.get()), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return true;
}

bool LineClient::sendAll(std::string_view text) {
    while (!text.empty()) {
        const auto r = ::send(native(socket.get()), text.data(), static_cast<int>(text.size()), 0);
        if (r <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(r));
    }
    return true;
}

std::optional<std::string> LineClient::readLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (const auto end = input.find('\n'); end != std::string::npos) {
            std::string line = input.substr(0, end);
            input.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !waitFor(socket.get(), false, static_cast<int>(left.count()))) return std::nullopt;
        char buffer[4096];
        const auto r = ::recv(native(socket.get()), buffer, sizeof buffer, 0);
        if (r <= 0) return std::nullopt;
        input.append(buffer, static_cast<std::size_t>(r));
    }
}

BlackHoleListener::BlackHoleListener(const std::string& address) : listener(openTcp()) {
    const sockaddr_in a = addressOf(address, isoTcpPort);
    const int one = 1;
    ::setsockopt(native(listener.get()), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one);
    if (::bind(native(listener.get()), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(native(listener.get()), 0) != 0)
        return;
    // The first one or two probes fill the accept queue; the one after that hangs.
    for (int i = 0; i < maxProbes && !hanging; ++i) {
        Socket probe(openTcp());
        const ConnectState state = connectWithin(probe.get(), address, isoTcpPort, probeWaitMs);
        if (state == ConnectState::failed) return;
        hanging = state == ConnectState::pending;
        probes.push_back(std::move(probe));
    }
}

}  // namespace orvaext
