// SPDX-License-Identifier: Apache-2.0
'use strict';
// Calls run off the event loop: it keeps turning while a call waits; calls
// on different connections overlap; calls on one connection keep their order,
// lists among them; close() lets the calls made before it finish and refuses
// later ones.
const test = require('node:test');
const assert = require('node:assert');
const orvanet = require('..');
const { Orvasim } = require('./support/orvasim');

let sim;
test.before(async () => { sim = await Orvasim.start('127.0.2.23'); });
test.after(() => sim.stop());
test.beforeEach(() => sim.reset());

test('the event loop keeps turning while a call waits on a silent adapter', async (t) => {
  const plc = orvanet.connect(sim.address, { receiveTimeoutMs: 1000 });
  t.after(() => plc.close());
  await plc.readWords('DB5', 0, 1);
  await sim.fault('reply', 'silence');
  let ticks = 0;
  let longestGap = 0;
  let last = Date.now();
  const timer = setInterval(() => {
    const now = Date.now();
    longestGap = Math.max(longestGap, now - last);
    last = now;
    ticks++;
  }, 10);
  const began = Date.now();
  const error = await plc.readWords('DB5', 0, 1).catch((e) => e);
  const took = Date.now() - began;
  clearInterval(timer);
  assert.strictEqual(error.socketErrorName, 'ORVA_WSAETIMEDOUT');
  assert.ok(took >= 950 && took < 2500, `the call took ${took} ms`);
  // About 100 ticks of 10 ms fit into the wait; a blocked loop would give none.
  assert.ok(ticks >= 40, `${ticks} ticks while the call waited`);
  assert.ok(longestGap < 300, `the longest gap between ticks was ${longestGap} ms`);
});

test('calls on different connections run at the same time', async (t) => {
  const delayMs = 400;
  const plcs = Array.from({ length: 4 }, () => orvanet.connect(sim.address, { receiveTimeoutMs: 2000 }));
  t.after(() => Promise.all(plcs.map((p) => p.close())));
  await Promise.all(plcs.map((p) => p.readWords('DB5', 0, 1)));
  for (const _ of plcs) await sim.fault('reply', 'delayReply', 0, delayMs);
  const began = Date.now();
  await Promise.all(plcs.map((p) => p.readWords('DB5', 0, 1)));
  const took = Date.now() - began;
  // One after another they would take four delays.
  assert.ok(took >= delayMs && took < 2.5 * delayMs, `four delayed reads took ${took} ms`);
});

test('many connections at once, each with its own data', async (t) => {
  const plcs = Array.from({ length: 24 }, () => orvanet.connect(sim.address));
  t.after(() => Promise.all(plcs.map((p) => p.close())));
  await Promise.all(plcs.map(async (p, i) => {
    const values = Array.from({ length: 300 }, (_, k) => (i * 1000 + k) & 0xFFFF);
    await p.writeWords(`DB${30 + i}`, 0, values);
    assert.deepStrictEqual([...await p.readWords(`DB${30 + i}`, 0, 300)], values);
  }));
  assert.strictEqual(await sim.open(), plcs.length);
});

test('calls on one connection run in the order they were made, failures included', async (t) => {
  const plc = orvanet.connect(sim.address);
  t.after(() => plc.close());
  const list = plc.list(['DB6.DW0:KF']);
  const calls = [];
  for (let i = 0; i < 100; i++) {
    calls.push(plc.writeWords('DB6', 0, [i]));
    calls.push(plc.readWords('DB6', 0, 1).then((w) => w[0]));
    calls.push(plc.write({ 'DB6.DW0:KF': 0 - i }));
    calls.push(list.read().then((v) => v['DB6.DW0:KF']));
    if (i % 25 === 0) calls.push(plc.readWords('DB6', 2047, 2).catch((e) => e.code));
  }
  assert.strictEqual(plc.pending, calls.length);
  const settled = await Promise.all(calls);
  const reads = settled.filter((v) => typeof v === 'number');
  assert.deepStrictEqual(reads, Array.from({ length: 100 }, (_, i) => [i, 0 - i]).flat());
  assert.deepStrictEqual(settled.filter((v) => typeof v === 'string'), ['ORVA_ERR_PLC', 'ORVA_ERR_PLC', 'ORVA_ERR_PLC', 'ORVA_ERR_PLC']);
  assert.strictEqual(plc.pending, 0);
});

test('close() lets earlier calls finish, refuses later ones, and ends the connection', async () => {
  const plc = orvanet.connect(sim.address);
  await plc.writeWords('DB7', 0, [1, 2, 3]);
  const before = [plc.readWords('DB7', 0, 3), plc.writeWords('DB7', 0, [4]), plc.readWords('DB7', 0, 1)];
  assert.strictEqual(typeof plc.handle, 'number');
  const closing = plc.close();
  assert.strictEqual(plc.close(), closing, 'the same promise each time');
  assert.ok(plc.closed);
  assert.strictEqual(plc.handle, null, 'no handle once close() was called');
  // Refused as the library refuses a closed handle, in its words.
  const after = await Promise.all([plc.readWords('DB7', 0, 1), plc.read(['DB7.DW0']), plc.write({ 'DB7.DW0': 1 })].map((p) => p.catch((e) => e)));
  assert.deepStrictEqual(after.map((e) => [e.code, e.result]), Array(3).fill(['ORVA_ERR_HANDLE', -99]));
  assert.deepStrictEqual(after.map((e) => e.message), ['reading 1 word from DB 7 DW0', 'reading DB7.DW0', 'writing DB7.DW0']
    .map((what) => `${what} at 127.0.2.23 failed: invalid handle: outside 0..63 or not open (ORVA_ERR_HANDLE, result -99)`));
  const [first, , last] = await Promise.all(before);
  assert.deepStrictEqual([...first], [1, 2, 3]);
  assert.deepStrictEqual([...last], [4]);
  await closing;
  assert.strictEqual(plc.pending, 0);
  assert.deepStrictEqual(await sim.waitForEnds(1, 2000), ['reset'], 'the adapter saw the connection reset');
});
