// SPDX-License-Identifier: Apache-2.0
'use strict';
// The three nodes in a real Node-RED runtime (node-red-node-test-helper)
// against orvasim: named variables and ranges read, written and read back;
// a flow saved before variables, unchanged; failures as catchable errors and
// in the status, a list's own failures beside the values that read; the
// editor's check of the variables; redeploys close the adapter's connection
// and its thread.
const test = require('node:test');
const assert = require('node:assert');
const helper = require('node-red-node-test-helper');
const fs = require('fs');
const path = require('path');
const orvanetNodes = require('../nodes/orvanet.js');
const { Orvasim, bigEndian } = require('../../node/test/support/orvasim');
const { liveThreads } = require('orvanet/lib/thread');

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

test('a read set up for bytes of a data block is refused by the library, in its words', async () => {
  await helper.load(orvanetNodes, flow(readNode({ unit: 'bytes' })));
  const caught = next('caught');
  helper.getNode('read').receive({});
  const msg = await caught;
  assert.strictEqual(msg.error.code, 'ORVA_ERR_AREA');
  assert.strictEqual(msg.error.message, 'OrvaError: reading 4 bytes from DB 5 DB0..DB 5 DB3 at 127.0.2.100 failed: area not supported by this function (ORVA_ERR_AREA, result -10)');
  assert.strictEqual(await sim.accepted(), 0);
});

test('a flow saved before variables (no mode, numbers as the editor saves them) reads and writes its range as it did', async () => {
  const saved = JSON.parse(fs.readFileSync(path.join(__dirname, 'flows/saved-before-variables.json'), 'utf8'));
  const inject = require('@node-red/nodes/core/common/20-inject.js');
  await helper.load([orvanetNodes, inject], [...saved, { id: 'out', type: 'helper', z: saved[0].id }]);
  await sim.write('D', 5, 4, bigEndian([7, 8, 9]));
  let out = next('out');
  helper.getNode('7b9d1f3a5c0e2486').receive({ payload: 'go' });
  let msg = await out;
  assert.deepStrictEqual([msg.payload, msg.topic], [[7, 8, 9], 'DB 5 DW2']);
  out = next('out');
  helper.getNode('9d1f3b5a7c2e0468').receive({ payload: Buffer.from('AB') });
  msg = await out;
  assert.deepStrictEqual([...await sim.read('M', 0, 10, 2)], [0x41, 0x42]);
});

// A read or write node set up for variables.
function variablesNode(type, variables, extra) {
  return { id: type === 'orvanet read' ? 'read' : 'write', type, adapter: 'adapter', mode: 'variables', variables, wires: [['out']], ...extra };
}

const lines = 'setpoint = DB10.DD30:KG\n\ndelay=DB10.DW4:KT\nrunning = M20.3\nDB10.DW40:KS8';

test('variables: written by name from an object, read back as an object name -> value', async () => {
  await helper.load(orvanetNodes, onTab([variablesNode('orvanet write', lines), variablesNode('orvanet read', lines, { wires: [['values']] }),
    { id: 'out', type: 'helper' }, { id: 'values', type: 'helper' }]));
  const written = next('out');
  helper.getNode('write').receive({ payload: { setpoint: 12.34567, delay: '1.5s', running: true, 'DB10.DW40:KS8': 'orvanet' } });
  assert.deepStrictEqual((await written).payload.delay, '1.5s', 'the message is passed on');
  assert.deepStrictEqual(await sim.read('D', 10, 60, 4), Buffer.from('0462C3EF', 'hex'));
  const values = next('values');
  helper.getNode('read').receive({ topic: 'kept' });
  const msg = await values;
  assert.deepStrictEqual(msg.payload, { setpoint: 12.345670700073242, delay: 1500, running: true, 'DB10.DW40:KS8': 'orvanet ' });
  assert.strictEqual(msg.topic, 'kept');
  assert.ok(!('failed' in msg));
  // Some of them only.
  helper.getNode('write').receive({ payload: { running: false } });
  await next('out');
  assert.deepStrictEqual([...await sim.read('M', 0, 20, 1)], [0]);
});

