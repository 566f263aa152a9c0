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

thread_local int threadLastError = 0;

int toWsaError(int error) {
    switch (error) {
    case 0: return 0;
    case ECONNREFUSED: return wsa::eConnRefused;
    case ETIMEDOUT: return wsa::eTimedOut;
    case EAGAIN: return wsa::eTimedOut;  // an expired SO_RCVTIMEO / SO_SNDTIMEO
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

void recordErrno() { threadLastError = toWsaError(errno); }

int fd(SocketHandle s) { return static_cast<int>(s); }

int pollTimeout(std::uint32_t milliseconds) {
    return milliseconds > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(milliseconds);
}

int setTimeout(SocketHandle s, int option, std::uint32_t milliseconds) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(milliseconds / 1000);
    tv.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    if (::setsockopt(fd(s), SOL_SOCKET, option, &tv, sizeof tv) != 0) {
        recordErrno();
        return -1;
    }
    return 0;
}

int setBlocking(SocketHandle s, bool blocking) {
    const int flags = ::fcntl(fd(s), F_GETFL, 0);
    if (flags < 0) return -1;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd(s), F_SETFL, wanted);
}

// Waits for one of events on s; 1 ready, 0 time-out, -1 error. A signal does not
// end the wait early: it goes on with the time that is left.
int waitFor(SocketHandle s, short events, std::uint32_t waitMs) {
    const std::uint32_t begin = tickCount();
    for (;;) {
        const std::uint32_t elapsed = tickCount() - begin;
        const std::uint32_t left = elapsed >= waitMs ? 0 : waitMs - elapsed;
        pollfd p{fd(s), events, 0};
        const int r = ::poll(&p, 1, pollTimeout(left));
        if (r >= 0) return r > 0 ? 1 : 0;
        if (errno != EINTR) {
            recordErrno();
            return -1;
        }
    }
}

}  // namespace

bool startSocketLayer() { return true; }
void stopSocketLayer() {}

int lastError() { return threadLastError; }
void setLastError(int error) { threadLastError = error; }

SocketHandle openTcpSocket() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        recordErrno();
        return invalidSocket;
    }
    return s;
}

int setSendTimeout(SocketHandle s, std::uint32_t milliseconds) { return setTimeout(s, SO_SNDTIMEO, milliseconds); }

int setReceiveTimeout(SocketHandle s, std::uint32_t milliseconds) { return setTimeout(s, SO_RCVTIMEO, milliseconds); }

int setDontLinger(SocketHandle s) {
    linger off{0, 0};
    if (::setsockopt(fd(s), SOL_SOCKET, SO_LINGER, &off, sizeof off) != 0) {
        recordErrno();
        return -1;
    }
    return 0;
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

ConnectOutcome connectWithin(SocketHandle s, std::uint32_t networkOrderAddress, std::uint16_t port,
                             std::uint32_t timeoutMs) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = networkOrderAddress;

    if (setBlocking(s, false) != 0) {
        recordErrno();
        return ConnectOutcome::failed;
    }
    int r = ::connect(fd(s), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (r != 0 && errno != EINPROGRESS && errno != EINTR) {
        recordErrno();
        return ConnectOutcome::failed;
    }
    if (r != 0) {
        const int ready = waitFor(s, POLLOUT, timeoutMs);
        if (ready < 0) return ConnectOutcome::failed;
        if (ready == 0) return ConnectOutcome::timedOut;
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd(s), SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
            recordErrno();
            return ConnectOutcome::failed;
        }
        if (error != 0) {
            threadLastError = toWsaError(error);
            return ConnectOutcome::failed;
        }
    }
    if (setBlocking(s, true) != 0) {
        recordErrno();
        return ConnectOutcome::failed;
    }
    return ConnectOutcome::connected;
}

int sendOnce(SocketHandle s, const void* data, int len) {
    for (;;) {
        const ssize_t r = ::send(fd(s), data, static_cast<size_t>(len), MSG_NOSIGNAL);
        if (r >= 0) return static_cast<int>(r);
        if (errno != EINTR) {
            recordErrno();
            return -1;
        }
    }
}

int receiveOnce(SocketHandle s, void* data, int len) {
    for (;;) {
        const ssize_t r = ::recv(fd(s), data, static_cast<size_t>(len), 0);
        if (r >= 0) return static_cast<int>(r);
        if (errno != EINTR) {
            recordErrno();
            return -1;
        }
    }
}

int receiveOnceWithin(SocketHandle s, void* data, int len, std::uint32_t waitMs) {
    const int ready = waitFor(s, POLLIN, waitMs);
    if (ready < 0) return -1;
    if (ready == 0) {
        threadLastError = wsa::eTimedOut;
        return -1;
    }
    for (;;) {
        const ssize_t r = ::recv(fd(s), data, static_cast<size_t>(len), MSG_DONTWAIT);
        if (r >= 0) return static_cast<int>(r);
        if (errno != EINTR) {
            recordErrno();
            return -1;
        }
    }
}

std::uint32_t tickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

}  // namespace orva::platform
