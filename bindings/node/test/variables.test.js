// SPDX-License-Identifier: Apache-2.0
'use strict';
// Variables through liborvavars: every vector of tests/vectors/variables.json
// (the file the C++ tests read) through parseVariable, decodeVariable and
// encodeVariable, and again on the wire through read() and write() against
// orvasim; lists read in one call with each variable's own result; writes
// and their refusals; the arguments refused before any call.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const orvanet = require('..');
const { Orvasim, repo } = require('./support/orvasim');

const { parseVariable, decodeVariable, encodeVariable, typed, OrvaError, Result } = orvanet;
const vectors = JSON.parse(fs.readFileSync(path.join(repo, 'tests/vectors/variables.json'), 'utf8'));
const rangeCodes = ['ORVAVARS_ERR_OUT_OF_RANGE', 'ORVAVARS_ERR_VALUE_RANGE', 'ORVAVARS_ERR_VALUE_PRECISION', 'ORVAVARS_ERR_NOT_FINITE'];

let sim;
let plc;
test.before(async () => {
  sim = await Orvasim.start('127.0.2.24');
  await sim.blockSize('D', 9, 0);
  plc = orvanet.connect(sim.address, { receiveTimeoutMs: 2000 });
});
test.after(async () => {
  await plc.close();
  await sim.stop();
});

// The error orvavars' code becomes: RangeError for what is too large or small, TypeError for the rest.
function isRefusal(error, { code, message, position }) {
  const type = rangeCodes.includes(code) ? RangeError : TypeError;
  return error instanceof type && error.reason === code && error.message === message && (position === undefined || error.position === position);
}

// A vector's value as the binding gives it.
function expectedValue(c) {
  if ('boolean' in c) return c.boolean;
  if ('string' in c) return c.string;
  return 'real' in c ? c.real : c.integer;
}

// A vector's value to set, with the setter it names.
function valueToSet(set) {
  const [kind, value] = Object.entries(set)[0];
  return typed(kind, value);
}

test('every text of the vectors parses as they say, or fails with their exact error', () => {
  assert.ok(vectors.parse.length >= 50);
  for (const c of vectors.parse) {
    if (c.error) {
      assert.throws(() => parseVariable(c.text), (e) => isRefusal(e, c.error), c.text);
      continue;
    }
    assert.deepStrictEqual(parseVariable(c.text), c.variable, c.text);
    assert.deepStrictEqual(parseVariable(c.variable.text), c.variable, `the printed ${c.variable.text} reads back`);
  }
});

test('every vector\'s bytes decode to their value and text, or to their status', () => {
  assert.ok(vectors.decode.length >= 40);
  for (const c of vectors.decode) {
    const bytes = Buffer.from(c.bytes, 'hex');
    const name = `${c.variable} ${c.bytes}`;
    if (c.status !== 'ORVAVARS_OK') {
      assert.throws(() => decodeVariable(c.variable, bytes), (e) => e instanceof OrvaError && e.code === c.status && e.result === Result[c.status], name);
      continue;
    }
    const decoded = decodeVariable(c.variable, bytes);
    assert.strictEqual(decoded.kind, c.kind, name);
    assert.ok(Object.is(decoded.value, expectedValue(c)), `${name}: ${decoded.value}, exactly`);
    assert.strictEqual(decoded.text, c.text, name);
    if ('timeBase' in c) assert.deepStrictEqual([decoded.timeBase, decoded.timeDigits], [c.timeBase, c.timeDigits], name);
  }
});

test('every vector\'s value encodes to its bytes and text, or is refused with its exact error', () => {
  assert.ok(vectors.encode.length >= 80);
  for (const c of vectors.encode) {
    const name = `${c.variable} ${JSON.stringify(c.set)}`;
    const options = c.options ? { roundTimes: c.options.roundTimes } : {};
    if (c.error) {
      assert.throws(() => encodeVariable(c.variable, valueToSet(c.set), options), (e) => isRefusal(e, c.error), name);
      continue;
    }
    const { bytes, text } = encodeVariable(c.variable, valueToSet(c.set), options);
    assert.strictEqual(bytes.toString('hex').toUpperCase(), c.bytes, name);
    assert.strictEqual(text, c.text, name);
    // What a value prints as reads back as the same bytes.
    assert.strictEqual(encodeVariable(c.variable, typed('text', c.text), options).bytes.toString('hex').toUpperCase(), c.bytes, `${name} as text`);
  }
});

