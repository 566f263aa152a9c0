// SPDX-License-Identifier: Apache-2.0
'use strict';
// A Connection: one handle of the library to one adapter, its calls queued
// in the order they were made and run one at a time on the connection's own
// thread (thread.js), never on the event loop and never on libuv's pool.
const net = require('net');
const { library } = require('./native');
const { OrvaError, outOfRange, invalidArgument, threadEnded } = require('./errors');
const { Result, limits } = require('./tables');
const { checkRequest, valuesToWrite, describe } = require('./areas');
const { Thread, ThreadEnded, op } = require('./thread');
const { NativeList, resultAt, resultBytes, checkOptions, checkTexts } = require('./variables');

const maxTimeoutMs = 3600000;
// The lists of connection.read() kept for the next reads of the same texts.
const keptLists = 8;
const optionNames = ['ownTsap', 'plcTsap', 'receiveTimeoutMs', 'sendTimeoutMs', 'connectTimeoutMs'];
const rawCalls = {
  bytes: { read: op.readBytes, write: op.writeBytes, Array: Uint8Array },
  words: { read: op.readWords, write: op.writeWords, Array: Uint16Array },
};

// Only connect() makes a Connection, and only a Connection a VarList.
const fromConnect = Symbol('connect');
// How a VarList queues its reads on its connection, without a public method for it.
const enqueueList = Symbol('enqueue');

// A connection that is collected without close() is closed then; what that
// needs lives apart from it: its handle and its thread.
const abandoned = new FinalizationRegistry((state) => {
  if (state.closed) return;
  if (state.thread) state.thread.end();
  library().orvanet.ORVAClose(state.handle);
});
const states = new WeakMap();

// A NUL-terminated Latin-1 copy of a TSAP: one byte a character, as the adapter compares them.
function tsapBytes(name, value) {
  if (typeof value !== 'string') throw invalidArgument(`${name} must be a string, not ${typeof value}`);
  if (value.length > limits.maxTsapLength) throw outOfRange(`${name} ${JSON.stringify(value)} is longer than ${limits.maxTsapLength} characters`);
  if (/[^\x01-\xFF]/.test(value)) throw invalidArgument(`${name} ${JSON.stringify(value)} has a character outside Latin-1 (or a NUL)`);
  return Buffer.from(`${value}\0`, 'latin1');
}

function timeout(name, value) {
  if (!Number.isInteger(value) || value < 0 || value > maxTimeoutMs) {
    throw outOfRange(`${name} must be a whole number of milliseconds 0..${maxTimeoutMs} (0: the library's default), not ${value}`);
  }
  return value;
}

// "DB10.DD30:KG", "DB10.DD30:KG, MW20:KF and T3", "DB10.DD30:KG, MW20:KF, T3 and 97 more": for messages.
function namesOf(texts) {
  if (texts.length === 1) return texts[0];
  if (texts.length <= 3) return `${texts.slice(0, -1).join(', ')} and ${texts[texts.length - 1]}`;
  return `${texts.slice(0, 3).join(', ')} and ${texts.length - 3} more`;
}

// A list's results, read into the thread's scratch buffer.
async function listResults(thread, code, native) {
  const bytes = resultBytes(native.count);
  const scratch = thread.scratch(bytes);
  await thread.call(code, native.count, 0, 0, 0, native.pointer);
  const view = new DataView(scratch, 0, bytes);
  const results = new Array(native.count);
  for (let i = 0; i < native.count; i++) results[i] = resultAt(view, i, native.views);
  return results;
}

// Each text's value, or its own OrvaError (not thrown).
function valuesOf(texts, results, address) {
  const values = {};
  for (let i = 0; i < texts.length; i++) {
    const r = results[i];
    values[texts[i]] = r.status === 0 ? r.value : new OrvaError(`reading ${texts[i]} at ${address}`, r.status, r.socketError);
  }
  return values;
}

// Each variable in list order: { variable, value, error, kind, timeBase, timeDigits }.
function detailsOf(texts, results, address) {
  return results.map((r, i) => {
    const d = { variable: texts[i], value: r.status === 0 ? r.value : undefined, kind: r.kind, error: null };
    if (r.status !== 0) d.error = new OrvaError(`reading ${texts[i]} at ${address}`, r.status, r.socketError);
    if (r.kind === 'time') Object.assign(d, { timeBase: r.timeBase, timeDigits: r.timeDigits });
    return d;
  });
}

