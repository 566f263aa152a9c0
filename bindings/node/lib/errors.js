// SPDX-License-Identifier: Apache-2.0
'use strict';
const { Result, resultName, socketErrorName } = require('./tables');

// The text liborvavars gives a failed call (ORVAVarsFailureText): the one
// form of every tool and binding.
function failureText(result, socketError) {
  // Required here: native.js needs this file first.
  const { orvavars } = require('./native').library();
  const out = Buffer.alloc(512);
  const n = orvavars.ORVAVarsFailureText(result, socketError, out, out.length);
  return out.toString('utf8', 0, Math.min(n, out.length - 1));
}

// A call of the library that did not succeed, or a variable of a list that
// did not read or write: "<what was asked> failed: <the library's words>".
//   code             the result's C name, 'ORVA_ERR_SOCKET'
//   result           the result code, -7
//   socketError      the socket error number, 0 for none
//   socketErrorName  its name, 'ORVA_WSAECONNREFUSED', or null
class OrvaError extends Error {
  constructor(what, result, socketError = 0) {
    super(`${what} failed: ${failureText(result, socketError)}`);
    this.name = 'OrvaError';
    this.code = resultName(result);
    this.result = result;
    this.socketError = socketError;
    this.socketErrorName = socketErrorName(socketError);
  }
}

// liborvanet or liborvavars could not be found or loaded; the message says
// what was tried and how to fix it.
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

// The codes of orvavars that say a number is too large or small; the others say it is wrong.
const rangeCodes = new Set([Result.ORVAVARS_ERR_OUT_OF_RANGE, Result.ORVAVARS_ERR_VALUE_RANGE, Result.ORVAVARS_ERR_VALUE_PRECISION,
  Result.ORVAVARS_ERR_NOT_FINITE, Result.ORVAVARS_ERR_TOO_MANY]);

// A text or value orvavars refused, in its words: a RangeError or TypeError
// with reason (the C name of its code) and, for a text, the 1-based position.
function refused(code, message, position) {
  const error = rangeCodes.has(code) ? outOfRange(message) : invalidArgument(message);
  error.reason = resultName(code);
  if (position !== undefined) error.position = position;
  return error;
}

// The connection's thread ended under a call (an uncaught error in it, or it was stopped).
function threadEnded(what, cause) {
  const error = new Error(`${what} failed: the connection's thread ended: ${cause}`);
  error.code = 'ORVA_THREAD_ENDED';
  return error;
}

module.exports = { OrvaError, OrvaLibraryError, outOfRange, invalidArgument, refused, threadEnded, failureText };