test('plain JavaScript values go to the setter of their kind and the variable\'s format', () => {
  const hex = (text, value) => encodeVariable(text, value).bytes.toString('hex').toUpperCase();
  assert.strictEqual(hex('MD0:KG', 12.34567), '0462C3EF', 'a number for KG is a real');
  assert.strictEqual(hex('MD0:KG', 100), '07640000', 'also a whole one');
  assert.strictEqual(hex('MW0', 12), '000C');
  assert.strictEqual(hex('MW0:KF', -7), 'FFF9');
  assert.strictEqual(hex('MD0:DH', 0xDEADBEEFn), 'DEADBEEF', 'a bigint is an integer');
  assert.strictEqual(hex('MW0:KT', '1.5s'), '0150', 'a string for other formats is read as typed');
  assert.strictEqual(hex('MW0:KT', 1500), '0150', 'a number for KT is milliseconds');
  assert.strictEqual(hex('M0.3', true), '08');
  assert.strictEqual(hex('MB0:KS8', 'Wärme'), '57E4726D65202020', 'a string for KS is its Latin-1 characters');
  assert.strictEqual(hex('MB0:KS3', 'a\\q'), '615C71', 'a backslash is a character, not an escape');
  assert.throws(() => encodeVariable('MW0', 12.5), (e) => e instanceof TypeError && e.message === 'MW0 takes whole numbers, not 12.5');
  assert.throws(() => encodeVariable('MW0', NaN), (e) => e instanceof RangeError && e.reason === 'ORVAVARS_ERR_NOT_FINITE');
  assert.throws(() => encodeVariable('MB0:KS4', '€'), (e) => e.message === 'value "€" for MB0:KS4: the character at 1 is not Latin-1');
  assert.throws(() => encodeVariable('MW0', null), (e) => e instanceof TypeError && e.message === 'the value for MW0 must be a boolean, a number, a bigint or a string, not null');
  assert.throws(() => encodeVariable('MD0', 2n ** 64n), (e) => e instanceof RangeError && e.message === '18446744073709551616 for MD0 is not a 64-bit integer');
  assert.throws(() => typed('float', 1), (e) => e instanceof TypeError && /the kind must be one of boolean, integer, real, string, text/.test(e.message));
  assert.throws(() => typed('integer', 1.5), RangeError);
  assert.throws(() => encodeVariable('MW0', 1, { round: true }), /unknown option round: the options are roundTimes/);
});

// Where a variable's bytes lie in orvasim's memory.
function place(text) {
  const v = parseVariable(text);
  return [v.area, v.block, v.byteOffset, v.byteCount];
}

test('on the wire: every decode vector\'s bytes in the adapter\'s memory read back through read()', async () => {
  for (const c of vectors.decode) {
    const [area, block, offset] = place(c.variable);
    await sim.write(area, block, offset, Buffer.from(c.bytes, 'hex'));
    const value = (await plc.read([c.variable]))[c.variable];
    const name = `${c.variable} ${c.bytes}`;
    if (c.status !== 'ORVAVARS_OK') {
      assert.ok(value instanceof OrvaError, name);
      assert.strictEqual(value.code, c.status, name);
      assert.strictEqual(value.message, `reading ${c.variable} at 127.0.2.24 failed: invalid value: a BCD digit above 9 (ORVAVARS_ERR_INVALID_BCD, result -120)`);
    } else {
      assert.ok(Object.is(value, expectedValue(c)), `${name}: ${value}`);
    }
  }
});

test('on the wire: every encode vector\'s value written through write() is its bytes in the adapter\'s memory', async () => {
  for (const c of vectors.encode.filter((v) => !v.error)) {
    const [area, block, offset, count] = place(c.variable);
    await sim.write(area, block, offset, Buffer.alloc(count));
    await plc.write({ [c.variable]: valueToSet(c.set) }, c.options ? { roundTimes: c.options.roundTimes } : {});
    assert.strictEqual((await sim.read(area, block, offset, count)).toString('hex').toUpperCase(), c.bytes, `${c.variable} ${JSON.stringify(c.set)}`);
  }
});

test('the worked example of docs/variables.md: a list written, then read in one call', async () => {
  await plc.write({ 'DB10.DD30:KG': '12.34567', 'MW20:KF': -7 });
  await sim.write('T', 0, 6, [0x21, 0x27]);
  const values = await plc.read(['DB10.DD30:KG', 'MW20:KF', 'T3']);
  assert.deepStrictEqual(values, { 'DB10.DD30:KG': 12.345670700073242, 'MW20:KF': -7, 'T3': 0x2127 });
  assert.deepStrictEqual(await sim.read('D', 10, 60, 4), Buffer.from('0462C3EF', 'hex'));
});

