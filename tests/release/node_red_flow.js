// SPDX-License-Identifier: Apache-2.0
// Node-RED with the packages a user installed into USER_DIR, headless on
// 127.0.0.1:PORT: the example flow FLOW deployed through the admin API (its
// debug nodes also to the log), and its values seen arriving from the orvasim
// on 127.0.0.1, which holds WORDS in DB5.DW0 on; then Node-RED is stopped.
//   node node_red_flow.js RED_JS USER_DIR PORT FLOW WORDS   (WORDS: 4711,4712)
// Ends with "node-red flow: values arrived" or fails saying what it saw.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');
const { settingsFile } = require('../../bindings/node-red/test/support/settings');

const [redJs, userDir, port, flowFile, words] = process.argv.slice(2);
const editor = `http://127.0.0.1:${port}/`;
const expected = words.split(',').map(Number);

function fail(message, output) {
  console.error(`FAIL: ${message}\n--- Node-RED's output:\n${output}`);
  process.exitCode = 1;
}

async function main() {
  fs.writeFileSync(path.join(userDir, 'settings.js'), settingsFile('127.0.0.1', port, userDir));
  const red = spawn(process.execPath, [redJs, '--settings', path.join(userDir, 'settings.js')],
    { cwd: userDir, stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  const waiters = [];
  const seen = (chunk) => {
    output += chunk;
    for (const w of waiters.slice()) if (w.test(output)) { waiters.splice(waiters.indexOf(w), 1); w.resolve(); }
  };
  red.stdout.on('data', seen);
  red.stderr.on('data', seen);
  const ended = new Promise((resolve) => red.once('exit', resolve));
  // Resolves once the output matches TEST, or rejects after MS.
  const waitFor = (test, ms, what) => new Promise((resolve, reject) => {
    if (test(output)) { resolve(); return; }
    const timer = setTimeout(() => reject(new Error(`no ${what} within ${ms} ms`)), ms);
    waiters.push({ test, resolve: () => { clearTimeout(timer); resolve(); } });
    ended.then((code) => { clearTimeout(timer); reject(new Error(`Node-RED ended (${code}) before ${what}`)); });
  });
  try {
    await waitFor((o) => o.includes('Server now running at'), 30000, 'start');
    // The palette: the package's nodes are registered, with nothing missing.
    const nodes = await (await fetch(`${editor}nodes`, { headers: { Accept: 'application/json' } })).json();
    const ours = nodes.filter((n) => n.module === 'node-red-contrib-orvanet');
    if (ours.length === 0 || ours.some((n) => !n.enabled || n.err)) {
      fail(`node-red-contrib-orvanet is not in the palette: ${JSON.stringify(ours)}`, output);
      return;
    }
    // The example as the user imports it; the debug nodes also to the log.
    const flow = JSON.parse(fs.readFileSync(flowFile, 'utf8'));
    for (const n of flow) if (n.type === 'debug') n.console = true;
    const deployed = await fetch(`${editor}flows`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', 'Node-RED-Deployment-Type': 'full' },
      body: JSON.stringify(flow),
    });
    if (!deployed.ok) { fail(`POST /flows: ${deployed.status} ${await deployed.text()}`, output); return; }
    // Two rounds of the inject node's reads, with the words orvasim holds.
    const values = new RegExp(`\\[debug:values\\][^\\[]*\\[\\s*${expected.join(',\\s*')},`, 'g');
    await waitFor((o) => (o.match(values) || []).length >= 2, 20000, 'two reads of the values');
    if (/\[debug:errors\]|Waiting for missing types|Cannot find module/.test(output)) {
      fail('the flow reported errors', output);
      return;
    }
    console.log(`node-red flow: ${ours.map((n) => n.types.join(' ')).join(' ')} registered; values arrived`);
    console.log(output.match(values)[0].replace(/\s+/g, ' '));
  } catch (e) {
    fail(e.message, output);
  } finally {
    red.kill('SIGINT');
    await ended;
  }
}

main();
