// The library's only window onto the operating system: TCP sockets, the
// per-thread socket error, a millisecond clock and start-up of the socket
// layer. One implementation file per OS (socket_posix.cpp, socket_win32.cpp).
//
// The interface is shaped after Windows Sockets: calls return -1 on failure and
// leave a Windows Sockets error number in the calling thread's last error,
// which stays until it is read and cleared. Error numbers are Windows Sockets
// numbers on every OS.
#pragma once

#include <cstdint>

namespace orva::platform {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle invalidSocket = -1;

// Windows Sockets error numbers this layer reports.
namespace wsa {
inline constexpr int eIntr = 10004;
inline constexpr int eAcces = 10013;
inline constexpr int eFault = 10014;
inline constexpr int eInval = 10022;
inline constexpr int eMFile = 10024;
inline constexpr int eWouldBlock = 10035;
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
inline constexpr int notInitialised = 10093;
}  // namespace wsa

// Starts the socket layer (Windows Sockets 1.1 where there is one). False when
// it cannot be used; the library then refuses to load.
bool startSocketLayer();
void stopSocketLayer();

// The calling thread's last socket error (a Windows Sockets number, 0 for none).
int lastError();
void setLastError(int error);

// A blocking IPv4 TCP socket, or invalidSocket.
SocketHandle openTcpSocket();

// Socket options; 0 on success, -1 on failure.
int setSendTimeout(SocketHandle s, std::uint32_t milliseconds);
int setReceiveTimeout(SocketHandle s, std::uint32_t milliseconds);
int setDontLinger(SocketHandle s);

// Abortive close: linger on with time 0, then close. The peer sees a reset.
void hardClose(SocketHandle s);

// Dotted IPv4 text to an address in network order. False for text that is not
// an address a TCP connection can be made to (it does not convert, or is the
// broadcast or the unspecified address).
bool parseIpv4(const char* text, std::uint32_t& networkOrderAddress);

// Outcome of a bounded connect.
enum class ConnectOutcome { connected, failed, timedOut };

// TCP connect to address:port that waits at most timeoutMs. On failure the
// last error holds the connect's own error number; on a time-out it is
// untouched. The socket is blocking again afterwards.
ConnectOutcome connectWithin(SocketHandle s, std::uint32_t networkOrderAddress, std::uint16_t port,
                             std::uint32_t timeoutMs);

// One send call of len bytes (never raises SIGPIPE); bytes sent or -1.
int sendOnce(SocketHandle s, const void* data, int len);

// One receive call, bounded by the socket's receive time-out; bytes, 0 when the
// peer closed, -1 on error (10060 when the time-out expired).
int receiveOnce(SocketHandle s, void* data, int len);

// One receive call that waits at most waitMs for data to arrive; as receiveOnce,
// and -1 with 10060 when nothing arrived in time.
int receiveOnceWithin(SocketHandle s, void* data, int len, std::uint32_t waitMs);

// Monotonic milliseconds, wrapping at 2^32.
std::uint32_t tickCount();

}  // namespace orva::platform
