/* SPDX-License-Identifier: Apache-2.0 */
/*
 * orvanet - read and write the data areas of S5 PLCs over ISO transport on TCP.
 *
 * Seven plain C functions. Every one returns an int; nothing is thrown and no
 * pointer to caller memory is kept after a call returns. Calls on one handle
 * are serialised by the library; calls on different handles run in parallel.
 */
#ifndef ORVANET_H
#define ORVANET_H

#if defined(_WIN32)
#  define ORVA_CALL __stdcall
#  if defined(ORVANET_BUILDING)
/* The .def file names the exports: dllexport would add the decorated
   32-bit names (ORVAOpen@24) beside the plain ones. */
#    define ORVA_API
#  elif defined(ORVANET_STATIC)
#    define ORVA_API
#  else
#    define ORVA_API __declspec(dllimport)
#  endif
#else
#  define ORVA_CALL
#  if defined(__GNUC__)
#    define ORVA_API __attribute__((visibility("default")))
#  else
#    define ORVA_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of the data functions, ORVAOpen and ORVAClose. */
enum {
    ORVA_OK = 0,                  /* success */
    ORVA_ERR_PLC = 2,             /* the PLC side refused: data area missing or too small. The connection
                                     is kept, unless the refusal came in a reply of the wrong length
                                     (a read refused by an acknowledgement without data): then it is
                                     dropped as well, and the next call connects again */
    ORVA_ERR_DROPPED = -1,        /* an exchange failed, the connection was dropped (no socket error) */
    ORVA_ERR_NO_FREE_HANDLE = -2, /* ORVAOpen: all 64 handles are in use */
    ORVA_ERR_FAILED = -5,         /* ORVAOpen: out of memory; data calls: nothing was transferred and no
                                     cause recorded (count 0 on a fresh handle, a null buffer, a range
                                     past address 65535, a data block number outside 0..255) */
    ORVA_ERR_CONNECT = -6,        /* setting up the transport connection failed (no socket error) */
    ORVA_ERR_SOCKET = -7,         /* a socket error was recorded: ask ORVAGetSockErr */
    ORVA_ERR_AREA = -10,          /* area letter not supported by this function */
    ORVA_ERR_HANDLE = -99         /* handle outside 0..63 or not open */
};

/* Number of handles the library can hold open at once (0 .. ORVA_MAX_HANDLES-1). */
enum { ORVA_MAX_HANDLES = 64 };

/* Socket error numbers: every number that ORVAGetSockErr may return is named
 * here, with its words in ORVASocketErrorText (a test holds the library's socket
 * layer to this list). They are the Windows Sockets numbers on every platform,
 * so that one table serves all callers. */
enum {
    ORVA_WSAEINTR = 10004,
    ORVA_WSAEACCES = 10013,
    ORVA_WSAEFAULT = 10014,
    ORVA_WSAEINVAL = 10022,
    ORVA_WSAEMFILE = 10024, /* no descriptor left for a socket, in the process or the system */
    ORVA_WSAEINPROGRESS = 10036,
    ORVA_WSAENOTSOCK = 10038,
    ORVA_WSAEMSGSIZE = 10040,
    ORVA_WSAEADDRINUSE = 10048,    /* no local port was free for the connection */
    ORVA_WSAEADDRNOTAVAIL = 10049, /* the address text is not a usable IPv4 address */
    ORVA_WSAENETDOWN = 10050,
    ORVA_WSAENETUNREACH = 10051, /* no route to that address */
    ORVA_WSAENETRESET = 10052,
    ORVA_WSAECONNABORTED = 10053,
    ORVA_WSAECONNRESET = 10054, /* the adapter reset the connection */
    ORVA_WSAENOBUFS = 10055,    /* the system ran out of buffer space */
    ORVA_WSAEISCONN = 10056,
    ORVA_WSAENOTCONN = 10057,
    ORVA_WSAESHUTDOWN = 10058,
    ORVA_WSAETIMEDOUT = 10060,    /* no answer within the receive or send time-out */
    ORVA_WSAECONNREFUSED = 10061, /* nothing listens on port 102 at that address */
    ORVA_WSAEHOSTDOWN = 10064,
    ORVA_WSAEHOSTUNREACH = 10065 /* the TCP connect did not finish within the connect time-out */
};

/* Open a handle to the adapter at ipAddress (dotted IPv4), port 102. ownTsap and
 * plcTsap are the transport names (at most 8 characters are used; NULL is
 * empty). A time-out of 0 selects its default: 500, 500 and 5000 ms; any
 * other value is taken as the unsigned 32-bit number of milliseconds it has the
 * bits of, so a negative one is very long: -1 is 4294967295 ms, about 49.7 days.
 * Nothing is sent: the first data call connects.
 * Returns the handle 0..63, ORVA_ERR_NO_FREE_HANDLE or ORVA_ERR_FAILED. */
ORVA_API int ORVA_CALL ORVAOpen(const char *ipAddress, const char *ownTsap, const char *plcTsap, int receiveTimeoutMs,
                                int sendTimeoutMs, int connectTimeoutMs);

