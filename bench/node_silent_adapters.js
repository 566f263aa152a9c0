// SPDX-License-Identifier: Apache-2.0
'use strict';
// A healthy read beside 16 calls that wait on silent adapters: how long the
// healthy read and a file read of Node.js itself take while the 16 wait, and
// when the 16 settle against their time-outs. Before every connection had a
// thread of its own, the calls ran on libuv's pool of 4 threads, which the
// waiting calls filled. Against two orvasims it starts on 127.0.2.142 (healthy)
// and 127.0.2.143 (silent: each of its connections stops answering):
//   unshare -r -n sh -c 'ip link set lo up && node bench/node_silent_adapters.js [PACKAGE]'
// PACKAGE is the orvanet package to measure (default bindings/node), so that
// an older one can be measured the same way.
const fs = require('fs');
const path = require('path');

const repo = path.resolve(__dirname, '..');
const { Orvasim } = require(path.join(repo, 'bindings/node/test/support/orvasim'));
const orvanet = require(path.resolve(process.argv[2] || path.join(repo, 'bindings/node')));

const silentCount = Number(process.env.SILENT || 16);
const silentTimeoutMs = 1500;
const healthyTimeoutMs = 1000;
const rounds = 5;

async function timedMs(promise) {
  const t0 = process.hrtime.bigint();
  await promise;
  return Number(process.hrtime.bigint() - t0) / 1e6;
}

async function round(healthySim, silentSim) {
  const silent = Array.from({ length: silentCount }, () => orvanet.connect(silentSim.address, { receiveTimeoutMs: silentTimeoutMs }));
  const healthy = orvanet.connect(healthySim.address, { receiveTimeoutMs: healthyTimeoutMs });
  try {
    // Connected first, so that each call below waits only its receive time-out.
    await Promise.all([...silent, healthy].map((c) => c.readWords('DB1', 0, 1)));
    for (const _ of silent) await silentSim.fault('reply', 'silence');
    const began = process.hrtime.bigint();
    const waiting = silent.map((c) => c.readWords('DB1', 0, 1).then(() => 'answered', (e) => e.socketErrorName || e.code));
    await new Promise((resolve) => setTimeout(resolve, 50));
    const [healthyMs, fileMs] = await Promise.all([timedMs(healthy.readWords('DB1', 0, 100)), timedMs(fs.promises.readFile(__filename))]);
    const ends = await Promise.all(waiting);
    const settledMs = Number(process.hrtime.bigint() - began) / 1e6;
    return { healthyMs, fileMs, settledMs, ends };
  } finally {
    await Promise.all([...silent, healthy].map((c) => c.close()));
  }
}

async function main() {
  const healthySim = await Orvasim.start('127.0.2.142');
  const silentSim = await Orvasim.start('127.0.2.143');
  try {
    const results = [];
    for (let i = 0; i < rounds; i++) results.push(await round(healthySim, silentSim));
    const median = (key) => results.map((r) => r[key]).sort((a, b) => a - b)[Math.floor(rounds / 2)];
    const ends = [...new Set(results.flatMap((r) => r.ends))].join(', ');
    console.log(`node ${process.version}, package ${process.argv[2] || 'bindings/node'}, UV_THREADPOOL_SIZE ${process.env.UV_THREADPOOL_SIZE || '4 (default)'}, ${rounds} rounds (medians)`);
    console.log(`${silentCount} calls waiting on silent adapters (receive time-out ${silentTimeoutMs} ms): all settled after ${median('settledMs').toFixed(0)} ms (${ends})`);
    console.log(`beside them a healthy read of 100 words (its receive time-out ${healthyTimeoutMs} ms): ${median('healthyMs').toFixed(1)} ms`);
    console.log(`and at the same time a file read of Node.js itself (fs.promises.readFile): ${median('fileMs').toFixed(1)} ms`);
  } finally {
    await healthySim.stop();
    await silentSim.stop();
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
