// SPDX-License-Identifier: Apache-2.0
// Windows Sockets behind the interface of socket.h. Error numbers are Winsock's
// own (one that orvanet.h does not name reads as 10022), read at the failing
// call and handed back with its result: any later Win32 call on the thread (a
// lock, an allocation) may overwrite WSAGetLastError. A connected socket stays non-blocking, and every wait is a
// select against the time left to its deadline.
#include "platform/socket_primitives.h"

// inet_addr is the Windows Sockets 1.1 call this layer is written against.
#ifndef _WINSOCK_DEPRECATED_NO_WARNINGS
#  define _WINSOCK_DEPRECATED_NO_WARNINGS
#endif
#include <winsock2.h>
#include <windows.h>

namespace orva::platform {
namespace {

// Windows Sockets 1.1, and only that: what the callers of the DLL were written for.
constexpr WORD requestedVersion = MAKEWORD(1, 1);

SOCKET sock(SocketHandle s) { return static_cast<SOCKET>(s); }

int lastWsaError() { return detail::wsaErrorOf(::WSAGetLastError()); }

int setDword(SocketHandle s, int option, DWORD value) {
    if (::setsockopt(sock(s), SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value) != 0)
        return lastWsaError();
    return wsa::none;
}

int setNonBlocking(SocketHandle s) {
    u_long nonBlocking = 1;
    return ::ioctlsocket(sock(s), FIONBIO, &nonBlocking) == 0 ? wsa::none : lastWsaError();
}

timeval toTimeval(std::uint32_t milliseconds) {
    timeval tv{};
    tv.tv_sec = static_cast<long>(milliseconds / 1000);
    tv.tv_usec = static_cast<long>((milliseconds % 1000) * 1000);
    return tv;
}

// Waits until s is readable, or writable (or, connecting, failed), before the
// deadline: 0 when it is, else the error (10060 when the deadline passed).
int waitFor(SocketHandle s, bool forWriting, const Deadline& deadline) {
    fd_set wanted;
    fd_set failed;
    FD_ZERO(&wanted);
    FD_ZERO(&failed);
    FD_SET(sock(s), &wanted);
    FD_SET(sock(s), &failed);
    timeval limit = toTimeval(deadline.remainingMs());
    const int ready =
        forWriting ? ::select(0, nullptr, &wanted, &failed, &limit) : ::select(0, &wanted, nullptr, nullptr, &limit);
    if (ready == SOCKET_ERROR) return lastWsaError();
    if (ready == 0) return WSAETIMEDOUT;
    return wsa::none;
}

}  // namespace

// Winsock's own number, unless it is one the header does not name.
int detail::wsaErrorOf(int error) { return wsa::reportable(error); }

std::uint32_t tickCount() { return static_cast<std::uint32_t>(::GetTickCount()); }

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

OpenedSocket openTcpSocket() {
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return {invalidSocket, lastWsaError()};
    // A child process started with inherited handles must not keep the
    // connection open after the library has reset it.
    (void)::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return {static_cast<SocketHandle>(s), wsa::none};
}

int setSendTimeout(SocketHandle s, std::uint32_t milliseconds) { return setDword(s, SO_SNDTIMEO, milliseconds); }

int setReceiveTimeout(SocketHandle s, std::uint32_t milliseconds) { return setDword(s, SO_RCVTIMEO, milliseconds); }

int setAbortiveLinger(SocketHandle s) {
    // FALSE turns lingering on with the linger time of the socket (0).
    const BOOL dontLinger = FALSE;
    if (::setsockopt(sock(s), SOL_SOCKET, SO_DONTLINGER, reinterpret_cast<const char*>(&dontLinger),
                     sizeof dontLinger) != 0)
        return lastWsaError();
    return wsa::none;
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

// The connected socket never blocks: every call returns at once, and waiting
// is left to select.
namespace detail {
namespace {

AttemptResult attemptOf(int r) {
    if (r != SOCKET_ERROR) return {Attempt::moved, r};
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return {Attempt::notNow};
    return {Attempt::failed, 0, wsaErrorOf(error)};
}

}  // namespace

AttemptResult sendSome(SocketHandle s, const void* data, int len, bool) {
    return attemptOf(::send(sock(s), static_cast<const char*>(data), len, 0));
}

AttemptResult receiveSome(SocketHandle s, void* data, int len, bool) {
    return attemptOf(::recv(sock(s), static_cast<char*>(data), len, 0));
}

int waitReady(SocketHandle s, bool forWriting, const Deadline& deadline) { return waitFor(s, forWriting, deadline); }

ConnectBegun beginConnect(SocketHandle s, std::uint32_t networkOrderAddress, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = networkOrderAddress;
    if (const int error = setNonBlocking(s); error != wsa::none) return {ConnectStart::failed, error};
    if (::connect(sock(s), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return {ConnectStart::connected};
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return {ConnectStart::underWay};
    return {ConnectStart::failed, wsaErrorOf(error)};
}

int connectError(SocketHandle s) {
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(sock(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) return lastWsaError();
    return wsaErrorOf(error);
}

// The socket stays non-blocking: every wait is a select.
int finishConnect(SocketHandle) { return wsa::none; }

}  // namespace detail

Peek peekWaiting(SocketHandle s, void* data, int len) {
    const int r = ::recv(sock(s), static_cast<char*>(data), len, MSG_PEEK);
    if (r > 0) return {Waiting::bytes, r};
    if (r == 0) return {Waiting::closed};
    if (const int error = ::WSAGetLastError(); error != WSAEWOULDBLOCK)
        return {Waiting::failed, 0, detail::wsaErrorOf(error)};
    return {Waiting::nothing};
}

}  // namespace orva::platform
