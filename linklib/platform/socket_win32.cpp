// Windows Sockets behind the interface of socket.h. Error numbers are Winsock's
// own; they are copied into a per-thread value at the failing call, because
// any later Win32 call on the thread (a lock, an allocation) may overwrite
// WSAGetLastError before the library reads it.
#include "platform/socket.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// inet_addr is the Windows Sockets 1.1 call this layer is written against.
#ifndef _WINSOCK_DEPRECATED_NO_WARNINGS
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#endif
#include <winsock2.h>
#include <windows.h>

namespace orva::platform {
namespace {

// Windows Sockets 1.1, and only that: what the callers of the DLL were written for.
constexpr WORD requestedVersion = MAKEWORD(1, 1);

thread_local int threadLastError = 0;

void recordWsaError() { threadLastError = ::WSAGetLastError(); }

SOCKET sock(SocketHandle s) { return static_cast<SOCKET>(s); }

int setMilliseconds(SocketHandle s, int option, std::uint32_t milliseconds) {
    const DWORD value = milliseconds;
    if (::setsockopt(sock(s), SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value) != 0) {
        recordWsaError();
        return -1;
    }
    return 0;
}

int setBlocking(SocketHandle s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ::ioctlsocket(sock(s), FIONBIO, &nonBlocking) == 0 ? 0 : -1;
}

timeval toTimeval(std::uint32_t milliseconds) {
    timeval tv{};
    tv.tv_sec = static_cast<long>(milliseconds / 1000);
    tv.tv_usec = static_cast<long>((milliseconds % 1000) * 1000);
    return tv;
}

}  // namespace

bool startSocketLayer() {
    WSADATA data{};
    if (::WSAStartup(requestedVersion, &data) != 0) return false;
    if (data.wVersion != requestedVersion) {
        ::WSACleanup();
        return false;
    }
    return true;
}

void stopSocketLayer() { ::WSACleanup(); }

int lastError() { return threadLastError; }

void setLastError(int error) {
    threadLastError = error;
    ::WSASetLastError(error);
}

SocketHandle openTcpSocket() {
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        recordWsaError();
        return invalidSocket;
    }
    // A child process started with inherited handles must not keep the
    // connection open after the library has reset it.
    (void)::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return static_cast<SocketHandle>(s);
}

int setSendTimeout(SocketHandle s, std::uint32_t milliseconds) {
    return setMilliseconds(s, SO_SNDTIMEO, milliseconds);
}

int setReceiveTimeout(SocketHandle s, std::uint32_t milliseconds) {
    return setMilliseconds(s, SO_RCVTIMEO, milliseconds);
}

int setDontLinger(SocketHandle s) {
    // FALSE turns lingering on with the linger time of the socket (0): a close
    // that bypassed hardClose would still be abortive, as every close of the
    // library is meant to be.
    const BOOL dontLinger = FALSE;
    if (::setsockopt(sock(s), SOL_SOCKET, SO_DONTLINGER, reinterpret_cast<const char*>(&dontLinger),
                     sizeof dontLinger) != 0) {
        recordWsaError();
        return -1;
    }
    return 0;
}

void hardClose(SocketHandle s) {
    if (s == invalidSocket) return;
    linger abortive{};
    abortive.l_onoff = 1;
    abortive.l_linger = 0;
    (void)::setsockopt(sock(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
    (void)::closesocket(sock(s));
}

bool parseIpv4(const char* text, std::uint32_t& networkOrderAddress) {
    if (text == nullptr) return false;
    const unsigned long a = ::inet_addr(text);
    // inet_addr gives INADDR_NONE both for text that does not convert and for
    // the broadcast address; neither can be connected to.
    if (a == INADDR_NONE || a == htonl(INADDR_ANY)) return false;
    networkOrderAddress = static_cast<std::uint32_t>(a);
    return true;
}

ConnectOutcome connectWithin(SocketHandle s, std::uint32_t networkOrderAddress, std::uint16_t port,
                             std::uint32_t timeoutMs) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = networkOrderAddress;

    if (setBlocking(s, false) != 0) {
        recordWsaError();
        return ConnectOutcome::failed;
    }
    if (::connect(sock(s), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = ::WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            threadLastError = error;
            return ConnectOutcome::failed;
        }
        // Completion shows as writable, failure as an exception condition.
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(sock(s), &writable);
        FD_SET(sock(s), &failed);
        timeval limit = toTimeval(timeoutMs);
        const int ready = ::select(0, nullptr, &writable, &failed, &limit);
        if (ready == SOCKET_ERROR) {
            recordWsaError();
            return ConnectOutcome::failed;
        }
        if (ready == 0) return ConnectOutcome::timedOut;
        int soError = 0;
        int size = sizeof soError;
        if (::getsockopt(sock(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size) != 0) {
            recordWsaError();
            return ConnectOutcome::failed;
        }
        if (soError != 0) {
            threadLastError = soError;
            return ConnectOutcome::failed;
        }
    }
    if (setBlocking(s, true) != 0) {
        recordWsaError();
        return ConnectOutcome::failed;
    }
    return ConnectOutcome::connected;
}

int sendOnce(SocketHandle s, const void* data, int len) {
    const int r = ::send(sock(s), static_cast<const char*>(data), len, 0);
    if (r == SOCKET_ERROR) {
        recordWsaError();
        return -1;
    }
    return r;
}

int receiveOnce(SocketHandle s, void* data, int len) {
    const int r = ::recv(sock(s), static_cast<char*>(data), len, 0);
    if (r == SOCKET_ERROR) {
        recordWsaError();
        return -1;
    }
    return r;
}

int receiveOnceWithin(SocketHandle s, void* data, int len, std::uint32_t waitMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(sock(s), &readable);
    timeval limit = toTimeval(waitMs);
    const int ready = ::select(0, &readable, nullptr, nullptr, &limit);
    if (ready == SOCKET_ERROR) {
        recordWsaError();
        return -1;
    }
    if (ready == 0) {
        threadLastError = WSAETIMEDOUT;
        return -1;
    }
    return receiveOnce(s, data, len);
}

std::uint32_t tickCount() { return static_cast<std::uint32_t>(::GetTickCount()); }

}  // namespace orva::platform
