// SPDX-License-Identifier: Apache-2.0
'use strict';
// A thread of a connection's own (a worker thread) that makes its library
// calls, so that a call waiting on a silent adapter holds no thread that
// others need (libuv's pool of 4 serves Node.js's files and name look-ups,
// and every other connection). One call at a time: the connection queues
// them. The request and its answer pass through shared memory (Atomics), a
// round trip of about 15 us where a MessagePort takes about 100 us on
// Node.js 18; the data of a call (words, bytes, a list's results) through a
// shared scratch buffer, which grows when a call needs more.
const path = require('path');
const { Worker, MessageChannel, receiveMessageOnPort } = require('worker_threads');

// The control block: Int32 slots, then the list pointer as a BigInt64.
const slot = Object.freeze({ request: 0, reply: 1, op: 2, a: 3, b: 4, c: 5, d: 6, result: 7, socketError: 8, newScratch: 9, threw: 10 });
const listOffset = 64;
const controlBytes = 72;
const op = Object.freeze({ readBytes: 1, readWords: 2, writeBytes: 3, writeWords: 4, readList: 5, writeList: 6, exit: 9 });
const firstScratchBytes = 4096;

// The threads not yet ended, for the tests of their ends.
const live = new Set();

// Why a thread ended under a call: an Error with this as its message.
class ThreadEnded extends Error {}

class Thread {
  #worker;
  #ctl;
  #list;
  #port;
  #scratch = null;
  #scratchSent = false;
  #seq = 0;
  #ended = null;
  #exited;
  #cause = null;

  // handle: the library's handle the calls are made on; files: the libraries the main thread loaded.
  constructor(handle, files) {
    const control = new SharedArrayBuffer(controlBytes);
    this.#ctl = new Int32Array(control, 0, listOffset / 4);
    this.#list = new BigInt64Array(control, listOffset, 1);
    const { port1, port2 } = new MessageChannel();
    this.#port = port1;
    this.#worker = new Worker(path.join(__dirname, 'worker.js'), {
      workerData: { handle, files, control, port: port2 },
      transferList: [port2],
    });
    // Idle, it keeps no process alive; a call refs it while it waits.
    this.#worker.unref();
    this.#worker.on('error', (error) => { this.#cause = error; });
    this.#exited = new Promise((resolve) => {
      this.#worker.once('exit', (code) => {
        this.#ended = this.#cause ? String(this.#cause.message || this.#cause) : `it exited with code ${code}`;
        live.delete(this);
        this.#port.close();
        // Wakes a call that waits for an answer that will not come.
        Atomics.notify(this.#ctl, slot.reply);
        resolve();
      });
    });
    live.add(this);
  }

  // Null while it runs; once ended, why.
  get ended() { return this.#ended; }

  // The scratch buffer, at least bytes long (a new one is handed to the thread with the next call).
  scratch(bytes) {
    if (!this.#scratch || this.#scratch.byteLength < bytes) {
      this.#scratch = new SharedArrayBuffer(Math.max(bytes, firstScratchBytes, this.#scratch ? 2 * this.#scratch.byteLength : 0));
      this.#scratchSent = false;
    }
    return this.#scratch;
  }

  // Runs one call (op, its arguments a..d, a list pointer) and resolves to
  // { result, socketError }; rejects with ThreadEnded when the thread ends first.
  async call(code, a = 0, b = 0, c = 0, d = 0, list = 0n) {
    if (this.#ended) throw new ThreadEnded(this.#ended);
    const ctl = this.#ctl;
    ctl[slot.newScratch] = this.#scratchSent ? 0 : 1;
    if (!this.#scratchSent) {
      this.#port.postMessage(this.#scratch);
      this.#scratchSent = true;
    }
    ctl[slot.op] = code;
    ctl[slot.a] = a;
    ctl[slot.b] = b;
    ctl[slot.c] = c;
    ctl[slot.d] = d;
    ctl[slot.threw] = 0;
    this.#list[0] = list;
    const seq = ++this.#seq;
    this.#worker.ref();
    try {
      Atomics.store(ctl, slot.request, seq);
      Atomics.notify(ctl, slot.request);
      while (Atomics.load(ctl, slot.reply) !== seq && !this.#ended) {
        const wait = Atomics.waitAsync(ctl, slot.reply, seq - 1);
        if (wait.async) await wait.value;
      }
    } finally {
      this.#worker.unref();
    }
    if (Atomics.load(ctl, slot.reply) !== seq) throw new ThreadEnded(this.#ended);
    if (ctl[slot.threw]) {
      const message = receiveMessageOnPort(this.#port);
      throw new ThreadEnded(`a call threw: ${message ? message.message : 'no message'}`);
    }
    return { result: ctl[slot.result], socketError: ctl[slot.socketError] };
  }

  // Ends the thread once it is idle (the caller waits for its call first); resolves when it has.
  end() {
    if (!this.#ended) {
      // Whoever waits for the end keeps the process alive until it comes.
      this.#worker.ref();
      this.#ctl[slot.op] = op.exit;
      Atomics.store(this.#ctl, slot.request, ++this.#seq);
      Atomics.notify(this.#ctl, slot.request);
    }
    return this.#exited;
  }

  // Stops the thread at once, as a crash would (tests only).
  terminate() {
    return this.#worker.terminate();
  }
}

function liveThreads() {
  return live.size;
}

module.exports = { Thread, ThreadEnded, slot, op, listOffset, liveThreads };