/* Close a handle; an established connection is reset. Returns ORVA_OK or ORVA_ERR_HANDLE. */
ORVA_API int ORVA_CALL ORVAClose(int handle);

/* Read count bytes of outputs (A, O), inputs (E, I) or flags (M), starting at byte start. */
ORVA_API int ORVA_CALL ORVARdB(int handle, int areaLetter, int dbNumber, int start, int count, unsigned char *buffer);

/* Read count 16-bit words into buffer, in host byte order. Areas: A O E I M (start and
 * length counted in bytes), D X (data blocks dbNumber, counted in words), T, Z C (words). */
ORVA_API int ORVA_CALL ORVARdW(int handle, int areaLetter, int dbNumber, int start, int count, unsigned short *buffer);

/* Write count bytes to outputs (A, O) or flags (M). */
ORVA_API int ORVA_CALL ORVAWrB(int handle, int areaLetter, int dbNumber, int start, int count,
                               const unsigned char *buffer);

/* Write count 16-bit words given in host byte order. Areas: A O M D X T Z C. The
 * caller's buffer is not changed. */
ORVA_API int ORVA_CALL ORVAWrW(int handle, int areaLetter, int dbNumber, int start, int count,
                               const unsigned short *buffer);

/* The last socket error of the handle (0 for none), or ORVA_ERR_HANDLE. */
ORVA_API int ORVA_CALL ORVAGetSockErr(int handle);

/* Header-only helpers (not exports): a function defined in each program that
 * calls it, usable from C89 on and from C++. */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#  define ORVA_INLINE static inline
#elif defined(__GNUC__)
#  define ORVA_INLINE static __inline__ __attribute__((unused))
#elif defined(_MSC_VER)
#  define ORVA_INLINE static __inline
#else
#  define ORVA_INLINE static
#endif

/* A result code in words, for messages: "socket error: ORVAGetSockErr tells
 * which" for ORVA_ERR_SOCKET, "unknown result" for a code not listed above. */
ORVA_INLINE const char *ORVAResultName(int code) {
    switch (code) {
    case ORVA_OK: return "success";
    case ORVA_ERR_PLC: return "the PLC refused: data block missing, or the range runs past the end of the area";
    case ORVA_ERR_DROPPED:
        return "the connection was dropped: closed, reset without a socket error, or a reply that did not fit";
    case ORVA_ERR_NO_FREE_HANDLE: return "all 64 handles are in use";
    case ORVA_ERR_FAILED:
        return "failed with no recorded cause: out of memory, a null buffer, nothing to transfer, a range past address "
               "65535, or a data block number past 255";
    case ORVA_ERR_CONNECT:
        return "setting up the transport connection failed: check the TSAPs and the adapter's configuration";
    case ORVA_ERR_SOCKET: return "socket error: ORVAGetSockErr tells which";
    case ORVA_ERR_AREA: return "area not supported by this function";
    case ORVA_ERR_HANDLE: return "invalid handle: outside 0..63 or not open";
    default: return "unknown result";
    }
}

/* A socket error number of ORVAGetSockErr in words, with what usually causes
 * it: "none" for 0, "" for a number not listed above. */
ORVA_INLINE const char *ORVASocketErrorText(int socketError) {
    switch (socketError) {
    case 0: return "none";
    case ORVA_WSAEINTR: return "interrupted";
    case ORVA_WSAEACCES: return "permission denied";
    case ORVA_WSAEFAULT: return "bad address: the socket layer was handed memory it cannot use";
    case ORVA_WSAEINVAL: return "invalid argument";
    case ORVA_WSAEMFILE: return "too many open sockets";
    case ORVA_WSAEINPROGRESS: return "an operation is already in progress on the socket";
    case ORVA_WSAENOTSOCK: return "not a socket";
    case ORVA_WSAEMSGSIZE: return "message too long";
    case ORVA_WSAEADDRINUSE: return "address in use: no local port was free for the connection";
    case ORVA_WSAEADDRNOTAVAIL: return "address not usable: not an IPv4 address a connection can be made to";
    case ORVA_WSAENETDOWN: return "network is down";
    case ORVA_WSAENETUNREACH: return "network unreachable: no route to that address";
    case ORVA_WSAENETRESET: return "connection broken by the network while it was in use";
    case ORVA_WSAECONNABORTED: return "connection aborted by the local system";
    case ORVA_WSAECONNRESET: return "connection reset by the adapter";
    case ORVA_WSAENOBUFS: return "no buffer space";
    case ORVA_WSAEISCONN: return "already connected";
    case ORVA_WSAENOTCONN: return "not connected";
    case ORVA_WSAESHUTDOWN: return "the connection was already shut down for sending";
    case ORVA_WSAETIMEDOUT: return "timed out: no answer within the receive or send time-out";
    case ORVA_WSAECONNREFUSED: return "connection refused: nothing listens on port 102 at that address";
    case ORVA_WSAEHOSTDOWN: return "host is down";
    case ORVA_WSAEHOSTUNREACH: return "host unreachable: the TCP connect did not finish within the connect time-out";
    default: return "";
    }
}

#ifdef __cplusplus
}
#endif

#endif /* ORVANET_H */
