// SPDX-License-Identifier: Apache-2.0
'use strict';
// The three nodes in a real Node-RED runtime (node-red-node-test-helper)
// against orvasim: values read, written and read back; failures as catchable
// errors and in the status; a redeploy closes the adapter's connection.
const test = require('node:test');
const assert = require('node:assert');
const helper = require('node-red-node-test-helper');
const orvanetNodes = require('../nodes/orvanet.js');
const { Orvasim, bigEndian } = require('../../node/test/support/orvasim');

helper.init(require.resolve('node-red'));

const simAddress = '127.0.2.100';
const nobodyAddress = '127.0.2.101';
let sim;

test.before(async () => {
  sim = await Orvasim.start(simAddress);
  await sim.blockSize('D', 9, 0);
});
test.after(() => sim.stop());
test.beforeEach(() => sim.reset());
test.afterEach(() => helper.unload());

function adapter(address = simAddress, extra = {}) {
  return { id: 'adapter', type: 'orvanet-adapter', address, ownTsap: '', plcTsap: '', receiveTimeout: 300, sendTimeout: 500, connectTimeout: 1000, ...extra };
}

function readNode(extra) {
  return { id: 'read', type: 'orvanet read', adapter: 'adapter', area: 'DB', db: 5, start: 0, count: 4, unit: 'words', interval: 0, wires: [['out']], ...extra };
}

// The nodes on one tab, and the adapter, a configuration node, beside it.
function onTab(nodes, address) {
  return [{ id: 'tab', type: 'tab', label: 'test' }, adapter(address), ...nodes.map((n) => ({ z: 'tab', ...n }))];
}

// A read or write node, a catch and a status node each wired to a helper node.
function flow(node, address) {
  return onTab([node, { id: 'out', type: 'helper' },
    { id: 'catcher', type: 'catch', scope: null, uncaught: false, wires: [['caught']] }, { id: 'caught', type: 'helper' },
    { id: 'watcher', type: 'status', scope: null, wires: [['statuses']] }, { id: 'statuses', type: 'helper' }], address);
}

// The next message that helper node id receives, within timeoutMs.
function next(id, timeoutMs = 3000) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`${id} received nothing within ${timeoutMs} ms`)), timeoutMs);
    helper.getNode(id).once('input', (msg) => { clearTimeout(timer); resolve(msg); });
  });
}

// The statuses of node id until one that matches done(status).
function statusUntil(id, done) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no such status of ${id}`)), 3000);
    const listener = (msg) => {
      if (msg.status.source.id !== id || !done(msg.status)) return;
      clearTimeout(timer);
      helper.getNode('statuses').off('input', listener);
      resolve(msg.status);
    };
    helper.getNode('statuses').on('input', listener);
  });
}

test('a message read: the values written before, the first address as the topic', async () => {
  await sim.write('D', 5, 0, bigEndian([16706, 1234, 0, 65535]));
  await helper.load(orvanetNodes, flow(readNode()));
  const connected = statusUntil('read', (s) => s.text === 'connected');
  const out = next('out');
  helper.getNode('read').receive({ payload: 'go', keep: 7 });
  const msg = await out;
  assert.deepStrictEqual(msg.payload, [16706, 1234, 0, 65535]);
  assert.strictEqual(msg.topic, 'DB 5 DW0');
  assert.strictEqual(msg.keep, 7, 'the message is passed on');
  assert.strictEqual((await connected).fill, 'green');
});

test('bytes and words of flags, with their addresses as orvacli prints them', async () => {
  await sim.write('M', 0, 10, [0x41, 0x42, 0x43, 0x44]);
  for (const [unit, count, payload, topic] of [['bytes', 3, [0x41, 0x42, 0x43], 'MB10'], ['words', 2, [0x4142, 0x4344], 'MW10']]) {
    await helper.load(orvanetNodes, flow(readNode({ area: 'M', start: 10, count, unit })));
    const out = next('out');
    helper.getNode('read').receive({});
    const msg = await out;
    assert.deepStrictEqual([msg.payload, msg.topic], [payload, topic]);
    await helper.unload();
  }
});

test('write, then read back through the same adapter', async () => {
  const nodes = onTab([{ id: 'write', type: 'orvanet write', adapter: 'adapter', area: 'DB', db: 6, start: 3, unit: 'words', wires: [['read']] },
    readNode({ db: 6, start: 3, count: 2 }), { id: 'out', type: 'helper' }]);
  await helper.load(orvanetNodes, nodes);
  let out = next('out');
  helper.getNode('write').receive({ payload: [0x1234, 42] });
  assert.deepStrictEqual((await out).payload, [0x1234, 42]);
  assert.deepStrictEqual(await sim.read('D', 6, 6, 4), bigEndian([0x1234, 42]));
  out = next('out');
  helper.getNode('write').receive({ payload: -2 });
  assert.deepStrictEqual((await out).payload, [0xFFFE, 42], 'a single number, negative as two\'s complement');
});

test('bytes from a Buffer to the outputs', async () => {
  await helper.load(orvanetNodes, onTab([{ id: 'write', type: 'orvanet write', adapter: 'adapter', area: 'A', start: 4, unit: 'bytes', wires: [['out']] },
    { id: 'out', type: 'helper' }]));
  const out = next('out');
  helper.getNode('write').receive({ payload: Buffer.from([1, 2, 255]) });
  await out;
  assert.deepStrictEqual([...await sim.read('A', 0, 4, 3)], [1, 2, 255]);
});

// [case, the flow's read node and adapter address, how to provoke it, error code, text in the message, status]
const failures = [
  ['nothing listening', readNode(), nobodyAddress, () => {}, 'ORVA_ERR_SOCKET', 'connection refused', 'error: ORVA_ERR_SOCKET ORVA_WSAECONNREFUSED'],
  ['a silent adapter', readNode(), simAddress, () => sim.fault('reply', 'silence'), 'ORVA_ERR_SOCKET', 'timed out', 'error: ORVA_ERR_SOCKET ORVA_WSAETIMEDOUT'],
  ['a missing block', readNode({ db: 9 }), simAddress, () => {}, 'ORVA_ERR_PLC', 'reading 4 words from DB 9 DW0..DB 9 DW3', 'error: ORVA_ERR_PLC'],
];
for (const [name, node, address, provoke, code, text, statusText] of failures) {
  test(`${name}: an error a catch node gets, and the result's name in the status`, async () => {
    await helper.load(orvanetNodes, flow(node, address));
    await provoke();
    const caught = next('caught');
    const status = statusUntil('read', (s) => s.fill === 'red');
    let sent = false;
    helper.getNode('out').on('input', () => { sent = true; });
    helper.getNode('read').receive({ payload: 1 });
    const msg = await caught;
    assert.strictEqual(msg.error.code, code);
    assert.ok(msg.error.message.startsWith('OrvaError: reading 4 words from '), msg.error.message);
    assert.ok(msg.error.message.includes(text), msg.error.message);
    assert.strictEqual(msg.error.source.id, 'read');
    assert.strictEqual((await status).text, statusText);
    assert.strictEqual(sent, false, 'nothing is sent on');
  });
}

