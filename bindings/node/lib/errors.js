// SPDX-License-Identifier: Apache-2.0
'use strict';
const { Result, resultName, resultText, socketErrorName, socketErrorText } = require('./tables');

// A call of the library that did not succeed, or one refused by the binding
// for a reason the library would report the same way (an area the function
// does not take, a closed connection).
//   code         the result's name, 'ORVA_ERR_SOCKET'
//   result       the result code, -7
//   socketError  the handle's socket error number, 0 for none
//   socketErrorName  its name, 'ORVA_WSAECONNREFUSED', or null
class OrvaError extends Error {
  constructor(what, result, socketError = 0, detail = '') {
    const name = resultName(result);
    const sname = socketErrorName(socketError);
    const socketText = socketError === 0 ? ''
      : `socket error ${socketError}${sname ? ` ${sname}` : ''}${socketErrorText(socketError) ? `: ${socketErrorText(socketError)}` : ''}`;
    // For ORVA_ERR_SOCKET the socket error is the cause; for others it is what the handle last recorded.
    const message = result === Result.ORVA_ERR_SOCKET && socketText
      ? `${what} failed: ${socketText} (${name}, result ${result})`
      : `${what} failed: ${detail || resultText(result)} (${name}, result ${result})${socketText ? `, ${socketText}` : ''}`;
    super(message);
    this.name = 'OrvaError';
    this.code = name;
    this.result = result;
    this.socketError = socketError;
    this.socketErrorName = socketErrorName(socketError);
  }
}

// liborvanet could not be found or loaded; the message says what was tried
// and how to fix it.
class OrvaLibraryError extends Error {
  constructor(message) {
    super(message);
    this.name = 'OrvaLibraryError';
    this.code = 'ORVA_LIBRARY_NOT_FOUND';
  }
}

// Argument errors, raised before any call, with Node's own codes.
function outOfRange(message) {
  const error = new RangeError(message);
  error.code = 'ERR_OUT_OF_RANGE';
  return error;
}

function invalidArgument(message) {
  const error = new TypeError(message);
  error.code = 'ERR_INVALID_ARG_VALUE';
  return error;
}

module.exports = { OrvaError, OrvaLibraryError, outOfRange, invalidArgument };
