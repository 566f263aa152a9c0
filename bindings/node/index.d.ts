// SPDX-License-Identifier: Apache-2.0
// orvanet for Node.js: the data areas and the variables of S5 PLCs through liborvanet and liborvavars.
/// <reference types="node" />

/**
 * An area as spelled in every tool of orvanet, in either case: A or O
 * (outputs), E or I (inputs), M (flags), T (timers), Z or C (counters), D or
 * DB (data block), X or DX (extended data block). A block number 0..255 may be
 * part of the spelling ('DB5', 'DB 5', 'D5', 'DX7', 'X7') or given as db.
 */
export type Area = string;

/**
 * A variable in the PLC's notation: an address, then optionally a colon and
 * a data format: 'DB10.DD30:KG', 'DB10.DW4:KT', 'MW20:KF', 'M20.3', 'T3',
 * 'DB5.DW3:KS10' (docs/variables.md of orvanet has the grammar).
 */
export type Variable = string;

/**
 * A variable's value: a boolean for bits; a number for the integer formats
 * (none, KF, KH, KM, KY, KZ, DH), for KG and for KT (milliseconds); a string
 * for KC and KS (its Latin-1 characters).
 */
export type Value = boolean | number | string;

/**
 * A value to write: a boolean; a number (a real for KG, a whole number for the
 * others); a bigint; a string (its characters for KC and KS, otherwise read
 * as a user types it: '12.5', '1.5s', '0x1F', '18,52'); or a typed() value.
 */
export type ValueToWrite = boolean | number | bigint | string | TypedValue;

export interface ConnectOptions {
  /** Own transport name (TSAP), at most 8 Latin-1 characters. Default ''. */
  ownTsap?: string;
  /** The PLC's transport name (TSAP), at most 8 Latin-1 characters. Default ''. */
  plcTsap?: string;
  /** 0..3600000 ms; 0 is the library's default, 500. */
  receiveTimeoutMs?: number;
  /** 0..3600000 ms; 0 is the library's default, 500. */
  sendTimeoutMs?: number;
  /** 0..3600000 ms; 0 is the library's default, 5000. */
  connectTimeoutMs?: number;
}

export interface ReadOptions {
  /** Ranges of one area and block at most this many bytes apart are read by one call (0..65535, default 32). */
  gap?: number;
}

export interface WriteOptions {
  /** Round a KT time to the nearest its time base holds, instead of refusing it. Default false. */
  roundTimes?: boolean;
  /** Refuse the writes that read the PLC first (bits, bytes of data words) with ORVAVARS_ERR_MODIFY_REFUSED. Default false. */
  noModify?: boolean;
}

/** What a list's read costs: liborvanet calls, telegrams of at most 492 data bytes, bytes fetched. */
export interface ListPlan {
  readonly variables: number;
  readonly calls: number;
  readonly telegrams: number;
  readonly bytes: number;
}

/** Each variable's value, or its own OrvaError when it did not read (not thrown). */
export type Values = Record<Variable, Value | OrvaError>;

/** One variable's result of VarList.readResults(). */
export interface VariableResult {
  readonly variable: Variable;
  /** Undefined when it did not read. */
  readonly value: Value | undefined;
  readonly error: OrvaError | null;
  readonly kind: 'none' | 'boolean' | 'integer' | 'real' | 'text' | 'time';
  /** KT: 0 (0.01 s), 1 (0.1 s), 2 (1 s) or 3 (10 s). */
  readonly timeBase?: number;
  /** KT: the three digits as stored, 0..999. */
  readonly timeDigits?: number;
}

/**
 * One handle to one adapter. Calls are queued and run in the order they were
 * made, on a thread of the connection's own, never on the event loop; each
 * settles within its time-outs, however many other connections wait.
 * Start and count are in bytes for A, E and M (also for word access: a word
 * covers two byte addresses) and in words for D, X, T and Z.
 */
export class Connection {
  private constructor();
  readonly address: string;
  readonly ownTsap: string;
  readonly plcTsap: string;
  readonly receiveTimeoutMs: number;
  readonly sendTimeoutMs: number;
  readonly connectTimeoutMs: number;
  /** The library's handle, 0..63; null once close() was called. */
  readonly handle: number | null;
  /** Calls made and not yet settled. */
  readonly pending: number;
  /** True once close() was called: new calls are refused with ORVA_ERR_HANDLE. */
  readonly closed: boolean;

