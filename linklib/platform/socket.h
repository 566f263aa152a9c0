/* SPDX-License-Identifier: Apache-2.0 */
// The library's only window onto the operating system: TCP sockets, a
// millisecond clock and start-up of the socket layer. One implementation file
// per OS (socket_posix.cpp, socket_win32.cpp).
//
// Every call hands back the Windows Sockets error number it raised with its
// result (0 for none), on every OS; nothing is left behind in thread state for
// a later call to pick up. Every wait is bounded by a Deadline fixed when the
// wait began: a signal that interrupts it never starts the time afresh.
#pragma once

#include <array>
#include <cstdint>

#include "orvanet.h"

namespace orva::platform {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle invalidSocket = -1;

// The Windows Sockets error numbers this layer reports: the header's list, by
// its names, and no other (a test holds both OS files to it).
namespace wsa {
inline constexpr int none = 0;
inline constexpr int eIntr = ORVA_WSAEINTR;
inline constexpr int eAcces = ORVA_WSAEACCES;
inline constexpr int eFault = ORVA_WSAEFAULT;
inline constexpr int eInval = ORVA_WSAEINVAL;
inline constexpr int eMFile = ORVA_WSAEMFILE;
inline constexpr int eInProgress = ORVA_WSAEINPROGRESS;
inline constexpr int eNotSock = ORVA_WSAENOTSOCK;
inline constexpr int eMsgSize = ORVA_WSAEMSGSIZE;
inline constexpr int eAddrInUse = ORVA_WSAEADDRINUSE;
inline constexpr int eAddrNotAvail = ORVA_WSAEADDRNOTAVAIL;
inline constexpr int eNetDown = ORVA_WSAENETDOWN;
inline constexpr int eNetUnreach = ORVA_WSAENETUNREACH;
inline constexpr int eNetReset = ORVA_WSAENETRESET;
inline constexpr int eConnAborted = ORVA_WSAECONNABORTED;
inline constexpr int eConnReset = ORVA_WSAECONNRESET;
inline constexpr int eNoBufs = ORVA_WSAENOBUFS;
inline constexpr int eIsConn = ORVA_WSAEISCONN;
inline constexpr int eNotConn = ORVA_WSAENOTCONN;
inline constexpr int eShutdown = ORVA_WSAESHUTDOWN;
inline constexpr int eTimedOut = ORVA_WSAETIMEDOUT;
inline constexpr int eConnRefused = ORVA_WSAECONNREFUSED;
inline constexpr int eHostDown = ORVA_WSAEHOSTDOWN;
inline constexpr int eHostUnreach = ORVA_WSAEHOSTUNREACH;

inline constexpr std::array<int, 23> reported = {
    eIntr,      eAcces,        eFault,    eInval,      eMFile,       eInProgress,  eNotSock,    eMsgSize,
    eAddrInUse, eAddrNotAvail, eNetDown,  eNetUnreach, eNetReset,    eConnAborted, eConnReset,  eNoBufs,
    eIsConn,    eNotConn,      eShutdown, eTimedOut,   eConnRefused, eHostDown,    eHostUnreach};

// A number of the OS's socket layer as this layer reports it: itself when the
// list above has it; any other (a Windows Sockets number of a kind these calls
// are not documented to raise) as "invalid argument", which is also what the
// POSIX file makes of an errno it has no number for.
constexpr int reportable(int number) {
    if (number == none) return none;
    for (const int listed : reported)
        if (listed == number) return number;
    return eInval;
}
}  // namespace wsa

// Monotonic milliseconds, wrapping at 2^32.
std::uint32_t tickCount();

// The end of a wait: limitMs after the moment it was made. Differences of
// ticks are taken unsigned, so a wrap of the clock does no harm.
class Deadline {
public:
    static Deadline after(std::uint32_t limitMs) { return Deadline(tickCount(), limitMs); }
    std::uint32_t remainingMs() const {
        const std::uint32_t elapsed = tickCount() - begin_;
        return elapsed >= limit_ ? 0 : limit_ - elapsed;
    }
    bool passed() const { return tickCount() - begin_ >= limit_; }

private:
    Deadline(std::uint32_t begin, std::uint32_t limit) : begin_(begin), limit_(limit) {}
    std::uint32_t begin_;
    std::uint32_t limit_;
};

// Starts the socket layer (Windows Sockets 1.1 where there is one). False when
// it cannot be used; the library then refuses to load.
bool startSocketLayer();
void stopSocketLayer();

struct OpenedSocket {
    SocketHandle socket = invalidSocket;  // invalidSocket on failure
    int error = wsa::none;
};
// An IPv4 TCP socket, or the error that prevented it.
OpenedSocket openTcpSocket();

// Socket options; each gives the error it raised, 0 on success.
int setSendTimeout(SocketHandle s, std::uint32_t milliseconds);
int setReceiveTimeout(SocketHandle s, std::uint32_t milliseconds);
// Lingering on with a time of 0 from the start, so that any close of the
// socket is abortive: SO_DONTLINGER set to false on Windows (whose linger time
// is 0 by default), SO_LINGER {1, 0} on POSIX.
int setAbortiveLinger(SocketHandle s);

// Abortive close: linger on with time 0, then close. The peer sees a reset.
void hardClose(SocketHandle s);

// Dotted IPv4 text to an address in network order. False for text that is not
// an address a TCP connection can be made to (it does not convert, or is the
// broadcast or the unspecified address).
bool parseIpv4(const char* text, std::uint32_t& networkOrderAddress);

enum class ConnectOutcome { connected, failed, timedOut };
struct ConnectResult {
    ConnectOutcome outcome;
    int error = wsa::none;  // the connect's own error when it failed
};
// TCP connect to address:port that waits at most timeoutMs.
ConnectResult connectWithin(SocketHandle s, std::uint32_t networkOrderAddress, std::uint16_t port,
                            std::uint32_t timeoutMs);

// What a send or a receive did: bytes moved, and the error that stopped it
// (0 when none was raised).
struct Transfer {
    int bytes = 0;
    int error = wsa::none;
};

// Sends all len bytes, waiting for room in the socket until the deadline
// (never raises SIGPIPE). Fewer bytes than len come with the error that
// stopped the send: 10060 when the deadline passed. The first send may block
// for the socket's own send time-out: pass a deadline that ends no later.
Transfer sendWithin(SocketHandle s, const void* data, int len, const Deadline& deadline);

// One receive of up to len bytes that opens a wait: it may block for the
// socket's own receive time-out, so pass a deadline just made of that time-out.
// An interrupted receive goes on until the deadline. Results as receiveWithin.
Transfer receiveFirst(SocketHandle s, void* data, int len, const Deadline& deadline);

// Takes what is there, up to len bytes, waiting for it until the deadline.
// bytes > 0: received; bytes 0 and no error: the peer closed the connection;
// otherwise the error, 10060 when nothing arrived in time.
Transfer receiveWithin(SocketHandle s, void* data, int len, const Deadline& deadline);

// Looks at what is waiting to be received, without waiting and without taking
// it: up to len bytes are copied to data.
enum class Waiting { nothing, bytes, closed, failed };
struct Peek {
    Waiting what = Waiting::nothing;
    int bytes = 0;          // bytes copied, for Waiting::bytes
    int error = wsa::none;  // for Waiting::failed
};
Peek peekWaiting(SocketHandle s, void* data, int len);

}  // namespace orva::platform
