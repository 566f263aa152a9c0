// SPDX-License-Identifier: Apache-2.0
'use strict';
// Each connection's calls on a thread of its own: calls waiting on silent
// adapters hold no thread that another connection or Node.js itself needs;
// a thread that dies fails the call that waited on it, and the next call
// gets a new one; idle threads keep no process alive; close() ends them.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { spawnSync } = require('child_process');
const orvanet = require('..');
const { threadOf } = require('../lib/connection');
const { liveThreads } = require('../lib/thread');
const { Orvasim } = require('./support/orvasim');

let healthy;
let silent;
test.before(async () => {
  healthy = await Orvasim.start('127.0.2.25');
  silent = await Orvasim.start('127.0.2.26');
});
test.after(async () => {
  await healthy.stop();
  await silent.stop();
});

const unhandled = [];
process.on('unhandledRejection', (reason) => unhandled.push(reason));

async function timedMs(promise) {
  const began = process.hrtime.bigint();
  await promise;
  return Number(process.hrtime.bigint() - began) / 1e6;
}

test('a healthy read settles within its own time-out while 16 calls wait on silent adapters, and so does Node.js\'s file work', async (t) => {
  const silentTimeoutMs = 1500;
  const healthyTimeoutMs = 500;
  const waiting = Array.from({ length: 16 }, () => orvanet.connect(silent.address, { receiveTimeoutMs: silentTimeoutMs }));
  const plc = orvanet.connect(healthy.address, { receiveTimeoutMs: healthyTimeoutMs });
  t.after(() => Promise.all([...waiting, plc].map((c) => c.close())));
  await Promise.all([...waiting, plc].map((c) => c.readWords('DB1', 0, 1)));
  for (const _ of waiting) await silent.fault('reply', 'silence');

  const began = Date.now();
  const silentCalls = waiting.map((c) => c.readWords('DB1', 0, 1).catch((e) => e));
  await new Promise((resolve) => setTimeout(resolve, 100));
  // Sixteen calls wait, four times the threads of libuv's pool.
  assert.ok(waiting.every((c) => c.pending === 1));
  const [readMs, fileMs] = await Promise.all([timedMs(plc.readWords('DB1', 0, 100)), timedMs(fs.promises.readFile(__filename))]);
  assert.ok(readMs < healthyTimeoutMs, `the healthy read took ${readMs} ms`);
  assert.ok(fileMs < healthyTimeoutMs, `the file read took ${fileMs} ms`);
  const errors = await Promise.all(silentCalls);
  const settledMs = Date.now() - began;
  assert.deepStrictEqual(errors.map((e) => e.socketErrorName), Array(16).fill('ORVA_WSAETIMEDOUT'));
  // Each within its time-out, all at once, not one pool's turn after another.
  assert.ok(settledMs < silentTimeoutMs + 1000, `the 16 silent calls settled after ${settledMs} ms`);
});

test('a thread is started by the first call, not by connect(), and ended by close()', async () => {
  const before = liveThreads();
  const plcs = Array.from({ length: 20 }, () => orvanet.connect(healthy.address));
  assert.strictEqual(liveThreads(), before);
  assert.ok(plcs.every((p) => threadOf(p) === null));
  await Promise.all(plcs.map((p) => p.readWords('DB1', 0, 1)));
  assert.strictEqual(liveThreads(), before + 20);
  await Promise.all(plcs.map((p) => p.close()));
  assert.strictEqual(liveThreads(), before);
  assert.ok(plcs.every((p) => threadOf(p).ended), 'every thread has ended');
});

test('a thread that dies fails the call that waited on it; the calls queued behind run on a new thread', async (t) => {
  const plc = orvanet.connect(healthy.address, { receiveTimeoutMs: 600 });
  t.after(() => plc.close());
  await healthy.write('D', 2, 0, [0x12, 0x34]);
  await plc.readWords('DB2', 0, 1);
  await healthy.fault('reply', 'silence');
  const waited = plc.readWords('DB2', 0, 1).catch((e) => e);
  const behind = [plc.readWords('DB2', 0, 1), plc.read(['DB2.DW0:KH'])];
  const first = threadOf(plc);
  setTimeout(() => first.terminate(), 100);
  const error = await waited;
  assert.strictEqual(error.code, 'ORVA_THREAD_ENDED');
  assert.match(error.message, /^reading 1 word from DB 2 DW0 at 127\.0\.2\.25 failed: the connection's thread ended: it exited with code 1$/);
  assert.deepStrictEqual([...await behind[0]], [0x1234]);
  assert.deepStrictEqual(await behind[1], { 'DB2.DW0:KH': 0x1234 });
  assert.notStrictEqual(threadOf(plc), first);
  assert.ok(first.ended);
  assert.strictEqual(unhandled.length, 0, `no unhandled rejection: ${unhandled}`);
});

// A Node.js of its own, that ends as it ends by itself.
function runScript(script, timeout = 10000) {
  return spawnSync(process.execPath, ['-e', script], { cwd: path.join(__dirname, '..'), env: process.env, encoding: 'utf8', timeout });
}

test('idle threads keep no process alive; a call still waiting does, until it settles', async () => {
  const idle = runScript(`const o = require('.'); const p = o.connect('${healthy.address}');
    p.readWords('DB1', 0, 1).then((w) => { console.log('read', w.length); globalThis.began = Date.now(); });
    process.on('exit', () => console.log('ended at once', Date.now() - globalThis.began < 1000));`);
  assert.strictEqual(idle.status, 0, idle.stderr);
  assert.strictEqual(idle.stdout, 'read 1\nended at once true\n');

  // The adapter does not confirm: the call waits its receive time-out in a process with nothing else to do.
  await silent.fault('confirm', 'silentConfirm');
  const began = Date.now();
  const busy = runScript(`const o = require('.'); const p = o.connect('${silent.address}', { receiveTimeoutMs: 700 });
    p.readWords('DB1', 0, 1).catch((e) => console.log(e.code));`);
  assert.strictEqual(busy.status, 0, busy.stderr);
  assert.strictEqual(busy.stdout, 'ORVA_ERR_CONNECT\n', 'the process waited for the call');
  assert.ok(Date.now() - began >= 650, `the process ended after ${Date.now() - began} ms`);
});
