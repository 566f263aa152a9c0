// SPDX-License-Identifier: Apache-2.0
// orvanet for Node.js: the data areas of S5 PLCs through liborvanet.
/// <reference types="node" />

/**
 * An area as spelled in every tool of orvanet, in either case: A or O
 * (outputs), E or I (inputs), M (flags), T (timers), Z or C (counters), D or
 * DB (data block), X or DX (extended data block). A block number 0..255 may be
 * part of the spelling ('DB5', 'D5', 'DX7', 'X7') or given as db.
 */
export type Area = string;

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

/**
 * One handle to one adapter. Calls are queued and run in the order they were
 * made, off the event loop; each settles within its time-outs.
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
  /** The library's handle, 0..63. */
  readonly handle: number;
  /** Calls made and not yet settled. */
  readonly pending: number;
  /** True once close() was called: new calls are refused. */
  readonly closed: boolean;

  /** count (1..65535) bytes of A, E or M from start (0..65535). */
  readBytes(area: Area, start: number, count: number, db?: number): Promise<Buffer>;
  /** count (1..65535) words of any area, in host order. */
  readWords(area: Area, start: number, count: number, db?: number): Promise<Uint16Array>;
  /** Bytes to A or M: each 0..255, or -128..-1 as two's complement. */
  writeBytes(area: Area, start: number, values: ArrayLike<number> | Buffer | Uint8Array, db?: number): Promise<void>;
  /** Words to A, M, D, X, T or Z: each 0..65535, or -32768..-1 as two's complement. */
  writeWords(area: Area, start: number, values: ArrayLike<number> | Uint16Array | Int16Array, db?: number): Promise<void>;
  /** Lets the calls made before it finish, refuses later ones, then closes the handle. The same promise each time. */
  close(): Promise<void>;
}

/**
 * Opens a handle to the adapter at address (dotted IPv4), port 102. Sends
 * nothing: the first call connects. Throws OrvaLibraryError when liborvanet
 * cannot be loaded, OrvaError ORVA_ERR_NO_FREE_HANDLE when 64 handles are open,
 * TypeError/RangeError for bad settings.
 */
export function connect(address: string, options?: ConnectOptions): Connection;

export type ResultName =
  | 'ORVA_OK' | 'ORVA_ERR_PLC' | 'ORVA_ERR_DROPPED' | 'ORVA_ERR_NO_FREE_HANDLE' | 'ORVA_ERR_FAILED'
  | 'ORVA_ERR_CONNECT' | 'ORVA_ERR_SOCKET' | 'ORVA_ERR_AREA' | 'ORVA_ERR_HANDLE';

/** A call that did not succeed, or one refused for a reason the library would give the same way. */
export class OrvaError extends Error {
  readonly name: 'OrvaError';
  /** The result's name, such as 'ORVA_ERR_SOCKET' ('ORVA_UNKNOWN_RESULT' for a code the header does not list). */
  readonly code: ResultName | 'ORVA_UNKNOWN_RESULT';
  /** The result code, such as -7. */
  readonly result: number;
  /** The handle's socket error number (Windows Sockets numbering), 0 for none. */
  readonly socketError: number;
  /** Its name, such as 'ORVA_WSAECONNREFUSED', or null. */
  readonly socketErrorName: string | null;
}

/** liborvanet could not be found or loaded; the message says what was tried and how to fix it. */
export class OrvaLibraryError extends Error {
  readonly name: 'OrvaLibraryError';
  readonly code: 'ORVA_LIBRARY_NOT_FOUND';
}

/** Result codes by name: Result.ORVA_ERR_SOCKET === -7. */
export const Result: Readonly<Record<ResultName, number>>;
/** Socket error numbers by name: SocketError.ORVA_WSAECONNREFUSED === 10061. */
export const SocketError: Readonly<Record<string, number>>;
/** A result code's name; 'ORVA_UNKNOWN_RESULT' for others. */
export function resultName(code: number): string;
/** A result code in words (the header's ORVAResultName). */
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

/** Checks an area's spelling; throws TypeError/RangeError with what is wrong. */
export function parseArea(area: Area, db?: number): ParsedArea;
/**
 * The address of element index of a request from start, as orvacli prints it:
 * 'EB0', 'MW10' (words of A, E, M step by 2), 'DB 5 DW3', 'DX 7 DW0', 'T 3', 'Z 4'.
 */
export function formatAddress(area: ParsedArea, unit: 'bytes' | 'words', start: number, index?: number): string;
/** The file liborvanet was loaded from (loading it first); throws OrvaLibraryError. */
export function libraryPath(): string;
