// SPDX-License-Identifier: Apache-2.0
'use strict';
// Every area written and read back through the binding, each checked against
// the simulator's memory, where words are big-endian as on the PLC.
const test = require('node:test');
const assert = require('node:assert');
const orvanet = require('..');
const { Orvasim, bigEndian } = require('./support/orvasim');

let sim;
let plc;
test.before(async () => {
  sim = await Orvasim.start('127.0.2.21');
  plc = orvanet.connect(sim.address, { receiveTimeoutMs: 2000 });
});
test.after(async () => {
  await plc.close();
  await sim.stop();
});

test('bytes of outputs and flags: written, in memory, read back as a Buffer', async () => {
  for (const [area, letter] of [['A', 'A'], ['o', 'A'], ['M', 'M'], ['m', 'M']]) {
    const values = [0x41, 0x20, 0x7F, 0xFF, 0];
    await plc.writeBytes(area, 100, values);
    assert.deepStrictEqual([...await sim.read(letter, 0, 100, 5)], values, area);
    const read = await plc.readBytes(area, 100, 5);
    assert.ok(Buffer.isBuffer(read));
    assert.deepStrictEqual([...read], values, area);
    await plc.writeBytes(area, 100, Buffer.from([1, 2]));
    await plc.writeBytes(area, 102, new Uint8Array([3]));
    await plc.writeBytes(area, 103, [-1, -128]);
    assert.deepStrictEqual([...await sim.read(letter, 0, 100, 5)], [1, 2, 3, 0xFF, 0x80], area);
  }
});

test('inputs are read (as bytes and words) from what the adapter holds', async () => {
  await sim.write('E', 0, 10, [0x12, 0x34, 0x56, 0x78]);
  for (const area of ['E', 'I', 'e']) {
    assert.deepStrictEqual([...await plc.readBytes(area, 10, 4)], [0x12, 0x34, 0x56, 0x78]);
    assert.deepStrictEqual([...await plc.readWords(area, 10, 2)], [0x1234, 0x5678]);
  }
});

test('words of A, E and M: one word covers two byte addresses, high byte first', async () => {
  await plc.writeWords('M', 20, [0x4142, 0x0102]);
  assert.deepStrictEqual([...await sim.read('M', 0, 20, 4)], [0x41, 0x42, 0x01, 0x02]);
  assert.deepStrictEqual([...await plc.readBytes('M', 20, 4)], [0x41, 0x42, 0x01, 0x02]);
  const words = await plc.readWords('M', 21, 1);
  assert.ok(words instanceof Uint16Array);
  assert.deepStrictEqual([...words], [0x4201]);
  await plc.writeWords('A', 4, new Uint16Array([0xBEEF]));
  assert.deepStrictEqual([...await sim.read('A', 0, 4, 2)], [0xBE, 0xEF]);
});

test('data blocks, extended data blocks, timers and counters in words', async () => {
  const values = [0, 1, 0x1234, 0xFFFF, 0x8000];
  const areas = [
    // [spelling, db, letter and block of the memory]
    ['DB5', undefined, 'D', 5], ['d6', undefined, 'D', 6], ['DB', 7, 'D', 7], ['db255', undefined, 'D', 255], ['DB0', undefined, 'D', 0],
    ['DX7', undefined, 'X', 7], ['x8', undefined, 'X', 8], ['DX', 9, 'X', 9],
    ['T', undefined, 'T', 0], ['Z', undefined, 'Z', 0], ['C', undefined, 'Z', 0],
  ];
  for (const [area, db, letter, block] of areas) {
    const start = 3 + block;
    await plc.writeWords(area, start, values, db);
    assert.deepStrictEqual(await sim.read(letter, block, start * 2, values.length * 2), bigEndian(values), area);
    assert.deepStrictEqual([...await plc.readWords(area, start, values.length, db)], values, area);
  }
  await plc.writeWords('DB5', 0, [-1, -32768]);
  assert.deepStrictEqual([...await plc.readWords('DB5', 0, 2)], [0xFFFF, 0x8000], 'negative words are written as two\'s complement');
});

test('a whole block of 65535 words in one call (split into telegrams by the library)', async () => {
  await sim.blockSize('D', 20, 65535);
  const values = Uint16Array.from({ length: 65535 }, (_, i) => (i * 7919) & 0xFFFF);
  await plc.writeWords('DB20', 0, values);
  assert.deepStrictEqual(await sim.read('D', 20, 130000, 6), bigEndian([...values.slice(65000, 65003)]));
  const read = await plc.readWords('DB20', 0, 65535);
  assert.strictEqual(read.length, 65535);
  assert.ok(read.every((v, i) => v === values[i]), 'every word read back');
  const bytes = Buffer.from(Array.from({ length: 65535 }, (_, i) => i & 0xFF));
  await plc.writeBytes('M', 0, bytes);
  assert.ok((await plc.readBytes('M', 0, 65535)).equals(bytes));
});

test('the values written are those given when the call was made', async () => {
  const values = [1, 2, 3];
  const written = plc.writeWords('DB5', 100, values);
  values[0] = 99;
  await written;
  assert.deepStrictEqual([...await plc.readWords('DB5', 100, 3)], [1, 2, 3]);
});
