// SPDX-License-Identifier: Apache-2.0
'use strict';
// orvanet for Node.js: the data areas of S5 PLCs through liborvanet, with
// every call that may wait on the network run off the event loop.
const net = require('net');
const { library } = require('./lib/native');
const { OrvaError, OrvaLibraryError, outOfRange, invalidArgument } = require('./lib/errors');
const { Result, SocketError, resultName, resultText, socketErrorName, socketErrorText } = require('./lib/tables');
const { parseArea, formatAddress, describeRange, checkRequest, valuesToWrite } = require('./lib/areas');

const maxTsapLength = 8;
const maxTimeoutMs = 3600000;
// The library's read and write function for each unit.
const functionNames = { bytes: ['ORVARdB', 'ORVAWrB'], words: ['ORVARdW', 'ORVAWrW'] };
const optionNames = ['ownTsap', 'plcTsap', 'receiveTimeoutMs', 'sendTimeoutMs', 'connectTimeoutMs'];

// A NUL-terminated Latin-1 copy of a TSAP: one byte a character, as the adapter compares them.
function tsapBytes(name, value) {
  if (typeof value !== 'string') throw invalidArgument(`${name} must be a string, not ${typeof value}`);
  if (value.length > maxTsapLength) throw outOfRange(`${name} ${JSON.stringify(value)} is longer than ${maxTsapLength} characters`);
  if (/[^\x01-\xFF]/.test(value)) throw invalidArgument(`${name} ${JSON.stringify(value)} has a character outside Latin-1 (or a NUL)`);
  return Buffer.from(`${value}\0`, 'latin1');
}

function timeout(name, value) {
  if (!Number.isInteger(value) || value < 0 || value > maxTimeoutMs) {
    throw outOfRange(`${name} must be a whole number of milliseconds 0..${maxTimeoutMs} (0: the library's default), not ${value}`);
  }
  return value;
}

function callAsync(fn, args) {
  return new Promise((resolve, reject) => {
    fn.async(...args, (error, result) => (error ? reject(error) : resolve(result)));
  });
}

// Only connect() makes a Connection.
const fromConnect = Symbol('connect');

// One handle of the library to one adapter. Calls are queued and run one
// after another in the order they were made, each on a thread of libuv's
// pool, never on the event loop.
class Connection {
  #fns;
  #handle;
  #tail = Promise.resolve();
  #pending = 0;
  #closed = null;

  constructor(token, fns, handle, address, options) {
    if (token !== fromConnect) throw new TypeError('a Connection is made by connect(address, options)');
    this.#fns = fns;
    this.#handle = handle;
    this.address = address;
    Object.assign(this, options);
    Object.freeze(this);
  }

  // The library's handle, 0..63.
  get handle() { return this.#handle; }
  // Calls made and not yet settled.
  get pending() { return this.#pending; }
  // True once close() was called: new calls are refused.
  get closed() { return this.#closed !== null; }

  readBytes(area, start, count, db) {
    return this.#transfer({ area, db, start, count, unit: 'bytes', write: false });
  }

  readWords(area, start, count, db) {
    return this.#transfer({ area, db, start, count, unit: 'words', write: false });
  }

  writeBytes(area, start, values, db) {
    return this.#transfer({ area, db, start, values, unit: 'bytes', write: true });
  }

  writeWords(area, start, values, db) {
    return this.#transfer({ area, db, start, values, unit: 'words', write: true });
  }

  // Lets the calls made before it run, refuses later ones, then closes the
  // handle (an established connection is reset). The same promise each time.
  close() {
    if (this.#closed === null) {
      this.#closed = this.#tail.then(() => callAsync(this.#fns.ORVAClose, [this.#handle])).then((code) => {
        if (code !== Result.ORVA_OK) throw new OrvaError(`closing the connection to ${this.address}`, code);
      });
    }
    return this.#closed;
  }

  #transfer(request) {
    let checked;
    let buffer;
    try {
      if (request.write) {
        buffer = valuesToWrite(request.values, request.unit);
        request.count = buffer.length;
      }
      checked = checkRequest({ ...request, address: this.address });
    } catch (error) {
      return Promise.reject(error);
    }
    const { parsed, what } = checked;
    if (this.#closed !== null) {
      return Promise.reject(new OrvaError(what, Result.ORVA_ERR_HANDLE, 0, 'the connection is closed: close() was called'));
    }
    if (!request.write) buffer = request.unit === 'bytes' ? Buffer.alloc(request.count) : new Uint16Array(request.count);
    const fn = this.#fns[functionNames[request.unit][request.write ? 1 : 0]];
    const args = [this.#handle, parsed.letter.charCodeAt(0), parsed.block, request.start, request.count, buffer];

    const call = this.#tail.then(() => callAsync(fn, args)).then((code) => {
      // Asked before the next queued call can change it.
      if (code !== Result.ORVA_OK) throw new OrvaError(what, code, this.#fns.ORVAGetSockErr(this.#handle));
      return request.write ? undefined : buffer;
    });
    this.#pending++;
    const settled = () => { this.#pending--; };
    this.#tail = call.then(settled, settled);
    return call;
  }
}

// Opens a handle to the adapter at address (dotted IPv4), port 102. Nothing
// is sent: the first read or write connects, and a dropped connection is made
// again by the next call. Time-outs of 0 are the library's defaults (500 ms
// receive, 500 ms send, 5000 ms connect).
function connect(address, options = {}) {
  if (typeof address !== 'string' || !net.isIPv4(address)) {
    throw invalidArgument(`address must be a dotted IPv4 address such as '192.168.0.10' (host names are not resolved), not ${JSON.stringify(address)}`);
  }
  if (options === null || typeof options !== 'object') throw invalidArgument('options must be an object');
  const unknown = Object.keys(options).filter((k) => !optionNames.includes(k));
  if (unknown.length) throw invalidArgument(`unknown option ${unknown.join(', ')}: the options are ${optionNames.join(', ')}`);
  const settings = {
    ownTsap: options.ownTsap ?? '',
    plcTsap: options.plcTsap ?? '',
    receiveTimeoutMs: timeout('receiveTimeoutMs', options.receiveTimeoutMs ?? 0),
    sendTimeoutMs: timeout('sendTimeoutMs', options.sendTimeoutMs ?? 0),
    connectTimeoutMs: timeout('connectTimeoutMs', options.connectTimeoutMs ?? 0),
  };
  const own = tsapBytes('ownTsap', settings.ownTsap);
  const plc = tsapBytes('plcTsap', settings.plcTsap);
  const fns = library().functions;
  // Only records the settings: quick enough for the event loop.
  const handle = fns.ORVAOpen(Buffer.from(`${address}\0`, 'latin1'), own, plc,
    settings.receiveTimeoutMs, settings.sendTimeoutMs, settings.connectTimeoutMs);
  if (handle < 0) throw new OrvaError(`opening a handle for ${address}`, handle);
  return new Connection(fromConnect, fns, handle, address, settings);
}

// The file the library was loaded from; throws OrvaLibraryError when it cannot be.
function libraryPath() {
  return library().file;
}

module.exports = {
  connect,
  Connection,
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
  libraryPath,
};