test('a list of 100 variables is one call of two telegrams, each variable with its own value', async () => {
  const formats = ['', ':KF', ':KH', ':KT', ':KZ', ':KY', ':KM', ':KC'];
  // As the benchmarks have it: words in eight formats, every fifth a KG double word, up to DW400.
  const texts = Array.from({ length: 99 }, (_, i) => (i % 5 === 4 ? `DB11.DD${i * 4}:KG` : `DB11.DW${i * 4}${formats[i % 8]}`)).concat('DB11.DW400:KF');
  await sim.write('D', 11, 0, Buffer.alloc(802, Buffer.from([0x12, 0x34])));
  const list = plc.list(texts);
  assert.deepStrictEqual(list.plan, { variables: 100, calls: 1, telegrams: 2, bytes: 802 });
  assert.ok(Object.isFrozen(list.variables) && list.variables.length === 100 && list.connection === plc);
  await sim.control.call('clear record');
  const values = await list.read();
  assert.strictEqual((await sim.control.call('dts')).length, 2, 'two fetch telegrams');
  assert.strictEqual(values['DB11.DW0'], 0x1234);
  assert.strictEqual(values['DB11.DW4:KF'], 0x1234);
  assert.strictEqual(values['DB11.DW12:KT'], 23400, 'KT 1234: 234 times 0.1 s');
  assert.strictEqual(values['DB11.DW28:KC'], '\x12\x34');
  assert.strictEqual(values['DB11.DD16:KG'], decodeVariable('MD0:KG', Buffer.from('12341234', 'hex')).value);
  // The one-shot read gives the same.
  assert.deepStrictEqual(await plc.read(texts), values);
  // Read again, the list sees what changed.
  await sim.write('D', 11, 0, [0, 7]);
  assert.strictEqual((await list.read())['DB11.DW0'], 7);
});

test('readResults: each variable in list order, with a KT time\'s base and digits', async () => {
  await sim.write('D', 12, 0, Buffer.from('212700A0', 'hex'));
  const list = plc.list(['DB12.DW0:KT', 'DB12.DW1:KZ', 'DB9.DW0']);
  const [time, bcd, missing] = await list.readResults();
  assert.deepStrictEqual(time, { variable: 'DB12.DW0:KT', value: 127000, kind: 'time', error: null, timeBase: 2, timeDigits: 127 });
  assert.deepStrictEqual([bcd.variable, bcd.value, bcd.kind, bcd.error.code], ['DB12.DW1:KZ', undefined, 'none', 'ORVAVARS_ERR_INVALID_BCD']);
  assert.strictEqual(missing.error.code, 'ORVA_ERR_PLC');
});

test('a failed call fails only its own variables; after a lost connection the rest are not tried', async (t) => {
  await sim.write('M', 0, 30, [0x41, 0x42]);
  const values = await plc.read(['MW30:KC', 'DB9.DW0', 'DB9.DW5:KF']);
  assert.strictEqual(values['MW30:KC'], 'AB');
  for (const text of ['DB9.DW0', 'DB9.DW5:KF']) {
    assert.ok(values[text] instanceof OrvaError);
    assert.strictEqual(values[text].message, `reading ${text} at 127.0.2.24 failed: the PLC refused: data block missing, or the range runs past the end of the area (ORVA_ERR_PLC, result 2)`);
  }

  const nobody = orvanet.connect('127.0.2.29');
  t.after(() => nobody.close());
  // Planned by area: the data block first, then the flags.
  const lost = await nobody.read(['MW0', 'DB1.DW0']);
  const first = lost['DB1.DW0'];
  assert.deepStrictEqual([first.code, first.socketError, first.socketErrorName], ['ORVA_ERR_SOCKET', 10061, 'ORVA_WSAECONNREFUSED']);
  assert.strictEqual(first.message, 'reading DB1.DW0 at 127.0.2.29 failed: socket error 10061 (WSAECONNREFUSED): connection refused: nothing listens on port 102 at that address (ORVA_ERR_SOCKET, result -7)');
  assert.deepStrictEqual([lost.MW0.code, lost.MW0.result, lost.MW0.socketError], ['ORVAVARS_ERR_NOT_TRIED', -132, 0]);
});

test('write: every variable written, or the first that was not with all that were not; the others are written', async () => {
  await sim.write('M', 0, 40, [0, 0]);
  const error = await plc.write({ EW0: 1, MW40: 0x4142, 'DB9.DW0': 3 }).then(() => assert.fail('written'), (e) => e);
  assert.ok(error instanceof OrvaError);
  assert.strictEqual(error.message, 'writing EW0 at 127.0.2.24 failed: area not supported by this function (ORVA_ERR_AREA, result -10)');
  assert.deepStrictEqual(Object.keys(error.errors), ['EW0', 'DB9.DW0']);
  assert.strictEqual(error.errors['DB9.DW0'].code, 'ORVA_ERR_PLC');
  assert.deepStrictEqual([...await sim.read('M', 0, 40, 2)], [0x41, 0x42]);
  // A Map keeps its order too.
  await plc.write(new Map([['MB40', 1], ['MB41', 2]]));
  assert.deepStrictEqual([...await sim.read('M', 0, 40, 2)], [1, 2]);
});

