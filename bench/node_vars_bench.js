// SPDX-License-Identifier: Apache-2.0
'use strict';
// The Node.js binding's list read beside one raw read of the same span, as
// bench/vars_bench.cpp measures the C API: 100 variables of mixed formats
// over data words 0..400 of DB 1, read by a VarList (planned once) and by a
// one-shot connection.read(), beside readWords('DB1', 0, 401), iteration by
// iteration in an order that alternates, against an orvasim it starts on
// 127.0.2.141. Also the cost of one call through the connection's thread
// (no traffic) beside koffi's call on libuv's pool and a call on the event
// loop. Run it pinned to one core, in a network namespace, after building
// orvanet, orvavars and orvasim into build/test:
//   unshare -r -n sh -c 'ip link set lo up && taskset -c 0 node bench/node_vars_bench.js'
// Prints the medians (us) and the ratios; the goal is a list at most 1.5 times the raw read.
const path = require('path');

const repo = path.resolve(__dirname, '..');
const { Orvasim } = require(path.join(repo, 'bindings/node/test/support/orvasim'));
const orvanet = require(path.join(repo, 'bindings/node'));
const { Thread, op } = require(path.join(repo, 'bindings/node/lib/thread'));
const { library } = require(path.join(repo, 'bindings/node/lib/native'));

const address = '127.0.2.141';
const rounds = Number(process.env.ROUNDS || 3000);
const warmUp = 300;
const spanWords = 401;

// The C++ benchmark's list: words in eight formats, every fifth a KG double word.
function mixedList() {
  const formats = ['', ':KF', ':KH', ':KT', ':KZ', ':KY', ':KM', ':KC'];
  const texts = [];
  for (let i = 0; i < 99; i++) texts.push(i % 5 === 4 ? `DB1.DD${i * 4}:KG` : `DB1.DW${i * 4}${formats[i % 8]}`);
  texts.push('DB1.DW400:KF');
  return texts;
}

function median(samples) {
  const sorted = [...samples].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

async function timed(fn) {
  const t0 = process.hrtime.bigint();
  await fn();
  return Number(process.hrtime.bigint() - t0) / 1000;
}

// Medians of each way, run in turns whose order rotates.
async function compare(ways) {
  const names = Object.keys(ways);
  const samples = Object.fromEntries(names.map((n) => [n, []]));
  for (let i = 0; i < warmUp + rounds; i++) {
    for (let k = 0; k < names.length; k++) {
      const name = names[(i + k) % names.length];
      const us = await timed(ways[name]);
      if (i >= warmUp) samples[name].push(us);
    }
  }
  return Object.fromEntries(names.map((n) => [n, median(samples[n])]));
}

async function main() {
  const sim = await Orvasim.start(address);
  try {
    // Valid values for every format: BCD digits for KT and KZ, a KG number.
    await sim.write('D', 1, 0, Buffer.alloc(spanWords * 2, Buffer.from([0x12, 0x34])));
    const plc = orvanet.connect(address, { receiveTimeoutMs: 2000, sendTimeoutMs: 2000, connectTimeoutMs: 2000 });
    const texts = mixedList();
    const list = plc.list(texts);
    const first = await list.read();
    const failed = Object.entries(first).filter(([, v]) => v instanceof Error);
    if (failed.length) throw new Error(`the list did not read: ${failed[0][1].message}`);
    if ((await plc.readWords('DB1', 0, spanWords)).length !== spanWords) throw new Error('the raw read failed');

    const reads = await compare({
      raw: () => plc.readWords('DB1', 0, spanWords),
      list: () => list.read(),
      oneShot: () => plc.read(texts),
    });

    // One call through a thread without traffic (an invalid handle: ORVA_ERR_HANDLE at once),
    // beside koffi's call on libuv's pool and the same call on the event loop.
    const thread = new Thread(-1, library().files);
    thread.scratch(2);
    const rdw = library().orvanet.ORVARdW;
    const word = new Uint16Array(1);
    const calls = await compare({
      thread: () => thread.call(op.readWords, 68, 1, 0, 1),
      libuvPool: () => new Promise((resolve, reject) => rdw.async(-1, 68, 1, 0, 1, word, (e, r) => (e ? reject(e) : resolve(r)))),
      eventLoop: async () => rdw(-1, 68, 1, 0, 1, word),
    });
    await thread.end();
    await plc.close();

    const f = (us) => `${us.toFixed(1)} us`;
    console.log(`node ${process.version}, ${rounds} rounds, ${texts.length} variables over DW0..DW400 of DB 1: ${list.plan.calls} call, ${list.plan.telegrams} telegrams, ${list.plan.bytes} bytes`);
    console.log(`raw readWords of ${spanWords} words  median ${f(reads.raw)}`);
    console.log(`VarList.read()               median ${f(reads.list)}  ratio ${(reads.list / reads.raw).toFixed(2)} (goal <= 1.5)`);
    console.log(`connection.read(texts)       median ${f(reads.oneShot)}  ratio ${(reads.oneShot / reads.raw).toFixed(2)}`);
    console.log(`one call without traffic: the connection's thread ${f(calls.thread)}, koffi on libuv's pool ${f(calls.libuvPool)}, on the event loop ${f(calls.eventLoop)}`);
  } finally {
    await sim.stop();
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
