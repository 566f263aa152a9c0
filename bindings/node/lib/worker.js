// SPDX-License-Identifier: Apache-2.0
'use strict';
// The body of a connection's thread (thread.js): it loads the libraries the
// main thread loaded, then waits for one call at a time in the control
// block, makes it synchronously on its handle, and answers in the same
// block. The socket error is asked right after the call, on the same thread,
// before another call can change it.
const { workerData, receiveMessageOnPort } = require('worker_threads');
const { loadFiles } = require('./native');
const { slot, op, listOffset } = require('./thread');

const { handle, files, control, port } = workerData;
const { orvanet, orvavars } = loadFiles(files);
const ctl = new Int32Array(control, 0, listOffset / 4);
const listSlot = new BigInt64Array(control, listOffset, 1);
const raw = { [op.readBytes]: orvanet.ORVARdB, [op.readWords]: orvanet.ORVARdW, [op.writeBytes]: orvanet.ORVAWrB, [op.writeWords]: orvanet.ORVAWrW };
let scratch = null;

function run(code) {
  const [a, b, c, d] = [ctl[slot.a], ctl[slot.b], ctl[slot.c], ctl[slot.d]];
  switch (code) {
    case op.readBytes:
    case op.writeBytes:
    case op.readWords:
    case op.writeWords: {
      // a: the area letter, b: the block, c: start, d: count.
      const data = code === op.readWords || code === op.writeWords ? new Uint16Array(scratch, 0, d) : new Uint8Array(scratch, 0, d);
      const result = raw[code](handle, a, b, c, d, data);
      return [result, result === 0 ? 0 : orvanet.ORVAGetSockErr(handle)];
    }
    case op.readList:
    case op.writeList: {
      // a: the count; each variable's socket error is in its result.
      const results = new Uint8Array(scratch);
      const call = code === op.readList ? orvavars.ORVAVarsRead : orvavars.ORVAVarsWrite;
      return [call(handle, listSlot[0], results, a), 0];
    }
    default:
      throw new Error(`unknown call ${code}`);
  }
}

for (let seen = 0; ;) {
  Atomics.wait(ctl, slot.request, seen);
  seen = Atomics.load(ctl, slot.request);
  const code = ctl[slot.op];
  if (code === op.exit) break;
  if (ctl[slot.newScratch]) scratch = receiveMessageOnPort(port).message;
  try {
    [ctl[slot.result], ctl[slot.socketError]] = run(code);
  } catch (error) {
    ctl[slot.threw] = 1;
    port.postMessage(String(error && error.stack ? error.stack : error));
  }
  Atomics.store(ctl, slot.reply, seen);
  Atomics.notify(ctl, slot.reply);
}
port.close();