test('bits are read-modify-write unless noModify refuses them; roundTimes rounds a KT time', async () => {
  await sim.write('M', 0, 50, [0xF0]);
  await plc.write({ 'M50.0': true });
  assert.deepStrictEqual([...await sim.read('M', 0, 50, 1)], [0xF1], 'the other bits kept');
  const refused = await plc.write({ 'M50.1': true, MB51: 9 }, { noModify: true }).catch((e) => e);
  assert.strictEqual(refused.code, 'ORVAVARS_ERR_MODIFY_REFUSED');
  assert.deepStrictEqual(Object.keys(refused.errors), ['M50.1']);
  assert.deepStrictEqual([...await sim.read('M', 0, 50, 2)], [0xF1, 9]);
  await assert.rejects(plc.write({ 'MW52:KT': 12345 }), (e) => e instanceof RangeError && e.reason === 'ORVAVARS_ERR_VALUE_PRECISION');
  await plc.write({ 'MW52:KT': 12345 }, { roundTimes: true });
  assert.deepStrictEqual([...await sim.read('M', 0, 52, 2)], [0x11, 0x23]);
});

test('texts and values refused before any call, in liborvavars\' words; nothing is sent', async () => {
  await sim.control.call('clear record');
  const refused = [
    [() => plc.read('MW10'), TypeError, "the variables must be an array of texts such as 'DB10.DD30:KG', not \"MW10\""],
    [() => plc.read([]), RangeError, 'the number of variables must be a whole number 1..65535, not 0'],
    [() => plc.read(['MW0', 5]), TypeError, "variable 1 must be a text such as 'DB10.DD30:KG', not 5"],
    [() => plc.read(['MW0', 'MW10:KQ']), TypeError, 'MW10:KQ: unknown format "KQ" at 6; one of KF KH KM KY KC KT KZ KG DH KS'],
    [() => plc.read(['DB5.D3.16']), RangeError, 'DB5.D3.16: the bit 16 at 8 is out of range (0..15)'],
    [() => plc.read(['MW0'], { gap: -1 }), RangeError, 'gap must be a whole number of bytes 0..65535, not -1'],
    [() => plc.read(['MW0'], { noModify: true }), TypeError, 'unknown option noModify: the options are gap'],
    [() => plc.write(5), TypeError, "the values must be an object or a Map of variable -> value, such as { 'DB10.DD30:KG': 12.5 }, not 5"],
    [() => plc.write({ 'MW0:KF': 40000 }), RangeError, '40000 does not fit MW0:KF (-32768..32767)'],
    [() => plc.write({ MW0: 1, 'MD4:KG': 'x' }), TypeError, 'value "x" for MD4:KG is not a number (such as 12.5, -0.005 or 1.5e-3)'],
    [() => plc.write({ MW0: 1 }, { noModify: 1 }), TypeError, 'noModify must be true or false, not 1'],
  ];
  for (const [call, type, message] of refused) {
    await assert.rejects(call(), (e) => e instanceof type && e.message === message, String(call));
  }
  const error = await plc.read(['MW10:KQ']).catch((e) => e);
  assert.deepStrictEqual([error.code, error.reason, error.position], ['ERR_INVALID_ARG_VALUE', 'ORVAVARS_ERR_UNKNOWN_FORMAT', 6]);
  assert.throws(() => plc.list(['M10']), (e) => e instanceof TypeError && e.message.startsWith('M10: expected "." and a bit 0..7 at 4'));
  assert.deepStrictEqual(await sim.control.call('dts'), [], 'nothing was sent');
  assert.strictEqual(plc.pending, 0);
});

test('Latin-1 strings written and read back as they are; the last lists of read() are kept and stay right', async () => {
  await plc.write({ 'MB60:KS6': 'äÿ\\x0' });
  assert.deepStrictEqual(await sim.read('M', 0, 60, 6), Buffer.from('E4FF5C783020', 'hex'));
  assert.deepStrictEqual(await plc.read(['MB60:KS6']), { 'MB60:KS6': 'äÿ\\x0 ' });
  // Twelve different lists in turn, more than are kept, each read three times with new values.
  for (let round = 0; round < 3; round++) {
    for (let k = 0; k < 12; k++) {
      await sim.write('M', 0, 100 + 2 * k, [round, k]);
      const texts = [`MW${100 + 2 * k}`, `MB${100 + 2 * k}`];
      assert.deepStrictEqual(await plc.read([...texts]), { [texts[0]]: round * 256 + k, [texts[1]]: round });
    }
  }
});
