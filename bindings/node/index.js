// SPDX-License-Identifier: Apache-2.0
'use strict';
// orvanet for Node.js: the data areas and the variables of S5 PLCs through
// liborvanet and liborvavars, each connection's calls on a thread of its own.
const { connect, Connection, VarList } = require('./lib/connection');
const { library } = require('./lib/native');
const { OrvaError, OrvaLibraryError } = require('./lib/errors');
const { Result, SocketError, resultName, socketErrorName, socketErrorText } = require('./lib/tables');
const { parseArea, formatAddress } = require('./lib/areas');
const { parseVariable, decodeVariable, encodeVariable, typed } = require('./lib/variables');

// A result code in words (liborvavars' ORVAVarsResultText): its own codes and liborvanet's.
function resultText(code) {
  if (!Number.isInteger(code)) throw new TypeError(`a result code is a whole number, not ${typeof code}`);
  return library().orvavars.ORVAVarsResultText(code);
}

// The files the two libraries were loaded from; throws OrvaLibraryError when they cannot be.
function libraryPath() {
  return library().files.orvanet;
}

function varsLibraryPath() {
  return library().files.orvavars;
}

module.exports = {
  connect,
  Connection,
  VarList,
  OrvaError,
  OrvaLibraryError,
  Result,
  SocketError,
  resultName,
  resultText,
  socketErrorName,
  socketErrorText,
  parseArea,
  formatAddress,
  parseVariable,
  decodeVariable,
  encodeVariable,
  typed,
  libraryPath,
  varsLibraryPath,
};
