// SPDX-License-Identifier: Apache-2.0
'use strict';
// The binding's copies of the headers' facts must match include/orvanet.h
// and include/orvavars.h: result codes, socket errors, prototypes, structs,
// enums and limits.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { results, socketErrors, limits } = require('../lib/tables');
const { orvanetPrototypes, orvavarsPrototypes, structs } = require('../lib/native');
const { repo } = require('./support/orvasim');

const orvanetHeader = fs.readFileSync(path.join(repo, 'include/orvanet.h'), 'utf8');
const orvavarsHeader = fs.readFileSync(path.join(repo, 'include/orvavars.h'), 'utf8');

// The body of one of the header's helper functions.
function body(name) {
  const start = orvanetHeader.search(new RegExp(`\\*\\s*${name}\\(`));
  assert.ok(start >= 0, `${name} is in the header`);
  return orvanetHeader.slice(start, orvanetHeader.indexOf('\n}', start));
}

// case NAME: return "text";  ->  { NAME: text } (the text may stand on the
// next line, and in pieces: "a" "b")
function cases(name) {
  const joined = (literals) => [...literals.matchAll(/"([^"]*)"/g)].map((m) => m[1]).join('');
  return Object.fromEntries(
    [...body(name).matchAll(/case (\w+):\s*return\s+((?:"[^"]*"\s*)+);/g)].map((m) => [m[1], joined(m[2])]));
}

// NAME = number, for the names that match.
function constants(header, pattern) {
  return Object.fromEntries([...header.matchAll(new RegExp(`\\b(${pattern})\\s*=\\s*(-?\\d+)`, 'g'))].map((m) => [m[1], Number(m[2])]));
}

test('result codes: the names and codes of both headers\' enums', () => {
  const codes = { ...constants(orvanetHeader, 'ORVA_(?:OK|ERR_\\w+)'), ...constants(orvavarsHeader, 'ORVAVARS_ERR_\\w+') };
  assert.ok(Object.keys(codes).length >= 26);
  assert.deepStrictEqual({ ...results }, Object.fromEntries(Object.entries(codes).map(([name, code]) => [code, name])));
});

test('socket errors: the same names, numbers and texts as ORVASocketErrorText', () => {
  const numbers = constants(orvanetHeader, 'ORVA_WSAE\\w+');
  const texts = cases('ORVASocketErrorText');
  assert.ok(Object.keys(numbers).length >= 23);
  const expected = { 0: [null, texts['0']] };
  for (const [name, number] of Object.entries(numbers)) expected[number] = [name, texts[name]];
  assert.deepStrictEqual({ ...socketErrors }, expected);
});

// A prototype without the annotations koffi needs and the header's macros.
function normal(text) {
  return text.replace(/\b(ORVA_API|ORVA_CALL|ORVAVARS_API|ORVAVARS_CALL|__stdcall|_Out_)\b/g, '').replace(/\s+/g, ' ')
    .replace(/\( /g, '(').replace(/ \*/g, ' *').replace(/\* /g, '*').trim();
}

test('the prototypes are the headers\', every function of each', () => {
  const declared = (header, api) => [...header.matchAll(new RegExp(`${api}\\s+([\\w\\s*]+?${api.replace('API', 'CALL')}\\s+\\w+\\s*\\([^)]*\\))\\s*;`, 'g'))]
    .map((m) => normal(m[1]));
  assert.strictEqual(declared(orvanetHeader, 'ORVA_API').length, 7);
  assert.deepStrictEqual(orvanetPrototypes.map(normal), declared(orvanetHeader, 'ORVA_API'));
  const vars = declared(orvavarsHeader, 'ORVAVARS_API');
  assert.strictEqual(vars.length, 24);
  assert.deepStrictEqual(orvavarsPrototypes.map(normal), vars);
});

test('the structs are orvavars.h\'s, member by member', () => {
  for (const [name, members] of Object.entries(structs)) {
    const match = new RegExp(`typedef struct ${name} \\{([^}]*)\\} ${name};`).exec(orvavarsHeader);
    assert.ok(match, `${name} is in orvavars.h`);
    const declared = [...match[1].replace(/\/\*[\s\S]*?\*\//g, '').matchAll(/([\w\s*]+?)\s*(\w+)(?:\[(\d+)\])?;/g)]
      .map((m) => [m[2], m[1].trim().replace(/\s*\*$/, ' *'), m[3] ? Number(m[3]) : undefined]);
    assert.deepStrictEqual(members.map(([member, type, size]) => [member, type, size]), declared, name);
  }
});

test('the enums the binding names are orvavars.h\'s', () => {
  const { elements, formats, kinds, option } = require('../lib/variables').enums;
  const upper = (name) => name.toUpperCase();
  assert.deepStrictEqual(Object.fromEntries(Object.entries(elements).map(([n, name]) => [`ORVAVARS_ELEMENT_${upper(name)}`, Number(n)])),
    constants(orvavarsHeader, 'ORVAVARS_ELEMENT_\\w+'));
  assert.deepStrictEqual(Object.fromEntries(Object.entries(formats).map(([n, name]) => [`ORVAVARS_FORMAT_${name}`, Number(n)])),
    constants(orvavarsHeader, 'ORVAVARS_FORMAT_\\w+'));
  assert.deepStrictEqual(Object.fromEntries(Object.entries(kinds).map(([n, name]) => [`ORVAVARS_KIND_${upper(name)}`, Number(n)])),
    constants(orvavarsHeader, 'ORVAVARS_KIND_\\w+'));
  assert.deepStrictEqual({ ORVAVARS_OPTION_GAP: option.gap, ORVAVARS_OPTION_ROUND_TIMES: option.roundTimes, ORVAVARS_OPTION_NO_MODIFY: option.noModify },
    constants(orvavarsHeader, 'ORVAVARS_OPTION_\\w+'));
});

test('the limits are the headers\'', () => {
  assert.strictEqual(limits.maxHandles, constants(orvanetHeader, 'ORVA_MAX_HANDLES').ORVA_MAX_HANDLES);
  assert.strictEqual(limits.maxVariables, constants(orvavarsHeader, 'ORVAVARS_MAX_VARIABLES').ORVAVARS_MAX_VARIABLES);
  assert.strictEqual(limits.maxTsapLength, Number(/at most (\d+) characters are used/.exec(orvanetHeader)[1]));
  assert.strictEqual(limits.maxAddress, Number(/a range\s+past address (\d+)/.exec(orvanetHeader)[1]));
  assert.strictEqual(limits.maxBlock, Number(/a data block number outside 0\.\.(\d+)/.exec(orvanetHeader)[1]));
});