  /** count (1..65535) bytes of A, E or M from start (0..65535). */
  readBytes(area: Area, start: number, count: number, db?: number): Promise<Buffer>;
  /** count (1..65535) words of any area, in host order. */
  readWords(area: Area, start: number, count: number, db?: number): Promise<Uint16Array>;
  /** Bytes to A or M: each 0..255, or -128..-1 as two's complement. */
  writeBytes(area: Area, start: number, values: ArrayLike<number> | Buffer | Uint8Array, db?: number): Promise<void>;
  /** Words to A, M, D, X, T or Z: each 0..65535, or -32768..-1 as two's complement. */
  writeWords(area: Area, start: number, values: ArrayLike<number> | Uint16Array | Int16Array, db?: number): Promise<void>;
  /**
   * Reads the variables in one call to the connection's thread (the library
   * plans the fewest calls). Resolves to each text's value, or its OrvaError.
   * A text that does not parse rejects at once (TypeError, RangeError).
   */
  read(variables: readonly Variable[], options?: ReadOptions): Promise<Values>;
  /** A list parsed and planned once, to read again and again. Throws for a text that does not parse. */
  list(variables: readonly Variable[], options?: ReadOptions): VarList;
  /**
   * Writes each variable's value. A value refused before any call rejects
   * (RangeError, TypeError) and nothing is written. Otherwise resolves when
   * every variable was written, or rejects with the OrvaError of the first
   * that was not, whose errors hold each one that was not. Bits and bytes of
   * data words are read first and written back with the rest of their byte
   * or word (read-modify-write: see noModify).
   */
  write(values: Record<Variable, ValueToWrite> | Map<Variable, ValueToWrite>, options?: WriteOptions): Promise<void>;
  /** Lets the calls made before it finish, refuses later ones, then closes the handle. The same promise each time. */
  close(): Promise<void>;
}

/** A list of variables of one connection, parsed and planned once; each read is one call. */
export class VarList {
  private constructor();
  /** The texts, as given. */
  readonly variables: readonly Variable[];
  readonly plan: ListPlan;
  readonly connection: Connection;
  /** Each text's value, or its OrvaError. */
  read(): Promise<Values>;
  /** Each variable's result in list order, with a KT time's base and digits. */
  readResults(): Promise<VariableResult[]>;
}

/** A value with its setter named: a real 2.0 for a whole-number format, a user's text for KS. */
export interface TypedValue {
  readonly kind: 'boolean' | 'integer' | 'real' | 'string' | 'text';
  readonly value: boolean | number | bigint | string;
}

export function typed(kind: 'boolean', value: boolean): TypedValue;
export function typed(kind: 'integer', value: number | bigint): TypedValue;
export function typed(kind: 'real', value: number): TypedValue;
/** 'string': Latin-1 characters as they are; 'text': as a user types it, with \xHH and \\ escapes. */
export function typed(kind: 'string' | 'text', value: string): TypedValue;

/**
 * Opens a handle to the adapter at address (dotted IPv4), port 102. Sends
 * nothing: the first call connects. Throws OrvaLibraryError when liborvanet
 * or liborvavars cannot be loaded, OrvaError ORVA_ERR_NO_FREE_HANDLE when 64
 * handles are open, TypeError/RangeError for bad settings.
 */
export function connect(address: string, options?: ConnectOptions): Connection;

export type ResultName =
  | 'ORVA_OK' | 'ORVA_ERR_PLC' | 'ORVA_ERR_DROPPED' | 'ORVA_ERR_NO_FREE_HANDLE' | 'ORVA_ERR_FAILED'
  | 'ORVA_ERR_CONNECT' | 'ORVA_ERR_SOCKET' | 'ORVA_ERR_AREA' | 'ORVA_ERR_HANDLE'
  | 'ORVAVARS_ERR_SYNTAX' | 'ORVAVARS_ERR_UNKNOWN_AREA' | 'ORVAVARS_ERR_UNKNOWN_FORMAT' | 'ORVAVARS_ERR_FORMAT_UNIT'
  | 'ORVAVARS_ERR_OUT_OF_RANGE' | 'ORVAVARS_ERR_VALUE_TEXT' | 'ORVAVARS_ERR_VALUE_RANGE' | 'ORVAVARS_ERR_VALUE_PRECISION'
  | 'ORVAVARS_ERR_VALUE_KIND' | 'ORVAVARS_ERR_NOT_FINITE' | 'ORVAVARS_ERR_INVALID_BCD' | 'ORVAVARS_ERR_NO_VALUE'
  | 'ORVAVARS_ERR_MODIFY_REFUSED' | 'ORVAVARS_ERR_NOT_TRIED' | 'ORVAVARS_ERR_ARGUMENT' | 'ORVAVARS_ERR_NO_MEMORY'
  | 'ORVAVARS_ERR_TOO_MANY';

/**
 * A call that did not succeed, or a variable that did not read or write:
 * "<what was asked> failed: <liborvavars' words for the result>".
 */