test('variables: those that did not read are named in msg.failed and in one error; the others are sent', async () => {
  await sim.write('M', 0, 30, [0, 42]);
  await helper.load(orvanetNodes, flow(variablesNode('orvanet read', 'level = MW30\nmissing = DB9.DW0:KF\nalso = DB9.DW1')));
  const out = next('out');
  const caught = next('caught');
  const status = statusUntil('read', (s) => s.fill === 'yellow');
  helper.getNode('read').receive({});
  const msg = await out;
  assert.deepStrictEqual(msg.payload, { level: 42 });
  assert.deepStrictEqual(Object.keys(msg.failed), ['missing', 'also']);
  assert.strictEqual(msg.failed.missing.code, 'ORVA_ERR_PLC');
  assert.match(msg.failed.missing.message, /^reading DB9\.DW0:KF at 127\.0\.2\.100 failed: the PLC refused/);
  const error = await caught;
  assert.strictEqual(error.error.code, 'ORVA_ERR_PLC');
  assert.match(error.error.message, /^Error: 2 of 3 variables did not read \(missing, also\): reading DB9\.DW0:KF at 127\.0\.2\.100 failed: the PLC refused/);
  assert.deepStrictEqual([error.payload, Object.keys(error.failed)], [{ level: 42 }, ['missing', 'also']]);
  assert.strictEqual((await status).text, '2 of 3 failed: ORVA_ERR_PLC');
});

test('variables: when none read, nothing is sent and the error names the cause', async () => {
  await helper.load(orvanetNodes, flow(variablesNode('orvanet read', 'a = MW0\nb = DB1.DW0'), nobodyAddress));
  let sent = false;
  helper.getNode('out').on('input', () => { sent = true; });
  const caught = next('caught');
  const status = statusUntil('read', (s) => s.fill === 'red');
  helper.getNode('read').receive({});
  const msg = await caught;
  assert.strictEqual(msg.error.code, 'ORVA_ERR_SOCKET');
  assert.match(msg.error.message, /^Error: 2 of 2 variables did not read \(a, b\): reading DB1\.DW0 at 127\.0\.2\.101 failed: socket error 10061/);
  assert.deepStrictEqual(msg.failed.a.code, 'ORVAVARS_ERR_NOT_TRIED');
  assert.strictEqual((await status).text, 'error: ORVA_ERR_SOCKET ORVA_WSAECONNREFUSED');
  assert.strictEqual(sent, false);
});

