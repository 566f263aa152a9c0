// SPDX-License-Identifier: Apache-2.0
'use strict';
// Every failure the simulator can provoke, as the OrvaError it becomes; each
// call ends within its time-outs, and the next call on the same connection works.
const test = require('node:test');
const assert = require('node:assert');
const orvanet = require('..');
const { Orvasim } = require('./support/orvasim');

const { OrvaError, Result, SocketError, resultText, socketErrorText } = orvanet;
const receiveTimeoutMs = 300;
// A call lasts about its time-outs at most; this much more is allowed for a loaded machine.
const marginMs = 1500;

let sim;
test.before(async () => {
  sim = await Orvasim.start('127.0.2.22');
  await sim.blockSize('D', 9, 0);
});
test.after(() => sim.stop());

// [case, how to provoke it, the read, result name, socket error name or null]
const failures = [
  ['silent adapter', () => sim.fault('reply', 'silence'), ['DB5', 0, 2], 'ORVA_ERR_SOCKET', 'ORVA_WSAETIMEDOUT'],
  ['silent at the connection set-up', () => sim.fault('confirm', 'silentConfirm'), ['DB5', 0, 2], 'ORVA_ERR_CONNECT', null],
  ['reset in place of the reply', () => sim.fault('reply', 'resetBeforeReply'), ['M', 0, 4], 'ORVA_ERR_SOCKET', 'ORVA_WSAECONNRESET'],
  ['reset after part of the reply', () => sim.fault('reply', 'resetAfterBytes', 10), ['M', 0, 4], 'ORVA_ERR_SOCKET', 'ORVA_WSAECONNRESET'],
  ['reset on the connection request', () => sim.fault('confirm', 'resetOnConnectRequest'), ['M', 0, 4], 'ORVA_ERR_CONNECT', null],
  ['DR in place of the confirm', () => sim.fault('confirm', 'disconnectInsteadOfConfirm'), ['DB5', 0, 2], 'ORVA_ERR_CONNECT', null],
  ['short confirm', () => sim.fault('confirm', 'shortConfirm'), ['DB5', 0, 2], 'ORVA_ERR_CONNECT', null],
  ['error byte', () => sim.fault('reply', 'errorByte', 3), ['DB5', 0, 2], 'ORVA_ERR_PLC', null],
  ['missing block', () => {}, ['DB9', 0, 2], 'ORVA_ERR_PLC', null],
  ['range past the end of a block', () => {}, ['DB5', 2047, 2], 'ORVA_ERR_PLC', null],
  ['reply of the wrong length', () => sim.fault('reply', 'wrongDataLength', 2), ['DB5', 0, 2], 'ORVA_ERR_DROPPED', null],
  ['closed in place of the reply', () => sim.fault('reply', 'closeBeforeReply'), ['DB5', 0, 2], 'ORVA_ERR_DROPPED', null],
  ['wrong type byte in the reply', () => sim.fault('reply', 'badTypeByte', 0xE0), ['DB5', 0, 2], 'ORVA_ERR_DROPPED', null],
];

for (const [name, provoke, [area, start, count], code, socketName] of failures) {
  test(`${name}: ${code}${socketName ? ` ${socketName}` : ''}`, async (t) => {
    await sim.reset();
    const plc = orvanet.connect(sim.address, { receiveTimeoutMs });
    t.after(() => plc.close());
    await provoke();
    const began = Date.now();
    const error = await plc.readWords(area, start, count).then(() => assert.fail('the read succeeded'), (e) => e);
    assert.ok(Date.now() - began < 2 * receiveTimeoutMs + marginMs, 'ended within its time-outs');
    assert.ok(error instanceof OrvaError);
    assert.strictEqual(error.code, code);
    assert.strictEqual(error.result, Result[code]);
    assert.strictEqual(error.socketErrorName, socketName);
    assert.strictEqual(error.socketError, socketName ? SocketError[socketName] : 0);
    assert.ok(error.message.startsWith(`reading ${count} words from `), error.message);
    assert.ok(error.message.includes(socketName ? socketErrorText(error.socketError) : resultText(error.result)), error.message);
    assert.ok(error.message.includes(`(${code}, result ${Result[code]})`), error.message);
    // The next call connects again where needed and succeeds.
    assert.deepStrictEqual([...await plc.readWords('DB5', 0, 2)], [0, 0]);
  });
}

test('nothing listening: ORVA_ERR_SOCKET with 10061, said in words', async () => {
  const plc = orvanet.connect('127.0.2.29');
  const error = await plc.readBytes('M', 0, 1).catch((e) => e);
  await plc.close();
  assert.ok(error instanceof OrvaError);
  assert.deepStrictEqual([error.code, error.result, error.socketError, error.socketErrorName],
    ['ORVA_ERR_SOCKET', -7, 10061, 'ORVA_WSAECONNREFUSED']);
  assert.strictEqual(error.message, 'reading 1 byte from MB0 at 127.0.2.29 failed: socket error 10061 (WSAECONNREFUSED): ' +
    'connection refused: nothing listens on port 102 at that address (ORVA_ERR_SOCKET, result -7)');
});

test('a write refused by the PLC names the range written', async () => {
  const plc = orvanet.connect(sim.address);
  const error = await plc.writeWords('DB9', 4, [1, 2, 3]).catch((e) => e);
  await plc.close();
  assert.strictEqual(error.message, 'writing 3 words to DB 9 DW4..DB 9 DW6 at 127.0.2.22 failed: the PLC refused: ' +
    'data block missing, or the range runs past the end of the area (ORVA_ERR_PLC, result 2)');
});

test('all 64 handles in use: connect() throws ORVA_ERR_NO_FREE_HANDLE', async () => {
  const open = [];
  let error;
  try {
    for (let i = 0; i <= 64 && !error; i++) {
      try {
        open.push(orvanet.connect('127.0.2.29'));
      } catch (e) {
        error = e;
      }
    }
  } finally {
    await Promise.all(open.map((c) => c.close()));
  }
  assert.ok(error instanceof OrvaError);
  assert.strictEqual(error.code, 'ORVA_ERR_NO_FREE_HANDLE');
  assert.strictEqual(error.message, 'opening a handle for 127.0.2.29 failed: all 64 handles are in use (ORVA_ERR_NO_FREE_HANDLE, result -2)');
  assert.ok(open.length <= 64);
  // Closed handles are free again.
  await orvanet.connect('127.0.2.29').close();
});
