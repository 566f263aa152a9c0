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

#include <cstdint>

namespace orva::platform {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle invalidSocket = -1;

// Windows Sockets error numbers this layer reports.
namespace wsa {
inline constexpr int none = 0;
inline constexpr int eIntr = 10004;
inline constexpr int eAcces = 10013;
inline constexpr int eFault = 10014;
inline constexpr int eInval = 10022;
inline constexpr int eMFile = 10024;
inline constexpr int eInProgress = 10036;
inline constexpr int eNotSock = 10038;
inline constexpr int eMsgSize = 10040;
inline constexpr int eAddrInUse = 10048;
inline constexpr int eAddrNotAvail = 10049;
inline constexpr int eNetDown = 10050;
inline constexpr int eNetUnreach = 10051;
inline constexpr int eNetReset = 10052;
inline constexpr int eConnAborted = 10053;
inline constexpr int eConnReset = 10054;
inline constexpr int eNoBufs = 10055;
inline constexpr int eIsConn = 10056;
inline constexpr int eNotConn = 10057;
inline constexpr int eShutdown = 10058;
inline constexpr int eTimedOut = 10060;
inline constexpr int eConnRefused = 10061;
inline constexpr int eHostDown = 10064;
inline constexpr int eHostUnreach = 10065;
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
