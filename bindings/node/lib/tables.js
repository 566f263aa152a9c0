// SPDX-License-Identifier: Apache-2.0
'use strict';
// The result codes of orvanet.h and orvavars.h by name, and the socket error
// numbers with their names and words (orvanet.h's ORVASocketErrorText, a
// helper of the header that no library exports). test/header.test.js holds
// them to the headers. The words of a result come from liborvavars
// (ORVAVarsResultText), and so does every failure's message.

const results = Object.freeze({
  0: 'ORVA_OK',
  2: 'ORVA_ERR_PLC',
  [-1]: 'ORVA_ERR_DROPPED',
  [-2]: 'ORVA_ERR_NO_FREE_HANDLE',
  [-5]: 'ORVA_ERR_FAILED',
  [-6]: 'ORVA_ERR_CONNECT',
  [-7]: 'ORVA_ERR_SOCKET',
  [-10]: 'ORVA_ERR_AREA',
  [-99]: 'ORVA_ERR_HANDLE',
  [-101]: 'ORVAVARS_ERR_SYNTAX',
  [-102]: 'ORVAVARS_ERR_UNKNOWN_AREA',
  [-103]: 'ORVAVARS_ERR_UNKNOWN_FORMAT',
  [-104]: 'ORVAVARS_ERR_FORMAT_UNIT',
  [-105]: 'ORVAVARS_ERR_OUT_OF_RANGE',
  [-110]: 'ORVAVARS_ERR_VALUE_TEXT',
  [-111]: 'ORVAVARS_ERR_VALUE_RANGE',
  [-112]: 'ORVAVARS_ERR_VALUE_PRECISION',
  [-113]: 'ORVAVARS_ERR_VALUE_KIND',
  [-114]: 'ORVAVARS_ERR_NOT_FINITE',
  [-120]: 'ORVAVARS_ERR_INVALID_BCD',
  [-130]: 'ORVAVARS_ERR_NO_VALUE',
  [-131]: 'ORVAVARS_ERR_MODIFY_REFUSED',
  [-132]: 'ORVAVARS_ERR_NOT_TRIED',
  [-140]: 'ORVAVARS_ERR_ARGUMENT',
  [-141]: 'ORVAVARS_ERR_NO_MEMORY',
  [-142]: 'ORVAVARS_ERR_TOO_MANY',
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

// Limits the headers hold (test/header.test.js checks them against the headers).
const limits = Object.freeze({
  maxTsapLength: 8, // orvanet.h: "at most 8 characters are used"
  maxHandles: 64, // ORVA_MAX_HANDLES
  maxVariables: 65535, // ORVAVARS_MAX_VARIABLES
  maxAddress: 65535, // "a range past address 65535"
  maxBlock: 255, // "a data block number outside 0..255"
});

// Result codes by name: Result.ORVA_ERR_SOCKET === -7, Result.ORVAVARS_ERR_INVALID_BCD === -120.
const Result = Object.freeze(Object.fromEntries(Object.entries(results).map(([code, name]) => [name, Number(code)])));
// Socket error numbers by name: SocketError.ORVA_WSAECONNREFUSED === 10061.
const SocketError = Object.freeze(Object.fromEntries(
  Object.entries(socketErrors).filter(([, [name]]) => name !== null).map(([n, [name]]) => [name, Number(n)])));

function resultName(code) {
  return results[code] || 'ORVA_UNKNOWN_RESULT';
}

// The name of a socket error number, or null for 0 and for numbers the header does not list.
function socketErrorName(number) {
  return socketErrors[number] ? socketErrors[number][0] : null;
}

function socketErrorText(number) {
  return socketErrors[number] ? socketErrors[number][1] : '';
}

module.exports = { results, socketErrors, limits, Result, SocketError, resultName, socketErrorName, socketErrorText };