function entriesOf(values) {
  if (values instanceof Map) return [...values.entries()];
  if (values !== null && typeof values === 'object' && !Array.isArray(values)) return Object.entries(values);
  throw invalidArgument(`the values must be an object or a Map of variable -> value, such as { 'DB10.DD30:KG': 12.5 }, not ${describe(values)}`);
}

class Connection {
  #state;
  #tail = Promise.resolve();
  #pending = 0;
  #closed = null;
  #lists = new Map();

  constructor(token, handle, address, settings) {
    if (token !== fromConnect) throw new TypeError('a Connection is made by connect(address, options)');
    this.#state = { handle, thread: null, closed: false };
    this.address = address;
    Object.assign(this, settings);
    Object.freeze(this);
    states.set(this, this.#state);
    abandoned.register(this, this.#state, this);
  }

  // The library's handle, 0..63; null once close() was called.
  get handle() { return this.#closed === null ? this.#state.handle : null; }
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

  // Reads the variables (texts such as 'DB10.DD30:KG') in one call to the
  // connection's thread; resolves to an object text -> value, each failed
  // variable with its own OrvaError as its value. Options: gap (bytes).
  // The last few lists are kept, planned, so that reading the same texts
  // again costs what a VarList's read does.
  read(texts, options = {}) {
    let native;
    try {
      checkOptions(options, ['gap']);
      native = this.#closed === null ? this.#listOf(texts, options) : null;
    } catch (error) {
      return Promise.reject(error);
    }
    const copy = [...texts];
    return this.#enqueue(`reading ${namesOf(copy)} at ${this.address}`,
      async (thread) => valuesOf(copy, await listResults(thread, op.readList, native), this.address));
  }

  // A list of variables planned once, to read again and again (the fast path).
  list(texts, options = {}) {
    checkOptions(options, ['gap']);
    return new VarList(fromConnect, [...texts], options, this);
  }

  // Writes an object or Map of text -> value, in as few calls as the values
  // allow. Every value is checked first (RangeError, TypeError: nothing is
  // written then). Resolves when every variable was written; otherwise
  // rejects with the OrvaError of the first that was not, whose errors hold
  // each one that was not (text -> OrvaError). Bits and parts of data words
  // are read first and written back with the rest of their byte or word;
  // options.noModify refuses those, options.roundTimes rounds KT times.
  write(values, options = {}) {
    let native;
    let texts;
    try {
      checkOptions(options, ['roundTimes', 'noModify']);
      const entries = entriesOf(values);
      texts = entries.map(([text]) => text);
      native = new NativeList(texts, options);
      entries.forEach(([, value], i) => native.set(i, value));
    } catch (error) {
      if (native) native.free();
      return Promise.reject(error);
    }
    return this.#enqueue(`writing ${namesOf(texts)} at ${this.address}`, async (thread) => {
      try {
        const results = await listResults(thread, op.writeList, native);
        const errors = {};
        let first = null;
        results.forEach((r, i) => {
          if (r.status === 0) return;
          errors[texts[i]] = new OrvaError(`writing ${texts[i]} at ${this.address}`, r.status, r.socketError);
          first = first || errors[texts[i]];
        });
        if (first) {
          first.errors = errors;
          throw first;
        }
      } finally {
        native.free();
      }
    }, () => native.free());
  }

