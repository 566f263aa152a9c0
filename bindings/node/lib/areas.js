// SPDX-License-Identifier: Apache-2.0
'use strict';
// The data areas, their spellings and the address notation of the PLC, the
// same in every tool of orvanet; and the checks a request passes before any call.
const { OrvaError, outOfRange, invalidArgument } = require('./errors');
const { Result } = require('./tables');

const maxAddress = 65535;
const maxCount = 65535;
const maxBlock = 255;

// By the letter handed to the library. wordCounted: start and count in words
// (in bytes otherwise, also for word access); block: has a block number.
const areas = Object.freeze({
  A: { name: 'outputs (A)', wordCounted: false, block: false, writable: true },
  E: { name: 'inputs (E)', wordCounted: false, block: false, writable: false },
  M: { name: 'flags (M)', wordCounted: false, block: false, writable: true },
  D: { name: 'data blocks (DB)', wordCounted: true, block: true, writable: true },
  X: { name: 'extended data blocks (DX)', wordCounted: true, block: true, writable: true },
  T: { name: 'timers (T)', wordCounted: true, block: false, writable: true },
  Z: { name: 'counters (Z)', wordCounted: true, block: false, writable: true },
});

// Every spelling (upper case), and the letter it stands for.
const spellings = Object.freeze({ A: 'A', O: 'A', E: 'E', I: 'E', M: 'M', T: 'T', Z: 'Z', C: 'Z', D: 'D', DB: 'D', X: 'X', DX: 'X' });
const choices = 'A or O (outputs), E or I (inputs), M (flags), DB5 or D5 (data block 5), DX5 or X5 (extended data block 5), T (timers), Z or C (counters)';

function isIntegerIn(value, low, high) {
  return Number.isInteger(value) && value >= low && value <= high;
}

function checkInteger(what, value, low, high) {
  if (!isIntegerIn(value, low, high)) throw outOfRange(`${what} must be a whole number ${low}..${high}, not ${describe(value)}`);
  return value;
}

function describe(value) {
  if (typeof value === 'string') return JSON.stringify(value);
  if (typeof value === 'number' || value === undefined || value === null) return String(value);
  return typeof value;
}

// 'DB5', 'db', 'M', 'c' ... into { letter, block, spelling } (spelling as
// printed: DB5, DX7, or the letter). db: the block number when the spelling has none.
function parseArea(area, db) {
  if (typeof area !== 'string') throw invalidArgument(`area must be a string such as 'DB5' or 'M', not ${describe(area)}`);
  const match = /^([A-Z]{1,2})(\d*)$/.exec(area.trim().toUpperCase());
  const letter = match && spellings[match[1]];
  if (!letter || (match[2] && !areas[letter].block)) throw invalidArgument(`unknown area ${describe(area)}: use ${choices}`);
  const info = areas[letter];
  const given = db !== undefined && db !== null;
  if (!info.block) {
    if (given) throw invalidArgument(`${info.name} have no block number: leave db out`);
    return { letter, block: 0, spelling: letter };
  }
  let block;
  if (match[2]) {
    block = checkInteger('the block number', Number(match[2]), 0, maxBlock);
    if (given && db !== block) throw invalidArgument(`area ${describe(area)} and db ${describe(db)} name two different blocks`);
  } else if (given) {
    block = checkInteger('db', db, 0, maxBlock);
  } else {
    throw invalidArgument(`${info.name} need a block number: '${letter === 'D' ? 'DB5' : 'DX5'}', or area '${letter === 'D' ? 'DB' : 'DX'}' with db 5`);
  }
  return { letter, block, spelling: `${letter === 'D' ? 'DB' : 'DX'}${block}` };
}

// How many addresses of the area one element covers: a word of A, E or M covers two bytes.
function addressSpan(letter, unit) {
  return unit === 'words' && !areas[letter].wordCounted ? 2 : 1;
}

// The address of element index of a request starting at start, as the PLC
// writes it and orvacli prints it: EB0, MW10, AW4, DB 5 DW3, DX 7 DW0, T 3, Z 4.
function formatAddress(parsed, unit, start, index = 0) {
  const u = unit === 'bytes' ? 'B' : 'W';
  const address = start + index * addressSpan(parsed.letter, unit);
  switch (parsed.letter) {
    case 'D': return `DB ${parsed.block} D${u}${address}`;
    case 'X': return `DX ${parsed.block} D${u}${address}`;
    case 'T': return `T ${address}`;
    case 'Z': return `Z ${address}`;
    default: return `${parsed.letter}${u}${address}`;
  }
}

// "2 words from DB 5 DW0..DB 5 DW1", for messages.
function describeRange(parsed, unit, start, count, write) {
  const noun = unit === 'bytes' ? (count === 1 ? 'byte' : 'bytes') : (count === 1 ? 'word' : 'words');
  let text = `${count} ${noun} ${write ? 'to' : 'from'} ${formatAddress(parsed, unit, start)}`;
  if (count > 1) text += `..${formatAddress(parsed, unit, start, count - 1)}`;
  return text;
}

// Everything about one request that can be known before the call: its area
// and the words for messages ("reading 2 words from DB 5 DW0..DB 5 DW1 at
// 127.0.0.1"). Throws RangeError/TypeError for bad arguments, and OrvaError
// ORVA_ERR_AREA for an area the function does not take, as the library would.
function checkRequest({ area, db, start, count, unit, write, address }) {
  const parsed = parseArea(area, db);
  checkInteger('start', start, 0, maxAddress);
  checkInteger('count', count, 1, maxCount);
  const what = `${write ? 'writing' : 'reading'} ${describeRange(parsed, unit, start, count, write)} at ${address}`;
  const info = areas[parsed.letter];
  if (write && !info.writable) throw new OrvaError(what, Result.ORVA_ERR_AREA, 0, `${info.name} can be read but not written`);
  if (unit === 'bytes' && info.wordCounted) {
    throw new OrvaError(what, Result.ORVA_ERR_AREA, 0,
      `${info.name} are read and written in words only: use ${write ? 'writeWords' : 'readWords'}`);
  }
  const last = start + count * addressSpan(parsed.letter, unit) - 1;
  if (last > maxAddress) throw outOfRange(`the range ${start}..${last} runs past address ${maxAddress} of the area`);
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

module.exports = { areas, parseArea, formatAddress, describeRange, checkRequest, valuesToWrite, addressSpan, maxAddress, maxCount, maxBlock };
