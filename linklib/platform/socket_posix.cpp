// SPDX-License-Identifier: Apache-2.0
// POSIX sockets behind the Windows Sockets-shaped interface of socket.h.
#include "platform/socket_primitives.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

namespace orva::platform {

int detail::wsaErrorOf(int error) {
    switch (error) {
    case 0: return wsa::none;
    case ECONNREFUSED: return wsa::eConnRefused;
    case ETIMEDOUT: return wsa::eTimedOut;
    case EAGAIN: return wsa::eTimedOut;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return wsa::eTimedOut;
#endif
    case ECONNRESET: return wsa::eConnReset;
    case EPIPE: return wsa::eConnReset;
    case ECONNABORTED: return wsa::eConnAborted;
    case EHOSTUNREACH: return wsa::eHostUnreach;
    case EHOSTDOWN: return wsa::eHostDown;
    case ENETUNREACH: return wsa::eNetUnreach;
    case ENETDOWN: return wsa::eNetDown;
    case ENETRESET: return wsa::eNetReset;
    case EADDRNOTAVAIL: return wsa::eAddrNotAvail;
    case EADDRINUSE: return wsa::eAddrInUse;
    case EINVAL: return wsa::eInval;
    case EBADF: return wsa::eNotSock;
    case ENOTSOCK: return wsa::eNotSock;
    case EMFILE: return wsa::eMFile;
    case ENFILE: return wsa::eMFile;
    case ENOBUFS: return wsa::eNoBufs;
    case ENOMEM: return wsa::eNoBufs;
    case ENOTCONN: return wsa::eNotConn;
    case EISCONN: return wsa::eIsConn;
    case ESHUTDOWN: return wsa::eShutdown;
    case EACCES: return wsa::eAcces;
    case EPERM: return wsa::eAcces;
    case EINTR: return wsa::eIntr;
    case EFAULT: return wsa::eFault;
    case EMSGSIZE: return wsa::eMsgSize;
    case EINPROGRESS: return wsa::eInProgress;
    default: return wsa::eInval;
    }
}

namespace {

int lastWsaError() { return detail::wsaErrorOf(errno); }

bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

int fd(SocketHandle s) { return static_cast<int>(s); }

int pollTimeout(std::uint32_t milliseconds) {
    return milliseconds > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(milliseconds);
}

int setTimeout(SocketHandle s, int option, std::uint32_t milliseconds) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(milliseconds / 1000);
    tv.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    if (::setsockopt(fd(s), SOL_SOCKET, option, &tv, sizeof tv) != 0) return lastWsaError();
    return wsa::none;
}

int setBlocking(SocketHandle s, bool blocking) {
    const int flags = ::fcntl(fd(s), F_GETFL, 0);
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    if (flags < 0 || ::fcntl(fd(s), F_SETFL, wanted) != 0) return lastWsaError();
    return wsa::none;
}

// Waits for events on s until the deadline: 0 when they came, else the error
// (10060 when the deadline passed). A signal does not end the wait early, nor
// start it afresh: it goes on with the time that is left.
int waitFor(SocketHandle s, short events, const Deadline& deadline) {
    for (;;) {
        pollfd p{fd(s), events, 0};
        const int r = ::poll(&p, 1, pollTimeout(deadline.remainingMs()));
        if (r > 0) return wsa::none;
        if (r == 0) return wsa::eTimedOut;
        if (errno != EINTR) return lastWsaError();
    }
}

}  // namespace

std::uint32_t tickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms =
        static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

bool startSocketLayer() { return true; }
void stopSocketLayer() {}

OpenedSocket openTcpSocket() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return {invalidSocket, lastWsaError()};
    return {s, wsa::none};
}

int setSendTimeout(SocketHandle s, std::uint32_t milliseconds) { return setTimeout(s, SO_SNDTIMEO, milliseconds); }

int setReceiveTimeout(SocketHandle s, std::uint32_t milliseconds) { return setTimeout(s, SO_RCVTIMEO, milliseconds); }

int setAbortiveLinger(SocketHandle s) {
    linger abortive{1, 0};
    if (::setsockopt(fd(s), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive) != 0) return lastWsaError();
    return wsa::none;
}

void hardClose(SocketHandle s) {
    if (s == invalidSocket) return;
    linger abortive{1, 0};
    (void)::setsockopt(fd(s), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    (void)::close(fd(s));
}

bool parseIpv4(const char* text, std::uint32_t& networkOrderAddress) {
    if (text == nullptr) return false;
    in_addr a{};
    if (::inet_aton(text, &a) == 0) return false;
    if (a.s_addr == htonl(INADDR_NONE) || a.s_addr == htonl(INADDR_ANY)) return false;
    networkOrderAddress = a.s_addr;
    return true;
}

// The socket is blocking; a call that must not wait says so with MSG_DONTWAIT,
// and waiting is left to poll.
namespace detail {
namespace {

AttemptResult attemptOf(ssize_t r) {
    if (r >= 0) return {Attempt::moved, static_cast<int>(r)};
    if (errno == EINTR || wouldBlock(errno)) return {Attempt::notNow};
    return {Attempt::failed, 0, lastWsaError()};
}

}  // namespace

AttemptResult sendSome(SocketHandle s, const void* data, int len, bool blocking) {
    return attemptOf(::send(fd(s), data, static_cast<size_t>(len), MSG_NOSIGNAL | (blocking ? 0 : MSG_DONTWAIT)));
}

AttemptResult receiveSome(SocketHandle s, void* data, int len, bool blocking) {
    const ssize_t r = ::recv(fd(s), data, static_cast<size_t>(len), blocking ? 0 : MSG_DONTWAIT);
    // A blocking receive that ran out of the socket's time-out is over: no wait follows.
    if (r < 0 && blocking && wouldBlock(errno)) return {Attempt::failed, 0, wsa::eTimedOut};
    return attemptOf(r);
}

int waitReady(SocketHandle s, bool forWriting, const Deadline& deadline) {
    return waitFor(s, forWriting ? POLLOUT : POLLIN, deadline);
}

ConnectBegun beginConnect(SocketHandle s, std::uint32_t networkOrderAddress, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = networkOrderAddress;
    if (const int error = setBlocking(s, false); error != wsa::none) return {ConnectStart::failed, error};
    if (::connect(fd(s), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return {ConnectStart::connected};
    if (errno == EINPROGRESS || errno == EINTR) return {ConnectStart::underWay};
    return {ConnectStart::failed, lastWsaError()};
}

int connectError(SocketHandle s) {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd(s), SOL_SOCKET, SO_ERROR, &error, &size) != 0) return lastWsaError();
    return wsaErrorOf(error);
}

// Blocking again: the first send and receive of a wait may block on the socket's time-out.
int finishConnect(SocketHandle s) { return setBlocking(s, true); }

}  // namespace detail

Peek peekWaiting(SocketHandle s, void* data, int len) {
    for (;;) {
        const ssize_t r = ::recv(fd(s), data, static_cast<size_t>(len), MSG_PEEK | MSG_DONTWAIT);
        if (r > 0) return {Waiting::bytes, static_cast<int>(r)};
        if (r == 0) return {Waiting::closed};
        if (errno == EINTR) continue;
        if (wouldBlock(errno)) return {Waiting::nothing};
        return {Waiting::failed, 0, lastWsaError()};
    }
}

}  // namespace orva::platform
