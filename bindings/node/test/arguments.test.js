// SPDX-License-Identifier: Apache-2.0
'use strict';
// Areas, addresses and every argument the binding refuses before any call.
const test = require('node:test');
const assert = require('node:assert');
const orvanet = require('..');
const { Orvasim } = require('./support/orvasim');

const { parseArea, formatAddress, OrvaError } = orvanet;

test('area spellings, in either case, with the block in the spelling or apart', () => {
  const spelled = {
    A: ['A', 0, 'A'], o: ['A', 0, 'A'], E: ['E', 0, 'E'], i: ['E', 0, 'E'], m: ['M', 0, 'M'], T: ['T', 0, 'T'],
    z: ['Z', 0, 'Z'], C: ['Z', 0, 'Z'], DB5: ['D', 5, 'DB5'], d5: ['D', 5, 'DB5'], dx7: ['X', 7, 'DX7'], X255: ['X', 255, 'DX255'],
    DB0: ['D', 0, 'DB0'],
  };
  for (const [text, [letter, block, spelling]] of Object.entries(spelled)) {
    assert.deepStrictEqual(parseArea(text), { letter, block, spelling }, text);
  }
  assert.deepStrictEqual(parseArea('DB', 5), { letter: 'D', block: 5, spelling: 'DB5' });
  assert.deepStrictEqual(parseArea('x', 9), { letter: 'X', block: 9, spelling: 'DX9' });
  assert.deepStrictEqual(parseArea('DB5', 5), { letter: 'D', block: 5, spelling: 'DB5' });
});

test('area mistakes say what is wrong', () => {
  const mistakes = [
    [['Q'], TypeError, /unknown area "Q": use A or O \(outputs\)/],
    [['M5'], TypeError, /unknown area "M5"/],
    [['DBX'], TypeError, /unknown area/],
    [[5], TypeError, /area must be a string/],
    [['DB'], TypeError, /data blocks \(DB\) need a block number: 'DB5', or area 'DB' with db 5/],
    [['X'], TypeError, /extended data blocks \(DX\) need a block number: 'DX5'/],
    [['DB256'], RangeError, /the block number must be a whole number 0\.\.255, not 256/],
    [['DB', -1], RangeError, /db must be a whole number 0\.\.255/],
    [['DB5', 6], TypeError, /area "DB5" and db 6 name two different blocks/],
    [['M', 3], TypeError, /flags \(M\) have no block number/],
  ];
  for (const [args, type, message] of mistakes) assert.throws(() => parseArea(...args), (e) => e instanceof type && message.test(e.message), String(args));
});

test('element addresses as orvacli prints them; words of A, E and M step by two', () => {
  const cases = [
    ['E', 'bytes', 0, 0, 'EB0'], ['M', 'bytes', 10, 1, 'MB11'], ['M', 'words', 10, 0, 'MW10'], ['M', 'words', 10, 1, 'MW12'],
    ['A', 'words', 4, 0, 'AW4'], ['O', 'bytes', 4, 0, 'AB4'], ['I', 'words', 0, 2, 'EW4'], ['DB5', 'words', 3, 0, 'DB 5 DW3'],
    ['DB5', 'words', 3, 1, 'DB 5 DW4'], ['DX7', 'words', 0, 0, 'DX 7 DW0'], ['T', 'words', 3, 0, 'T 3'], ['C', 'words', 4, 0, 'Z 4'],
  ];
  for (const [area, unit, start, index, text] of cases) assert.strictEqual(formatAddress(parseArea(area), unit, start, index), text);
});

test('connect() refuses bad settings at once', () => {
  const bad = [
    [['localhost'], /dotted IPv4 address .*host names are not resolved/],
    [['127.0.2.256'], /dotted IPv4/],
    [['010.0.0.1'], /dotted IPv4/],
    [[undefined], /dotted IPv4/],
    [['127.0.2.20', { ownTsap: 'TCP-TSAP-1' }], /ownTsap "TCP-TSAP-1" is longer than 8 characters/],
    [['127.0.2.20', { plcTsap: 'S5\u20ac' }], /plcTsap "S5€" has a character outside Latin-1/],
    [['127.0.2.20', { plcTsap: 5 }], /plcTsap must be a string/],
    [['127.0.2.20', { receiveTimeoutMs: -1 }], /receiveTimeoutMs must be a whole number of milliseconds 0\.\.3600000/],
    [['127.0.2.20', { connectTimeoutMs: 3600001 }], /connectTimeoutMs must be/],
    [['127.0.2.20', { sendTimeoutMs: 1.5 }], /sendTimeoutMs must be/],
    [['127.0.2.20', { receiveTimeout: 1000 }], /unknown option receiveTimeout: the options are ownTsap, plcTsap, receiveTimeoutMs/],
  ];
  for (const [args, message] of bad) assert.throws(() => orvanet.connect(...args), message, String(args[0]));
  assert.throws(() => new orvanet.Connection(), /a Connection is made by connect\(address, options\)/);
});

