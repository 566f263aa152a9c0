// SPDX-License-Identifier: Apache-2.0
'use strict';
// Variables in the PLC's notation ("DB10.DD30:KG", "M20.3") through
// liborvavars: lists made and freed, values set for writing by their kind,
// and the results of a read turned into JavaScript values. Nothing here
// parses the notation or converts a format itself.
const os = require('os');
const { library } = require('./native');
const { OrvaError, refused, invalidArgument, outOfRange } = require('./errors');
const { limits } = require('./tables');
const { describe } = require('./areas');

// orvavars.h's enums, as the vectors and the results name them.
const elements = Object.freeze({ 1: 'bit', 2: 'byte', 3: 'word', 4: 'double', 5: 'left_byte', 6: 'right_byte' });
const formats = Object.freeze({ 1: 'BOOLEAN', 2: 'UNSIGNED', 3: 'KF', 4: 'KH', 5: 'KM', 6: 'KY', 7: 'KC', 8: 'KT', 9: 'KZ', 10: 'KG', 11: 'DH', 12: 'KS' });
const kinds = Object.freeze({ 0: 'none', 1: 'boolean', 2: 'integer', 3: 'real', 4: 'text', 5: 'time' });
const option = Object.freeze({ gap: 1, roundTimes: 2, noModify: 3 });
const textFormats = new Set(['KC', 'KS']);
const littleEndian = os.endianness() === 'LE';

// Where each member of an ORVAVarResult lies, as koffi lays the struct out for this platform.
let layout = null;
function resultLayout() {
  if (!layout) {
    const koffi = require('koffi');
    const type = library().types.ORVAVarResult;
    const at = Object.fromEntries(Object.entries(type.members).map(([name, m]) => [name, m.offset]));
    layout = { size: koffi.sizeof(type), pointerSize: koffi.sizeof('void *'), koffi, ...at };
  }
  return layout;
}

// length bytes of Latin-1 at pointer. koffi's C string is ten times quicker
// than a view of the memory, and it is those bytes when it has length
// characters below 0x80 (a NUL would end it sooner, a byte of 0x80 or more
// would become another character or fewer).
// Other texts are read through a view of the memory, kept in views (a
// list's, by pointer): a planned list keeps its texts where they are.
function latin1At(koffi, pointer, length, views) {
  const ascii = koffi.decode(pointer, 'char', length);
  if (ascii.length === length && !/[^\0-\x7F]/.test(ascii)) return ascii;
  let view = views && views.get(pointer);
  if (!view || view.length !== length) {
    view = Buffer.from(koffi.view(pointer, length));
    if (views) views.set(pointer, view);
  }
  return view.toString('latin1');
}

function resultBytes(count) {
  return resultLayout().size * count;
}

// The value of results[i] in a buffer the library filled:
// { kind, status, socketError, value, timeBase, timeDigits }. views: the
// list's views of its texts.
function resultAt(view, i, views = null) {
  const L = resultLayout();
  const base = i * L.size;
  const kind = kinds[view.getInt32(base + L.kind, littleEndian)];
  const r = {
    kind,
    status: view.getInt32(base + L.status, littleEndian),
    socketError: view.getInt32(base + L.socketError, littleEndian),
    value: undefined,
  };
  const integer = () => {
    // Every format's integer fits 32 bits, so a double holds it exactly.
    const low = view.getUint32(base + L.integer + (littleEndian ? 0 : 4), littleEndian);
    const high = view.getInt32(base + L.integer + (littleEndian ? 4 : 0), littleEndian);
    return high * 4294967296 + low;
  };
  switch (kind) {
    case 'boolean': r.value = integer() !== 0; break;
    case 'integer': r.value = integer(); break;
    case 'real': r.value = view.getFloat64(base + L.real, littleEndian); break;
    case 'time':
      r.value = integer();
      r.timeBase = view.getInt32(base + L.timeBase, littleEndian);
      r.timeDigits = view.getInt32(base + L.timeDigits, littleEndian);
      break;
    case 'text': {
      const length = view.getInt32(base + L.length, littleEndian);
      const pointer = L.pointerSize === 8 ? view.getBigUint64(base + L.text, littleEndian) : BigInt(view.getUint32(base + L.text, littleEndian));
      r.value = length > 0 ? latin1At(L.koffi, pointer, length, views) : '';
      break;
    }
    default: break;
  }
  return r;
}

function checkTexts(texts) {
  if (!Array.isArray(texts)) throw invalidArgument(`the variables must be an array of texts such as 'DB10.DD30:KG', not ${describe(texts)}`);
  if (texts.length < 1 || texts.length > limits.maxVariables) {
    throw outOfRange(`the number of variables must be a whole number 1..${limits.maxVariables}, not ${texts.length}`);
  }
  texts.forEach((t, i) => {
    if (typeof t !== 'string') throw invalidArgument(`variable ${i} must be a text such as 'DB10.DD30:KG', not ${describe(t)}`);
  });
}