test('a value out of range is refused before anything is sent', async () => {
  await helper.load(orvanetNodes, flow({ id: 'write', type: 'orvanet write', adapter: 'adapter', area: 'M', start: 0, unit: 'bytes', wires: [['out']] }));
  for (const [payload, message] of [[[1, 256], /^RangeError: msg\.payload: value 1 \(256\) does not fit in a byte/], ['12', /^TypeError: msg\.payload: the values must be an array, a Buffer or a Uint8Array/]]) {
    const caught = next('caught');
    helper.getNode('write').receive({ payload });
    assert.match((await caught).error.message, message);
  }
  assert.strictEqual(await sim.accepted(), 0);
});

test('a read node on its own interval, which stops with the flow', async () => {
  await sim.write('D', 5, 0, bigEndian([7]));
  await helper.load(orvanetNodes, flow(readNode({ count: 1, interval: 50 })));
  let received = 0;
  helper.getNode('out').on('input', (msg) => {
    assert.deepStrictEqual([msg.payload, msg.topic], [[7], 'DB 5 DW0']);
    received++;
  });
  await new Promise((resolve) => setTimeout(resolve, 400));
  assert.ok(received >= 3, `${received} reads in 400 ms`);
  await helper.unload();
  const then = received;
  await new Promise((resolve) => setTimeout(resolve, 200));
  assert.strictEqual(received, then, 'no read after the flow stopped');
});

test('a failed read of the interval goes to the catch node as well', async () => {
  await helper.load(orvanetNodes, flow(readNode({ db: 9, interval: 50 })));
  const msg = await next('caught');
  assert.strictEqual(msg.error.code, 'ORVA_ERR_PLC');
  assert.strictEqual(msg.error.source.id, 'read');
});

test('a redeploy closes the adapter\'s connection, and the new flow connects again', async () => {
  await helper.load(orvanetNodes, flow(readNode()));
  let out = next('out');
  helper.getNode('read').receive({});
  await out;
  assert.deepStrictEqual(await sim.ends(), ['open']);
  await helper.setFlows(flow(readNode({ count: 2 })), 'full');
  assert.deepStrictEqual(await sim.waitForEnds(1, 2000), ['reset'], 'orvasim saw the connection go');
  out = next('out');
  helper.getNode('read').receive({});
  assert.strictEqual((await out).payload.length, 2);
  assert.deepStrictEqual(await sim.ends(), ['reset', 'open']);
});

test('an adapter set up wrongly: the nodes say so in the status and on every message', async () => {
  await helper.load(orvanetNodes, flow(readNode(), 'plc.local'));
  const status = statusUntil('read', (s) => s.text === 'not set up');
  helper.getNode('read').receive({});
  const caught = await next('caught');
  assert.strictEqual(caught.error.code, 'ERR_INVALID_ARG_VALUE');
  assert.match(caught.error.message, /address must be a dotted IPv4 address .* not "plc\.local"/);
  assert.strictEqual((await status).fill, 'red');
});

test('a read set up for bytes of a data block is refused as the library would', async () => {
  await helper.load(orvanetNodes, flow(readNode({ unit: 'bytes' })));
  const caught = next('caught');
  helper.getNode('read').receive({});
  const msg = await caught;
  assert.strictEqual(msg.error.code, 'ORVA_ERR_AREA');
  assert.match(msg.error.message, /data blocks \(DB\) are read and written in words only/);
  assert.strictEqual(await sim.accepted(), 0);
});