test('calls with bad arguments are refused before anything is sent', async (t) => {
  const sim = await Orvasim.start('127.0.2.20');
  t.after(() => sim.stop());
  const plc = orvanet.connect(sim.address);
  t.after(() => plc.close());
  const refused = [
    [() => plc.readBytes('M', -1, 1), RangeError, /start must be a whole number 0\.\.65535, not -1/],
    [() => plc.readBytes('M', 65536, 1), RangeError, /start must be/],
    [() => plc.readWords('DB5', '3', 1), RangeError, /start must be a whole number 0\.\.65535, not "3"/],
    [() => plc.readBytes('M', 0, 0), RangeError, /count must be a whole number 1\.\.65535, not 0/],
    [() => plc.readWords('T', 0, 65536), RangeError, /count must be/],
    [() => plc.readBytes('M', 0, 2.5), RangeError, /count must be/],
    [() => plc.readBytes('M', 65000, 600), RangeError, /the range 65000\.\.65599 runs past address 65535 of the area/],
    [() => plc.readWords('M', 65534, 2), RangeError, /the range 65534\.\.65537 runs past/],
    [() => plc.readWords('DB5', 65535, 2), RangeError, /the range 65535\.\.65536 runs past/],
    [() => plc.writeBytes('M', 0, [256]), RangeError, /value 0 \(256\) does not fit in a byte: 0\.\.255, or -128\.\.-1 as two's complement/],
    [() => plc.writeBytes('M', 0, [1, -129]), RangeError, /value 1 \(-129\)/],
    [() => plc.writeWords('DB5', 0, [65536]), RangeError, /value 0 \(65536\) does not fit in a word: 0\.\.65535, or -32768\.\.-1/],
    [() => plc.writeWords('DB5', 0, [1, 2, 0.5]), RangeError, /value 2 \(0\.5\)/],
    [() => plc.writeWords('DB5', 0, [NaN]), RangeError, /value 0 \(NaN\)/],
    [() => plc.writeWords('DB5', 0, ['7']), RangeError, /value 0 \("7"\)/],
    [() => plc.writeWords('DB5', 0, []), RangeError, /the number of values must be a whole number 1\.\.65535, not 0/],
    [() => plc.writeWords('DB5', 0, 7), TypeError, /the values must be an array or a Uint16Array, not 7/],
    [() => plc.writeBytes('M', 0, 'AB'), TypeError, /the values must be an array, a Buffer or a Uint8Array/],
    [() => plc.readWords('Q', 0, 1), TypeError, /unknown area/],
    [() => plc.readWords('DB', 0, 1), TypeError, /need a block number/],
  ];
  for (const [call, type, message] of refused) {
    await assert.rejects(call(), (e) => e instanceof type && message.test(e.message), String(call));
  }
  // What the library would refuse with ORVA_ERR_AREA is refused the same way.
  const areaErrors = [
    [() => plc.writeBytes('E', 0, [1]), 'writing 1 byte to EB0 at 127.0.2.20 failed: inputs (E) can be read but not written (ORVA_ERR_AREA, result -10)'],
    [() => plc.writeWords('I', 2, [1, 2]), 'writing 2 words to EW2..EW4 at 127.0.2.20 failed: inputs (E) can be read but not written (ORVA_ERR_AREA, result -10)'],
    [() => plc.readBytes('DB5', 0, 4), 'reading 4 bytes from DB 5 DB0..DB 5 DB3 at 127.0.2.20 failed: data blocks (DB) are read and written in words only: use readWords (ORVA_ERR_AREA, result -10)'],
    [() => plc.writeBytes('T', 0, [1]), 'writing 1 byte to T 0 at 127.0.2.20 failed: timers (T) are read and written in words only: use writeWords (ORVA_ERR_AREA, result -10)'],
  ];
  for (const [call, message] of areaErrors) {
    await assert.rejects(call(), (e) => e instanceof OrvaError && e.code === 'ORVA_ERR_AREA' && e.result === -10 && e.message === message);
  }
  assert.strictEqual(plc.pending, 0);
  assert.strictEqual(await sim.accepted(), 0, 'no connection was made');
  // And the connection still works.
  assert.deepStrictEqual([...await plc.readBytes('M', 0, 2)], [0, 0]);
});
