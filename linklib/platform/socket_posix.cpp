// POSIX sockets behind the Windows Sockets-shaped interface of socket.h.
#include "platform/socket.h"

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
namespace {

int toWsaError(int error) {
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

int lastWsaError() { return toWsaError(errno); }

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

enum class Ready { yes, timedOut, failed };
struct WaitResult {
    Ready ready;
    int error = wsa::none;
};

// Waits for events on s until the deadline. A signal does not end the wait
// early, nor start it afresh: it goes on with the time that is left.
WaitResult waitFor(SocketHandle s, short events, const Deadline& deadline) {
    for (;;) {
        pollfd p{fd(s), events, 0};
        const int r = ::poll(&p, 1, pollTimeout(deadline.remainingMs()));
        if (r > 0) return {Ready::yes};
        if (r == 0) return {Ready::timedOut, wsa::eTimedOut};
        if (errno != EINTR) return {Ready::failed, lastWsaError()};
    }
}

// As waitFor, for a call that has just found the socket not ready: once the
// deadline has passed it is over, even if poll keeps reporting the socket.
WaitResult waitUntilReady(SocketHandle s, short events, const Deadline& deadline) {
    if (deadline.passed()) return {Ready::timedOut, wsa::eTimedOut};
    return waitFor(s, events, deadline);
}

}  // namespace

std::uint32_t tickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
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

ConnectResult connectWithin(SocketHandle s, std::uint32_t networkOrderAddress, std::uint16_t port,
                            std::uint32_t timeoutMs) {
    const Deadline deadline = Deadline::after(timeoutMs);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = networkOrderAddress;

    if (const int error = setBlocking(s, false); error != wsa::none) return {ConnectOutcome::failed, error};
    if (::connect(fd(s), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) return {ConnectOutcome::failed, lastWsaError()};
        const WaitResult wait = waitFor(s, POLLOUT, deadline);
        if (wait.ready == Ready::timedOut) return {ConnectOutcome::timedOut};
        if (wait.ready == Ready::failed) return {ConnectOutcome::failed, wait.error};
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd(s), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            return {ConnectOutcome::failed, lastWsaError()};
        if (error != 0) return {ConnectOutcome::failed, toWsaError(error)};
    }
    if (const int error = setBlocking(s, true); error != wsa::none) return {ConnectOutcome::failed, error};
    return {ConnectOutcome::connected};
}

// The socket is blocking; a single call is made non-blocking with MSG_DONTWAIT
// where waiting is left to poll.

Transfer sendWithin(SocketHandle s, const void* data, int len, const Deadline& deadline) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Transfer done;
    int flags = MSG_NOSIGNAL;  // the first send waits on the socket's send time-out
    while (done.bytes < len) {
        const ssize_t r = ::send(fd(s), bytes + done.bytes, static_cast<size_t>(len - done.bytes), flags);
        flags = MSG_NOSIGNAL | MSG_DONTWAIT;
        if (r >= 0) {
            done.bytes += static_cast<int>(r);
            continue;
        }
        if (errno != EINTR && !wouldBlock(errno)) {
            done.error = lastWsaError();
            return done;
        }
        // No room in the socket's buffer, or a signal: wait within what is left.
        if (const WaitResult wait = waitUntilReady(s, POLLOUT, deadline); wait.ready != Ready::yes) {
            done.error = wait.error;
            return done;
        }
    }
    return done;
}

Transfer receiveFirst(SocketHandle s, void* data, int len, const Deadline& deadline) {
    const ssize_t r = ::recv(fd(s), data, static_cast<size_t>(len), 0);
    if (r >= 0) return {static_cast<int>(r)};
    if (errno == EINTR) return receiveWithin(s, data, len, deadline);
    return {0, lastWsaError()};  // EAGAIN: the socket's receive time-out expired
}

Transfer receiveWithin(SocketHandle s, void* data, int len, const Deadline& deadline) {
    for (;;) {
        const ssize_t r = ::recv(fd(s), data, static_cast<size_t>(len), MSG_DONTWAIT);
        if (r >= 0) return {static_cast<int>(r)};
        if (errno != EINTR && !wouldBlock(errno)) return {0, lastWsaError()};
        if (const WaitResult wait = waitUntilReady(s, POLLIN, deadline); wait.ready != Ready::yes)
            return {0, wait.error};
    }
}

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