function checkOptions(options, names) {
  if (options === null || typeof options !== 'object') throw invalidArgument('options must be an object');
  const unknown = Object.keys(options).filter((k) => !names.includes(k));
  if (unknown.length) throw invalidArgument(`unknown option ${unknown.join(', ')}: the options are ${names.join(', ')}`);
  if (options.gap !== undefined && !(Number.isInteger(options.gap) && options.gap >= 0 && options.gap <= 65535)) {
    throw outOfRange(`gap must be a whole number of bytes 0..65535, not ${describe(options.gap)}`);
  }
  for (const flag of ['roundTimes', 'noModify']) {
    if (options[flag] !== undefined && typeof options[flag] !== 'boolean') throw invalidArgument(`${flag} must be true or false, not ${describe(options[flag])}`);
  }
}

// Frees the native lists whose owners were collected.
const collected = new FinalizationRegistry((pointer) => library().orvavars.ORVAVarsFreeList(pointer));

// A native list of the texts, parsed (a text that does not parse throws,
// "MW10:KQ: unknown format ..."), with the options set. free() ends it at
// once; owner (an object) ends it when collected instead.
class NativeList {
  constructor(texts, options = {}, owner = null) {
    checkTexts(texts);
    const vars = library().orvavars;
    this.pointer = vars.ORVAVarsNewList();
    if (!this.pointer) throw new Error('orvanet: out of memory for a list of variables');
    this.texts = texts;
    this.count = texts.length;
    this.views = new Map();
    try {
      for (let i = 0; i < texts.length; i++) {
        // Without an error struct while it parses: only a refused text is parsed again for its message.
        if (vars.ORVAVarsAdd(this.pointer, texts[i], null) < 0) {
          const error = {};
          const code = vars.ORVAVarsParse(texts[i], {}, error);
          throw refused(code, `${texts[i]}: ${error.message}`, error.position);
        }
      }
      if (options.gap !== undefined) vars.ORVAVarsSetOption(this.pointer, option.gap, options.gap);
      if (options.roundTimes) vars.ORVAVarsSetOption(this.pointer, option.roundTimes, 1);
      if (options.noModify) vars.ORVAVarsSetOption(this.pointer, option.noModify, 1);
    } catch (error) {
      this.free();
      throw error;
    }
    if (owner) collected.register(owner, this.pointer, this);
  }

  // Plans the read now: { variables, calls, telegrams, bytes }.
  plan() {
    const plan = {};
    library().orvavars.ORVAVarsPlan(this.pointer, plan);
    return plan;
  }

  info(index) {
    const info = {};
    library().orvavars.ORVAVarsGetInfo(this.pointer, index, info);
    return info;
  }

  // The value to write to variable index, by its kind: a boolean, a number
  // (a real for KG, a whole number otherwise), a bigint, a string (its
  // characters for KC and KS, else read as a user types it: "12.5", "1.5s"),
  // or a typed() value. Throws orvavars' refusal.
  set(index, value) {
    const vars = library().orvavars;
    const text = this.texts[index];
    const typedValue = value instanceof TypedValue ? value : null;
    let kind = typedValue ? typedValue.kind : null;
    const v = typedValue ? typedValue.value : value;
    if (!kind) {
      const format = formats[this.info(index).format];
      switch (typeof value) {
        case 'boolean': kind = 'boolean'; break;
        case 'bigint': kind = 'integer'; break;
        case 'number': kind = format === 'KG' || !Number.isSafeInteger(value) ? 'real' : 'integer'; break;
        case 'string': kind = textFormats.has(format) && /^[\0-\xFF]*$/.test(value) ? 'string' : 'text'; break;
        default: throw invalidArgument(`the value for ${text} must be a boolean, a number, a bigint or a string, not ${describe(value)}`);
      }
    }
    const error = {};
    let code;
    switch (kind) {
      case 'boolean': code = vars.ORVAVarsSetBoolean(this.pointer, index, v ? 1 : 0, error); break;
      case 'integer':
        if (typeof v === 'bigint' && (v > 0x7FFFFFFFFFFFFFFFn || v < -0x8000000000000000n)) {
          throw outOfRange(`${v} for ${text} is not a 64-bit integer`);
        }
        code = vars.ORVAVarsSetInteger(this.pointer, index, v, error);
        break;
      case 'real': code = vars.ORVAVarsSetReal(this.pointer, index, v, error); break;
      case 'string': {
        const bytes = Buffer.from(v, 'latin1');
        code = vars.ORVAVarsSetString(this.pointer, index, bytes, bytes.length, error);
        break;
      }
      default: code = vars.ORVAVarsSetText(this.pointer, index, v, error); break;
    }
    if (code !== 0) throw refused(code, error.message);
  }