  // The kept list of these texts and options, or a new one kept in place of the oldest.
  #listOf(texts, options) {
    checkTexts(texts);
    const key = `${options.gap ?? ''}\n${texts.join('\n')}`;
    let native = this.#lists.get(key);
    if (native) {
      this.#lists.delete(key);
    } else {
      native = new NativeList(texts, options, this);
      if (this.#lists.size >= keptLists) {
        const [oldest, list] = this.#lists.entries().next().value;
        this.#lists.delete(oldest);
        // Freed once the calls queued before, which may use it, have run.
        this.#tail.then(() => list.free());
      }
    }
    this.#lists.set(key, native);
    return native;
  }

  // Lets the calls made before it run, refuses later ones, ends the
  // connection's thread and closes the handle (an established connection is
  // reset). The same promise each time.
  close() {
    if (this.#closed === null) {
      const state = this.#state;
      this.#closed = this.#tail.then(async () => {
        if (state.thread) await state.thread.end();
        for (const list of this.#lists.values()) list.free();
        this.#lists.clear();
        state.closed = true;
        const code = library().orvanet.ORVAClose(state.handle);
        if (code !== Result.ORVA_OK) throw new OrvaError(`closing the connection to ${this.address}`, code);
      });
    }
    return this.#closed;
  }

  [enqueueList](what, step) {
    return this.#enqueue(what, step);
  }

  // Runs step(thread) once the calls made before it have settled. what names
  // the call in its errors; refused() undoes what the call prepared when it
  // is refused at once.
  #enqueue(what, step, refused = () => {}) {
    if (this.#closed !== null) {
      refused();
      return Promise.reject(new OrvaError(what, Result.ORVA_ERR_HANDLE));
    }
    const state = this.#state;
    const call = this.#tail.then(async () => {
      if (!state.thread || state.thread.ended) state.thread = new Thread(state.handle, library().files);
      try {
        return await step(state.thread);
      } catch (error) {
        throw error instanceof ThreadEnded ? threadEnded(what, error.message) : error;
      }
    });
    this.#pending++;
    const settled = () => { this.#pending--; };
    this.#tail = call.then(settled, settled);
    return call;
  }

  #transfer(request) {
    let checked;
    let data;
    try {
      if (request.write) {
        data = valuesToWrite(request.values, request.unit);
        request.count = data.length;
      }
      checked = checkRequest({ ...request, address: this.address });
    } catch (error) {
      return Promise.reject(error);
    }
    const { parsed, what } = checked;
    const { unit, start, count, write } = request;
    const calls = rawCalls[unit];
    return this.#enqueue(what, async (thread) => {
      const scratch = thread.scratch(count * calls.Array.BYTES_PER_ELEMENT);
      if (write) new calls.Array(scratch, 0, count).set(data);
      const { result, socketError } = await thread.call(write ? calls.write : calls.read, parsed.letter.charCodeAt(0), parsed.block, start, count);
      if (result !== Result.ORVA_OK) throw new OrvaError(what, result, socketError);
      if (write) return undefined;
      const values = new calls.Array(count);
      values.set(new calls.Array(scratch, 0, count));
      return unit === 'bytes' ? Buffer.from(values.buffer) : values;
    });
  }
}

// A list of variables of one connection, parsed and planned once; each
// read is one call to the connection's thread.
class VarList {
  #native;
  #connection;
  #read;

  constructor(token, texts, options, connection) {
    if (token !== fromConnect) throw new TypeError('a VarList is made by connection.list(variables)');
    this.#native = new NativeList(texts, options, this);
    this.#connection = connection;
    this.variables = Object.freeze(texts);
    // Planned now, on this thread, before any read can use the list.
    this.plan = Object.freeze(this.#native.plan());
    this.#read = (code, shape) => connection[enqueueList](`reading ${namesOf(texts)} at ${connection.address}`, async (thread) => {
      const results = await listResults(thread, code, this.#native);
      return shape(texts, results, connection.address);
    });
    Object.freeze(this);
  }

  get connection() { return this.#connection; }

  // Resolves to an object text -> value, or text -> OrvaError for a variable that did not read.
  read() {
    return this.#read(op.readList, valuesOf);
  }

  // Resolves to each variable's result in list order: { variable, value,
  // error, kind, timeBase, timeDigits } (the time base and digits of KT).
  readResults() {
    return this.#read(op.readList, detailsOf);
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
  const fns = library().orvanet;
  // Only records the settings: quick enough for the event loop.
  const handle = fns.ORVAOpen(Buffer.from(`${address}\0`, 'latin1'), own, plc,
    settings.receiveTimeoutMs, settings.sendTimeoutMs, settings.connectTimeoutMs);
  if (handle < 0) throw new OrvaError(`opening a handle for ${address}`, handle);
  return new Connection(fromConnect, handle, address, settings);
}

// The connection's thread, or null before its first call (tests only).
function threadOf(connection) {
  const state = states.get(connection);
  return state ? state.thread : null;
}

module.exports = { connect, Connection, VarList, threadOf };
