// SPDX-License-Identifier: Apache-2.0
'use strict';
// The binding's copies of the header's tables and prototypes must match include/orvanet.h.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { results, socketErrors } = require('../lib/tables');
const { prototypes } = require('../lib/native');
const { repo } = require('./support/orvasim');

const header = fs.readFileSync(path.join(repo, 'include/orvanet.h'), 'utf8');

// The body of one of the header's helper functions.
function body(name) {
  const start = header.search(new RegExp(`\\*\\s*${name}\\(`));
  assert.ok(start >= 0, `${name} is in the header`);
  return header.slice(start, header.indexOf('\n}', start));
}

// case NAME: return "text";  ->  { NAME: text } (the text may stand on the
// next line, and in pieces: "a" "b")
function cases(name) {
  const joined = (literals) => [...literals.matchAll(/"([^"]*)"/g)].map((m) => m[1]).join('');
  return Object.fromEntries(
    [...body(name).matchAll(/case (\w+):\s*return\s+((?:"[^"]*"\s*)+);/g)].map((m) => [m[1], joined(m[2])]));
}

test('result codes: the same names, codes and texts as ORVAResultName', () => {
  const codes = Object.fromEntries([...header.matchAll(/\b(ORVA_(?:OK|ERR_\w+))\s*=\s*(-?\d+)/g)].map((m) => [m[1], Number(m[2])]));
  const texts = cases('ORVAResultName');
  assert.ok(Object.keys(codes).length >= 9);
  const expected = Object.fromEntries(Object.entries(codes).map(([name, code]) => [code, [name, texts[name]]]));
  assert.deepStrictEqual({ ...results }, expected);
});

test('socket errors: the same names, numbers and texts as ORVASocketErrorText', () => {
  const numbers = Object.fromEntries([...header.matchAll(/\b(ORVA_WSAE\w+)\s*=\s*(\d+)/g)].map((m) => [m[1], Number(m[2])]));
  const texts = cases('ORVASocketErrorText');
  assert.ok(Object.keys(numbers).length >= 15);
  const expected = { 0: [null, texts['0']] };
  for (const [name, number] of Object.entries(numbers)) expected[number] = [name, texts[name]];
  assert.deepStrictEqual({ ...socketErrors }, expected);
});

test('the seven prototypes are the header\'s', () => {
  const normal = (text) => text.replace(/\b(ORVA_API|ORVA_CALL|__stdcall|_Out_)\b/g, '').replace(/\s+/g, ' ').replace(/\( /g, '(').trim();
  const declared = [...header.matchAll(/ORVA_API\s+(int\s+ORVA_CALL\s+\w+\s*\([^)]*\))\s*;/g)].map((m) => normal(m[1]));
  assert.strictEqual(declared.length, 7);
  assert.deepStrictEqual(prototypes.map(normal), declared);
});
