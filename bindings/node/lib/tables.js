// SPDX-License-Identifier: Apache-2.0
'use strict';
// The library's result codes and socket error numbers with their names and
// their texts in words, as include/orvanet.h has them (ORVAResultName,
// ORVASocketErrorText). test/header.test.js holds them to the header.

const results = Object.freeze({
  0: ['ORVA_OK', 'success'],
  2: ['ORVA_ERR_PLC', 'the PLC refused: data block missing, or the range runs past the end of the area'],
  [-1]: ['ORVA_ERR_DROPPED', 'the connection was dropped: closed, reset without a socket error, or a reply that did not fit'],
  [-2]: ['ORVA_ERR_NO_FREE_HANDLE', 'all 64 handles are in use'],
  [-5]: ['ORVA_ERR_FAILED', 'failed with no recorded cause: out of memory, a null buffer, nothing to transfer, a range past address 65535, or a data block number past 255'],
  [-6]: ['ORVA_ERR_CONNECT', "setting up the transport connection failed: check the TSAPs and the adapter's configuration"],
  [-7]: ['ORVA_ERR_SOCKET', 'socket error: ORVAGetSockErr tells which'],
  [-10]: ['ORVA_ERR_AREA', 'area not supported by this function'],
  [-99]: ['ORVA_ERR_HANDLE', 'invalid handle: outside 0..63 or not open'],
});

const socketErrors = Object.freeze({
  0: [null, 'none'],
  10004: ['ORVA_WSAEINTR', 'interrupted'],
  10013: ['ORVA_WSAEACCES', 'permission denied'],
  10014: ['ORVA_WSAEFAULT', 'bad address: the socket layer was handed memory it cannot use'],
  10022: ['ORVA_WSAEINVAL', 'invalid argument'],
  10024: ['ORVA_WSAEMFILE', 'too many open sockets'],
  10036: ['ORVA_WSAEINPROGRESS', 'an operation is already in progress on the socket'],
  10038: ['ORVA_WSAENOTSOCK', 'not a socket'],
  10040: ['ORVA_WSAEMSGSIZE', 'message too long'],
  10048: ['ORVA_WSAEADDRINUSE', 'address in use: no local port was free for the connection'],
  10049: ['ORVA_WSAEADDRNOTAVAIL', 'address not usable: not an IPv4 address a connection can be made to'],
  10050: ['ORVA_WSAENETDOWN', 'network is down'],
  10051: ['ORVA_WSAENETUNREACH', 'network unreachable: no route to that address'],
  10052: ['ORVA_WSAENETRESET', 'connection broken by the network while it was in use'],
  10053: ['ORVA_WSAECONNABORTED', 'connection aborted by the local system'],
  10054: ['ORVA_WSAECONNRESET', 'connection reset by the adapter'],
  10055: ['ORVA_WSAENOBUFS', 'no buffer space'],
  10056: ['ORVA_WSAEISCONN', 'already connected'],
  10057: ['ORVA_WSAENOTCONN', 'not connected'],
  10058: ['ORVA_WSAESHUTDOWN', 'the connection was already shut down for sending'],
  10060: ['ORVA_WSAETIMEDOUT', 'timed out: no answer within the receive or send time-out'],
  10061: ['ORVA_WSAECONNREFUSED', 'connection refused: nothing listens on port 102 at that address'],
  10064: ['ORVA_WSAEHOSTDOWN', 'host is down'],
  10065: ['ORVA_WSAEHOSTUNREACH', 'host unreachable: the TCP connect did not finish within the connect time-out'],
});

// Result codes by name: Result.ORVA_ERR_SOCKET === -7.
const Result = Object.freeze(Object.fromEntries(Object.entries(results).map(([code, [name]]) => [name, Number(code)])));
// Socket error numbers by name: SocketError.ORVA_WSAECONNREFUSED === 10061.
const SocketError = Object.freeze(Object.fromEntries(
  Object.entries(socketErrors).filter(([, [name]]) => name !== null).map(([n, [name]]) => [name, Number(n)])));

function resultName(code) {
  return results[code] ? results[code][0] : 'ORVA_UNKNOWN_RESULT';
}

function resultText(code) {
  return results[code] ? results[code][1] : 'unknown result';
}

// The name of a socket error number, or null for 0 and for numbers the header does not list.
function socketErrorName(number) {
  return socketErrors[number] ? socketErrors[number][0] : null;
}

function socketErrorText(number) {
  return socketErrors[number] ? socketErrors[number][1] : '';
}

module.exports = { results, socketErrors, Result, SocketError, resultName, resultText, socketErrorName, socketErrorText };
