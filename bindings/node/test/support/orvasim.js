// SPDX-License-Identifier: Apache-2.0
'use strict';
// One orvasim per test file, on a loopback address of its own, with its
// control channel (tools/orvasim/control_channel.h): faults armed out of
// band, memory read and written beside the library, connections counted.
// Used by the tests of bindings/node and bindings/node-red.
const { spawn } = require('child_process');
const net = require('net');
const path = require('path');

const repo = path.resolve(__dirname, '../../../..');
const buildDir = process.env.ORVA_BUILD_DIR ? path.resolve(repo, process.env.ORVA_BUILD_DIR) : path.join(repo, 'build/test');
const orvasimPath = process.env.ORVASIM || path.join(buildDir, 'tools/orvasim/orvasim');
const libraryPath = path.join(buildDir, 'linklib/liborvanet.so.1');
const varsLibraryPath = path.join(buildDir, 'vars/liborvavars.so.1');
// The tests load the libraries of the build unless told otherwise (the two are in different folders there).
if (!process.env.ORVANET_LIBRARY) process.env.ORVANET_LIBRARY = libraryPath;
if (!process.env.ORVAVARS_LIBRARY) process.env.ORVAVARS_LIBRARY = varsLibraryPath;

const startTimeoutMs = 5000;
const replyTimeoutMs = 5000;

// A line client of the control channel: one request at a time, in order.
class Control {
  #socket;
  #input = '';
  #waiting = [];
  #tail = Promise.resolve();

  static open(address, port) {
    return new Promise((resolve, reject) => {
      const socket = net.connect({ host: address, port }, () => resolve(new Control(socket)));
      socket.once('error', reject);
    });
  }

  constructor(socket) {
    this.#socket = socket;
    socket.setEncoding('latin1');
    socket.on('data', (chunk) => {
      this.#input += chunk;
      let end;
      while ((end = this.#input.indexOf('\n')) >= 0) {
        const line = this.#input.slice(0, end);
        this.#input = this.#input.slice(end + 1);
        if (this.#waiting.length) this.#waiting[0](line);
      }
    });
  }

  // The data lines of the reply; rejects on "error ...".
  call(request) {
    const reply = this.#tail.then(() => new Promise((resolve, reject) => {
      const lines = [];
      const timer = setTimeout(() => reject(new Error(`control channel: no reply to ${request}`)), replyTimeoutMs);
      this.#waiting.push((line) => {
        if (line !== 'ok' && !line.startsWith('error')) return lines.push(line);
        clearTimeout(timer);
        this.#waiting.shift();
        if (line === 'ok') resolve(lines);
        else reject(new Error(`control channel: ${request}: ${line}`));
      });
      this.#socket.write(`${request}\n`);
    }));
    this.#tail = reply.catch(() => {});
    return reply;
  }

  close() {
    this.#socket.destroy();
  }
}

class Orvasim {
  static async start(address, args = []) {
    const child = spawn(orvasimPath, ['--address', address, '--control', `${address}:0`, ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
    let output = '';
    const port = await new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error(`orvasim on ${address} did not start:\n${output}`)), startTimeoutMs);
      const seen = (chunk) => {
        output += chunk;
        const control = /control on [\d.]+:(\d+)/.exec(output);
        if (control && output.includes('listening on')) {
          clearTimeout(timer);
          resolve(Number(control[1]));
        }
      };
      child.stdout.on('data', seen);
      child.stderr.on('data', seen);
      child.once('error', (error) => { clearTimeout(timer); reject(error); });
      child.once('exit', (code) => { clearTimeout(timer); reject(new Error(`orvasim on ${address} ended (${code}):\n${output}`)); });
    });
    return new Orvasim(address, child, await Control.open(address, port));
  }

  constructor(address, child, control) {
    this.address = address;
    this.child = child;
    this.control = control;
  }

  async stop() {
    this.control.close();
    if (this.child.exitCode !== null) return;
    const ended = new Promise((resolve) => this.child.once('exit', resolve));
    this.child.kill('SIGTERM');
    await ended;
  }

  reset() { return this.control.call('reset'); }
  // where: 'confirm' or 'reply'; kind: a fault of tools/orvasim/sim_server.h.
  fault(where, kind, value = 0, pauseMs = 0) { return this.control.call(`fault ${where} ${kind} ${value} ${pauseMs}`); }
  // Memory by area letter (D X M E A T Z), block and byte offset.
  async read(area, block, offset, count) { return Buffer.from((await this.control.call(`read ${area} ${block} ${offset} ${count}`))[0], 'hex'); }
  write(area, block, offset, bytes) { return this.control.call(`write ${area} ${block} ${offset} ${Buffer.from(bytes).toString('hex')}`); }
  blockSize(area, block, words) { return this.control.call(`blocksize ${area} ${block} ${words}`); }
  // Per connection accepted since the last reset: 'open', 'orderly' or 'reset'.
  ends() { return this.control.call('ends'); }
  async accepted() { return Number((await this.control.call('accepted'))[0]); }
  async open() { return Number((await this.control.call('open'))[0]); }

  // Polls until count connections have ended; their ends, or null after timeoutMs.
  async waitForEnds(count, timeoutMs) {
    const deadline = Date.now() + timeoutMs;
    for (;;) {
      const ends = await this.ends();
      if (ends.filter((e) => e !== 'open').length >= count) return ends;
      if (Date.now() > deadline) return null;
      await new Promise((resolve) => setTimeout(resolve, 10));
    }
  }
}

// Words as the PLC stores them: big-endian bytes.
function bigEndian(words) {
  const out = Buffer.alloc(words.length * 2);
  words.forEach((w, i) => out.writeUInt16BE(w, i * 2));
  return out;
}

module.exports = { Orvasim, bigEndian, orvasimPath, libraryPath, varsLibraryPath, repo, buildDir };
