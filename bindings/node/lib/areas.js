// SPDX-License-Identifier: Apache-2.0
'use strict';
// Areas and element addresses in liborvavars' notation (ORVAVarsParseArea,
// ORVAVarsAreaName, ORVAVarsElementAddress), the same in every tool of
// orvanet; and the checks a request passes before any call.
const { outOfRange, invalidArgument, refused } = require('./errors');
const { limits } = require('./tables');
const { library } = require('./native');

const { maxAddress, maxBlock } = limits;
const maxCount = 65535;
const blockLetters = new Set(['D', 'X']);
const letters = new Set(['A', 'E', 'M', 'D', 'X', 'T', 'Z']);

function isIntegerIn(value, low, high) {
  return Number.isInteger(value) && value >= low && value <= high;
}

function describe(value) {
  if (typeof value === 'string') return JSON.stringify(value);
  if (typeof value === 'number' || value === undefined || value === null) return String(value);
  return typeof value;
}

function checkInteger(what, value, low, high) {
  if (!isIntegerIn(value, low, high)) throw outOfRange(`${what} must be a whole number ${low}..${high}, not ${describe(value)}`);
  return value;
}

function areaName(letter) {
  return library().orvavars.ORVAVarsAreaName(letter.charCodeAt(0));
}

function spellingOf(letter, block) {
  return letter === 'D' ? `DB${block}` : letter === 'X' ? `DX${block}` : letter;
}

// 'DB5', 'DB 5', 'db', 'M', 'c' ... into { letter, block, spelling } (spelling
// as printed: DB5, DX7, or the letter). db: the block number when the
// spelling has none.
function parseArea(area, db) {
  if (typeof area !== 'string') throw invalidArgument(`area must be a string such as 'DB5' or 'M', not ${describe(area)}`);
  const letterOut = [0];
  const blockOut = [0];
  const error = {};
  const code = library().orvavars.ORVAVarsParseArea(area, letterOut, blockOut, error);
  if (code !== 0) throw refused(code, error.message);
  const letter = String.fromCharCode(letterOut[0]);
  const given = db !== undefined && db !== null;
  if (!blockLetters.has(letter)) {
    if (given) throw invalidArgument(`${areaName(letter)} have no block number: leave db out`);
    return { letter, block: 0, spelling: letter };
  }
  let block = blockOut[0];
  if (block >= 0) {
    if (given && db !== block) throw invalidArgument(`area ${describe(area)} and db ${describe(db)} name two different blocks`);
  } else if (given) {
    block = checkInteger('db', db, 0, maxBlock);
  } else {
    const spelled = letter === 'D' ? 'DB' : 'DX';
    throw invalidArgument(`${areaName(letter)} need a block number: '${spelled}5', or area '${spelled}' with db 5`);
  }
  return { letter, block, spelling: spellingOf(letter, block) };
}

// An area as a spelling or as parseArea gave it.
function areaOf(area) {
  if (typeof area === 'string') return parseArea(area);
  if (area !== null && typeof area === 'object' && letters.has(area.letter) &&
    (blockLetters.has(area.letter) ? isIntegerIn(area.block, 0, maxBlock) : !area.block)) {
    return { letter: area.letter, block: area.block || 0 };
  }
  throw invalidArgument(`area must be a spelling such as 'DB5' or what parseArea() returns, not ${describe(area)}`);
}

function unitOf(unit) {
  if (unit !== 'bytes' && unit !== 'words') throw invalidArgument(`unit must be 'bytes' or 'words', not ${describe(unit)}`);
  return unit;
}

function elementAddress(letter, block, unit, start, index) {
  const out = Buffer.alloc(32);
  const n = library().orvavars.ORVAVarsElementAddress(letter.charCodeAt(0), block, unit === 'words' ? 1 : 0, start, index, out, out.length);
  return out.toString('latin1', 0, n);
}

// The address of element index of a request from start, as the tools print
// it: EB0, MW10, MW12 (the next word of flags), DB 5 DW3, DX 7 DW0, T 3, Z 4.
function formatAddress(area, unit, start, index = 0) {
  const { letter, block } = areaOf(area);
  unitOf(unit);
  checkInteger('start', start, 0, maxAddress);
  checkInteger('index', index, 0, maxCount);
  return elementAddress(letter, block, unit, start, index);
}

// How many addresses of the area one element covers: a word of A, E or M
// covers two bytes (start and count of those are in bytes).
function addressStep(letter, unit) {
  return unit === 'words' && !blockLetters.has(letter) && letter !== 'T' && letter !== 'Z' ? 2 : 1;
}

// "2 words from DB 5 DW0..DB 5 DW1", for messages.
function describeRange(parsed, unit, start, count, write) {
  const noun = unit === 'bytes' ? (count === 1 ? 'byte' : 'bytes') : (count === 1 ? 'word' : 'words');
  let text = `${count} ${noun} ${write ? 'to' : 'from'} ${elementAddress(parsed.letter, parsed.block, unit, start, 0)}`;
  if (count > 1) text += `..${elementAddress(parsed.letter, parsed.block, unit, start, count - 1)}`;
  return text;
}

// Everything about one request that can be known before the call: its area
// and the words for messages ("reading 2 words from DB 5 DW0..DB 5 DW1 at
// 127.0.0.1"). Throws RangeError/TypeError for bad arguments. An area the
// function does not take is the library's to refuse (ORVA_ERR_AREA).
function checkRequest({ area, db, start, count, unit, write, address }) {
  const parsed = parseArea(area, db);
  checkInteger('start', start, 0, maxAddress);
  checkInteger('count', count, 1, maxCount);
  const last = start + count * addressStep(parsed.letter, unit) - 1;
  if (last > maxAddress) throw outOfRange(`the range ${start}..${last} runs past address ${maxAddress} of the area`);
  const what = `${write ? 'writing' : 'reading'} ${describeRange(parsed, unit, start, count, write)} at ${address}`;
  return { parsed, what };
}

// Values to write, copied into a new Buffer (bytes) or Uint16Array (words).
// Each is 0..255 (a word 0..65535), or negative down to -128 (-32768) for two's complement.
function valuesToWrite(values, unit) {
  const high = unit === 'bytes' ? 0xFF : 0xFFFF;
  const low = -(high + 1) / 2;
  const isArrayLike = Array.isArray(values) || ArrayBuffer.isView(values);
  if (!isArrayLike || values instanceof DataView) {
    throw invalidArgument(`the values must be an array${unit === 'bytes' ? ', a Buffer or a Uint8Array' : ' or a Uint16Array'}, not ${describe(values)}`);
  }
  checkInteger('the number of values', values.length, 1, maxCount);
  const out = unit === 'bytes' ? Buffer.alloc(values.length) : new Uint16Array(values.length);
  for (let i = 0; i < values.length; i++) {
    const v = values[i];
    if (typeof v !== 'number' || !isIntegerIn(v, low, high)) {
      throw outOfRange(`value ${i} (${describe(v)}) does not fit in a ${unit === 'bytes' ? 'byte' : 'word'}: ` +
        `0..${high}, or ${low}..-1 as two's complement`);
    }
    out[i] = v < 0 ? v + high + 1 : v;
  }
  return out;
}

module.exports = { parseArea, formatAddress, checkRequest, valuesToWrite, describe, checkInteger };