export class OrvaError extends Error {
  readonly name: 'OrvaError';
  /** The result's C name, such as 'ORVA_ERR_SOCKET' ('ORVA_UNKNOWN_RESULT' for a code the headers do not list). */
  readonly code: ResultName | 'ORVA_UNKNOWN_RESULT';
  /** The result code, such as -7. */
  readonly result: number;
  /** The socket error number (Windows Sockets numbering), 0 for none. */
  readonly socketError: number;
  /** Its name, such as 'ORVA_WSAECONNREFUSED', or null. */
  readonly socketErrorName: string | null;
  /** write(): each variable that was not written, with its error. */
  readonly errors?: Record<Variable, OrvaError>;
}

/** liborvanet or liborvavars could not be found or loaded; the message says what was tried for each and how to fix it. */
export class OrvaLibraryError extends Error {
  readonly name: 'OrvaLibraryError';
  readonly code: 'ORVA_LIBRARY_NOT_FOUND';
}

/** Result codes by name: Result.ORVA_ERR_SOCKET === -7, Result.ORVAVARS_ERR_INVALID_BCD === -120. */
export const Result: Readonly<Record<ResultName, number>>;
/** Socket error numbers by name: SocketError.ORVA_WSAECONNREFUSED === 10061. */
export const SocketError: Readonly<Record<string, number>>;
/** A result code's C name; 'ORVA_UNKNOWN_RESULT' for others. */
export function resultName(code: number): string;
/** A result code in words (liborvavars' ORVAVarsResultText), its own codes and liborvanet's. */
export function resultText(code: number): string;
/** A socket error number's name, or null. */
export function socketErrorName(number: number): string | null;
/** A socket error number in words (the header's ORVASocketErrorText); '' for numbers it does not list. */
export function socketErrorText(number: number): string;

export interface ParsedArea {
  /** The letter handed to the library: A E M D X T Z. */
  letter: 'A' | 'E' | 'M' | 'D' | 'X' | 'T' | 'Z';
  /** The block number of D and X, 0 otherwise. */
  block: number;
  /** As printed: 'DB5', 'DX7', or the letter. */
  spelling: string;
}

/** Checks an area's spelling (liborvavars' ORVAVarsParseArea); throws TypeError/RangeError with what is wrong. */
export function parseArea(area: Area, db?: number): ParsedArea;
/**
 * The address of element index of a request from start, as the tools print
 * it (ORVAVarsElementAddress): formatAddress('DB5', 'words', 3) is 'DB 5 DW3',
 * formatAddress('M', 'words', 10, 1) 'MW12' (words of A, E, M step by 2),
 * also 'EB0', 'DX 7 DW0', 'T 3', 'Z 4'. area: a spelling with its block, or
 * what parseArea returns. Throws TypeError/RangeError for bad arguments.
 */
export function formatAddress(area: Area | ParsedArea, unit: 'bytes' | 'words', start: number, index?: number): string;

/** A variable as parsed. */
export interface VariableInfo {
  /** 'A', 'E', 'M', 'DB', 'DX', 'T' or 'Z'. */
  area: 'A' | 'E' | 'M' | 'DB' | 'DX' | 'T' | 'Z';
  /** 0..255 for DB and DX, 0 otherwise. */
  block: number;
  element: 'bit' | 'byte' | 'word' | 'double' | 'left_byte' | 'right_byte';
  /** As written: the byte (A E M), the data word (DB DX), the cell (T Z). */
  address: number;
  /** The bit, or -1. */
  bit: number;
  format: 'BOOLEAN' | 'UNSIGNED' | 'KF' | 'KH' | 'KM' | 'KY' | 'KC' | 'KT' | 'KZ' | 'KG' | 'DH' | 'KS';
  /** Characters of KS (and KC n), else 0. */
  length: number;
  /** Its first byte, counted from byte 0 of the area. */
  byteOffset: number;
  byteCount: number;
  /** As the tools print it: 'DB10.DD30:KG'. */
  text: string;
}

/** Parses a variable's text; throws TypeError/RangeError with liborvavars' message (its position and what was expected). */
export function parseVariable(text: Variable): VariableInfo;

export interface Decoded {
  value: Value;
  kind: 'boolean' | 'integer' | 'real' | 'text' | 'time';
  /** The value as the tools print it: '12.34567', '1.5s'. */
  text: string;
  timeBase?: number;
  timeDigits?: number;
}

/** A variable's own bytes (in the PLC's order) as a read would give them, without traffic; throws the OrvaError of an invalid value. */
export function decodeVariable(text: Variable, bytes: Uint8Array): Decoded;
/** The bytes a value would be written as, and its text, without traffic; throws liborvavars' refusal (RangeError, TypeError). */
export function encodeVariable(text: Variable, value: ValueToWrite, options?: { roundTimes?: boolean }): { bytes: Buffer; text: string };

/** The file liborvanet was loaded from (loading both libraries first); throws OrvaLibraryError. */
export function libraryPath(): string;
/** The file liborvavars was loaded from; throws OrvaLibraryError. */
export function varsLibraryPath(): string;