test('variables: a write refuses unknown names and values that do not fit, before anything is sent; names what was not written', async () => {
  await helper.load(orvanetNodes, flow(variablesNode('orvanet write', 'level = MW30:KF\nswitch = EW0\nmode = MB40')));
  await sim.control.call('clear record');
  const refusals = [
    [{ levels: 1 }, /^TypeError: msg\.payload: no variable is named levels: the node's names are level, switch, mode$/],
    [{ level: 40000 }, /^RangeError: msg\.payload\.level: 40000 does not fit MW30:KF \(-32768\.\.32767\)$/],
    [{ level: 'x' }, /^TypeError: msg\.payload\.level: value "x" for MW30:KF/],
    [[1, 2], /^TypeError: msg\.payload must be an object of name -> value, such as \{ level: 12\.5 \}$/],
    [{}, /^TypeError: msg\.payload has none of the node's names: level, switch, mode$/],
  ];
  for (const [payload, message] of refusals) {
    const caught = next('caught');
    helper.getNode('write').receive({ payload });
    assert.match((await caught).error.message, message);
  }
  assert.deepStrictEqual(await sim.control.call('dts'), [], 'nothing was sent');
  const caught = next('caught');
  helper.getNode('write').receive({ payload: { level: -5, switch: 1 } });
  const msg = await caught;
  assert.strictEqual(msg.error.code, 'ORVA_ERR_AREA');
  assert.match(msg.error.message, /^Error: 1 of 2 variables were not written \(switch\): writing EW0 at 127\.0\.2\.100 failed: area not supported/);
  assert.deepStrictEqual(Object.keys(msg.failed), ['switch']);
  assert.deepStrictEqual(await sim.read('M', 0, 30, 2), Buffer.from('FFFB', 'hex'), 'level was written');
});

test('variables set up wrongly: the node says which lines at deploy, and refuses every message', async () => {
  await helper.load(orvanetNodes, flow(variablesNode('orvanet read', 'a = MW10:KQ\n = MW0\na = MW2\nb =')));
  const status = statusUntil('read', (s) => s.text === 'not set up');
  const caught = next('caught');
  helper.getNode('read').receive({});
  assert.strictEqual((await caught).error.message, 'Error: the variables are not right: line 1: MW10:KQ: unknown format "KQ" at 6; ' +
    'one of KF KH KM KY KC KT KZ KG DH KS; line 2: no name before "="; line 4: no variable after "b ="');
  assert.strictEqual((await status).fill, 'red');
  assert.strictEqual(await sim.accepted(), 0);
});

test('the editor\'s check: each line parsed by liborvavars, the errors by line', async () => {
  await helper.load(orvanetNodes, flow(readNode()));
  const answer = await helper.request().post('/orvanet/variables').send({ text: 'setpoint = DB10.DD30:KG\r\nbad = DB5.D3.16\nsetpoint = MW0\n\nM20.3' }).expect(200);
  assert.deepStrictEqual(answer.body, {
    variables: [{ name: 'setpoint', variable: 'DB10.DD30:KG' }, { name: 'M20.3', variable: 'M20.3' }],
    errors: [{ line: 2, message: 'line 2: DB5.D3.16: the bit 16 at 8 is out of range (0..15)' },
      { line: 3, message: 'line 3: the name setpoint is given on line 1 already' }],
  });
  const empty = await helper.request().post('/orvanet/variables').send({ text: '\n  \n' }).expect(200);
  assert.deepStrictEqual(empty.body.errors, [{ line: 0, message: 'no variables: one a line, name = variable, such as setpoint = DB10.DD30:KG' }]);
});

test('variables on the read node\'s own interval', async () => {
  await sim.write('M', 0, 30, [0, 9]);
  await helper.load(orvanetNodes, flow(variablesNode('orvanet read', 'level = MW30', { interval: 50 })));
  const payloads = [];
  helper.getNode('out').on('input', (msg) => payloads.push(msg.payload));
  await new Promise((resolve) => setTimeout(resolve, 400));
  assert.ok(payloads.length >= 3, `${payloads.length} reads in 400 ms`);
  assert.ok(payloads.every((p) => p.level === 9));
});

test('a hundred redeploys: each closes the adapter\'s connection and ends its thread; no handle or thread is left', async () => {
  const threadsBefore = liveThreads();
  await helper.load(orvanetNodes, flow(variablesNode('orvanet read', 'level = MW30')));
  for (let i = 0; i < 100; i++) {
    const out = next('out');
    helper.getNode('read').receive({});
    await out;
    await helper.setFlows(flow(variablesNode('orvanet read', `level = MW30\nround = MB${i}`)), 'full');
  }
  assert.strictEqual(liveThreads(), threadsBefore, 'every connection\'s thread ended');
  const ends = await sim.waitForEnds(100, 5000);
  assert.ok(ends, 'orvasim saw 100 connections end');
  assert.strictEqual(ends.filter((e) => e === 'reset').length, 100);
  // More redeploys than the library has handles: none was kept.
  const out = next('out');
  helper.getNode('read').receive({});
  assert.deepStrictEqual(Object.keys((await out).payload), ['level', 'round']);
});
