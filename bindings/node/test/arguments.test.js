// SPDX-License-Identifier: Apache-2.0
'use strict';
// Areas, addresses and every argument the binding refuses before any call.
const test = require('node:test');
const assert = require('node:assert');
const orvanet = require('..');
const { Orvasim } = require('./support/orvasim');

const { parseArea, formatAddress, OrvaError } = orvanet;

test('area spellings are liborvavars\': either case, the block in the spelling (also after a blank) or apart', () => {
  const spelled = {
    A: ['A', 0, 'A'], o: ['A', 0, 'A'], E: ['E', 0, 'E'], i: ['E', 0, 'E'], m: ['M', 0, 'M'], T: ['T', 0, 'T'],
    z: ['Z', 0, 'Z'], C: ['Z', 0, 'Z'], DB5: ['D', 5, 'DB5'], 'DB 5': ['D', 5, 'DB5'], d5: ['D', 5, 'DB5'], dx7: ['X', 7, 'DX7'],
    X255: ['X', 255, 'DX255'], DB0: ['D', 0, 'DB0'], ' M ': ['M', 0, 'M'],
  };
  for (const [text, [letter, block, spelling]] of Object.entries(spelled)) {
    assert.deepStrictEqual(parseArea(text), { letter, block, spelling }, text);
  }
  assert.deepStrictEqual(parseArea('DB', 5), { letter: 'D', block: 5, spelling: 'DB5' });
  assert.deepStrictEqual(parseArea('x', 9), { letter: 'X', block: 9, spelling: 'DX9' });
  assert.deepStrictEqual(parseArea('DB5', 5), { letter: 'D', block: 5, spelling: 'DB5' });
});

test('area mistakes: liborvavars\' words for the spelling, the binding\'s for db', () => {
  const choices = 'use A or O, E or I, M, T, Z or C, DB<n> or D<n>, DX<n> or X<n> (n 0..255)';
  const mistakes = [
    [['Q'], TypeError, `unknown area 'Q': ${choices}`],
    [['M5'], TypeError, `unknown area 'M5': ${choices}`],
    [['flags'], TypeError, `unknown area 'flags': ${choices}`],
    [['DB256'], RangeError, 'block number 256 is out of range (0..255)'],
    [[5], TypeError, "area must be a string such as 'DB5' or 'M', not 5"],
    [['DB'], TypeError, "data blocks (DB) need a block number: 'DB5', or area 'DB' with db 5"],
    [['X'], TypeError, "extended data blocks (DX) need a block number: 'DX5', or area 'DX' with db 5"],
    [['DB', -1], RangeError, 'db must be a whole number 0..255, not -1'],
    [['DB5', 6], TypeError, 'area "DB5" and db 6 name two different blocks'],
    [['M', 3], TypeError, 'flags (M) have no block number: leave db out'],
  ];
  for (const [args, type, message] of mistakes) {
    assert.throws(() => parseArea(...args), (e) => e instanceof type && e.message === message, String(args));
  }
  assert.throws(() => parseArea('Q'), (e) => e.code === 'ERR_INVALID_ARG_VALUE' && e.reason === 'ORVAVARS_ERR_UNKNOWN_AREA');
});

test('element addresses as the tools print them; formatAddress takes a spelling as docs/node.md shows it', () => {
  const cases = [
    ['E', 'bytes', 0, 0, 'EB0'], ['M', 'bytes', 10, 1, 'MB11'], ['M', 'words', 10, 0, 'MW10'], ['M', 'words', 10, 1, 'MW12'],
    ['A', 'words', 4, 0, 'AW4'], ['O', 'bytes', 4, 0, 'AB4'], ['I', 'words', 0, 2, 'EW4'], ['DB5', 'words', 3, 0, 'DB 5 DW3'],
    ['DB5', 'words', 3, 1, 'DB 5 DW4'], ['DX7', 'words', 0, 0, 'DX 7 DW0'], ['T', 'words', 3, 0, 'T 3'], ['C', 'words', 4, 0, 'Z 4'],
  ];
  for (const [area, unit, start, index, text] of cases) {
    assert.strictEqual(formatAddress(parseArea(area), unit, start, index), text);
    assert.strictEqual(formatAddress(area, unit, start, index), text);
  }
  assert.strictEqual(formatAddress('DB5', 'words', 3), 'DB 5 DW3', 'index defaults to 0');
  const refused = [
    [['DB', 'words', 0], TypeError, /data blocks \(DB\) need a block number/],
    [['M', 'word', 0], TypeError, /^unit must be 'bytes' or 'words', not "word"$/],
    [['M', 'bytes', -1], RangeError, /^start must be a whole number 0\.\.65535, not -1$/],
    [['M', 'bytes', 0, 1.5], RangeError, /^index must be a whole number 0\.\.65535, not 1\.5$/],
    [[5, 'bytes', 0], TypeError, /^area must be a spelling such as 'DB5' or what parseArea\(\) returns, not 5$/],
    [[{ letter: 'D' }, 'words', 0], TypeError, /what parseArea\(\) returns/],
    [[{ letter: 'Q', block: 0 }, 'words', 0], TypeError, /what parseArea\(\) returns/],
  ];
  for (const [args, type, message] of refused) {
    assert.throws(() => formatAddress(...args), (e) => e instanceof type && message.test(e.message), JSON.stringify(args));
  }
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
  assert.strictEqual(plc.pending, 0);
  assert.strictEqual(await sim.accepted(), 0, 'no connection was made');
  // An area a function does not take is the library's to refuse (ORVA_ERR_AREA, no traffic), in its words.
  const areaErrors = [
    [() => plc.writeBytes('E', 0, [1]), 'writing 1 byte to EB0'],
    [() => plc.writeWords('I', 2, [1, 2]), 'writing 2 words to EW2..EW4'],
    [() => plc.readBytes('DB5', 0, 4), 'reading 4 bytes from DB 5 DB0..DB 5 DB3'],
    [() => plc.writeBytes('T', 0, [1]), 'writing 1 byte to T 0'],
  ];
  for (const [call, what] of areaErrors) {
    await assert.rejects(call(), (e) => e instanceof OrvaError && e.code === 'ORVA_ERR_AREA' && e.result === -10 && e.socketError === 0 &&
      e.message === `${what} at 127.0.2.20 failed: area not supported by this function (ORVA_ERR_AREA, result -10)`);
  }
  assert.strictEqual(plc.pending, 0);
  assert.strictEqual(await sim.accepted(), 0, 'no connection was made');
  // And the connection still works.
  assert.deepStrictEqual([...await plc.readBytes('M', 0, 2)], [0, 0]);
});