  // The variable's value as the tools print it.
  valueText(index) {
    const vars = library().orvavars;
    const n = vars.ORVAVarsValueText(this.pointer, index, null, 0);
    if (n < 0) return null;
    const out = Buffer.alloc(n + 1);
    vars.ORVAVarsValueText(this.pointer, index, out, out.length);
    return out.toString('utf8', 0, n);
  }

  free() {
    if (!this.pointer) return;
    collected.unregister(this);
    library().orvavars.ORVAVarsFreeList(this.pointer);
    this.pointer = null;
    this.views.clear();
  }
}

// A value with the setter named: 'boolean', 'integer', 'real', 'string'
// (Latin-1 characters, KC and KS) or 'text' (as a user types it).
class TypedValue {
  constructor(kind, value) {
    const types = { boolean: 'boolean', integer: ['number', 'bigint'], real: 'number', string: 'string', text: 'string' };
    if (!types[kind]) throw invalidArgument(`the kind must be one of ${Object.keys(types).join(', ')}, not ${describe(kind)}`);
    if (![].concat(types[kind]).includes(typeof value)) throw invalidArgument(`a ${kind} value cannot be ${describe(value)}`);
    if (kind === 'integer' && typeof value === 'number' && !Number.isSafeInteger(value)) throw outOfRange(`${value} is not a whole number a double holds exactly`);
    this.kind = kind;
    this.value = value;
    Object.freeze(this);
  }
}

function typed(kind, value) {
  return new TypedValue(kind, value);
}

// One variable's text, parsed: { area, block, element, address, bit,
// format, length, byteOffset, byteCount, text } (area 'M', 'DB', ...;
// element 'word', ...; format 'KG', 'UNSIGNED', ...; text as printed).
function parseVariable(text) {
  if (typeof text !== 'string') throw invalidArgument(`a variable must be a text such as 'DB10.DD30:KG', not ${describe(text)}`);
  const info = {};
  const error = {};
  const code = library().orvavars.ORVAVarsParse(text, info, error);
  if (code !== 0) throw refused(code, error.message, error.position);
  const area = String.fromCharCode(info.area);
  return {
    area: area === 'D' ? 'DB' : area === 'X' ? 'DX' : area,
    block: info.block,
    element: elements[info.element],
    address: info.address,
    bit: info.bit,
    format: formats[info.format],
    length: info.length,
    byteOffset: info.byteOffset,
    byteCount: info.byteCount,
    text: info.text,
  };
}

// A variable's own bytes (in the PLC's order) as a read would give its
// value: { value, kind, text, timeBase, timeDigits }. Throws the OrvaError of
// a value that is not one (ORVAVARS_ERR_INVALID_BCD).
function decodeVariable(text, bytes) {
  if (!ArrayBuffer.isView(bytes)) throw invalidArgument(`the bytes must be a Buffer or a Uint8Array, not ${describe(bytes)}`);
  const list = new NativeList([text]);
  try {
    const { byteCount } = list.info(0);
    if (bytes.byteLength !== byteCount) throw outOfRange(`${text} has ${byteCount} bytes, not ${bytes.byteLength}`);
    const out = new Uint8Array(resultBytes(1));
    const status = library().orvavars.ORVAVarsDecode(list.pointer, 0, new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength), byteCount, out);
    const r = resultAt(new DataView(out.buffer), 0);
    if (status !== 0) {
      throw new OrvaError(`decoding ${text} from ${Buffer.from(bytes).toString('hex').toUpperCase()}`, status);
    }
    const decoded = { value: r.value, kind: r.kind, text: list.valueText(0) };
    if (r.kind === 'time') Object.assign(decoded, { timeBase: r.timeBase, timeDigits: r.timeDigits });
    return decoded;
  } finally {
    list.free();
  }
}

// The bytes a value would be written as (a bit: its byte with only that bit
// set or clear) and its text: { bytes, text }. Throws orvavars' refusal.
function encodeVariable(text, value, options = {}) {
  checkOptions(options, ['roundTimes']);
  const list = new NativeList([text], options);
  try {
    list.set(0, value);
    const out = Buffer.alloc(list.info(0).byteCount);
    const n = library().orvavars.ORVAVarsEncoded(list.pointer, 0, out, out.length);
    if (n < 0) throw new Error(`orvanet: ${text} has no bytes to write (${n})`);
    return { bytes: out.subarray(0, n), text: list.valueText(0) };
  } finally {
    list.free();
  }
}

module.exports = {
  enums: { elements, formats, kinds, option },
  NativeList, TypedValue, typed, parseVariable, decodeVariable, encodeVariable, resultAt, resultBytes, checkOptions, checkTexts,
};
