// SPDX-License-Identifier: Apache-2.0
'use strict';
// The example flows in a real Node-RED, installed as a user installs it, run
// against orvasim, and a picture of the editor with the values in the debug
// sidebar, taken with Debian's headless Chromium; then the edit dialogs: a
// range's fields, and a wrong variable shown by its line before deploy:
//   node --test test/editor-screenshot.js      (needs /usr/bin/chromium)
// The picture goes to $ORVA_SCREENSHOT, or node-red-flow.png in the build folder;
// the variables' edit dialog with a wrong line beside it (-variables.png).
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync, spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');
const { Orvasim, bigEndian, buildDir } = require('../../node/test/support/orvasim');
const { settingsFile } = require('./support/settings');

const address = '127.0.2.150';
const port = 1880;
const editor = `http://${address}:${port}/`;
const packageDir = path.join(__dirname, '..');
const examples = ['Read a data block every second.json', 'Read and write variables.json'].map((name) => path.join(packageDir, 'examples', name));
const screenshot = process.env.ORVA_SCREENSHOT || path.join(buildDir, 'node-red-flow.png');
const values = [16706, 1234, 500, 0x524F, 7, 0, 65535, 42, 2024, 1];
// Flags that keep Chromium from reaching out of this machine.
const chromiumFlags = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
  '--disable-component-update', '--disable-sync'];

// Starts Node-RED and waits for its editor to be served.
async function startNodeRed(userDir) {
  const red = require.resolve('node-red/red.js');
  const child = spawn(process.execPath, [red, '--settings', path.join(userDir, 'settings.js')], { stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`Node-RED did not start:\n${output}`)), 30000);
    const seen = (chunk) => {
      output += chunk;
      if (output.includes('Server now running at')) { clearTimeout(timer); resolve(); }
    };
    child.stdout.on('data', seen);
    child.stderr.on('data', seen);
    child.once('exit', (code) => { clearTimeout(timer); reject(new Error(`Node-RED ended (${code}):\n${output}`)); });
  });
  return { child, output: () => output };
}

test('the example flows read and write orvasim, shown in the Node-RED editor; a wrong variable is shown before deploy', { timeout: 120000 }, async (t) => {
  const sim = await Orvasim.start(address);
  t.after(() => sim.stop());
  await sim.write('D', 5, 0, bigEndian(values));

  // Installed into a user directory of its own, as docs/node-red.md says.
  const userDir = fs.mkdtempSync(path.join(os.tmpdir(), 'orvanet-node-red-'));
  t.after(() => fs.rmSync(userDir, { recursive: true, force: true }));
  // Both packages named: npm 9.2 (Debian 12's) would look for file:../node beside the copy it installs.
  execFileSync('npm', ['install', '--install-links', '--prefer-offline', '--no-audit', '--no-fund', '--loglevel=error',
    path.join(packageDir, '..', 'node'), packageDir],
    { cwd: userDir, stdio: 'inherit' });
  fs.writeFileSync(path.join(userDir, 'settings.js'), settingsFile(address, port, userDir));

  const red = await startNodeRed(userDir);
  t.after(async () => {
    const ended = new Promise((resolve) => red.child.once('exit', resolve));
    red.child.kill('SIGINT');
    await ended;
  });
  assert.match(red.output(), /Node-RED version/);
  // The examples are offered by the editor's import menu.
  const offered = await (await fetch(`${editor}library/examples/flows/node-red-contrib-orvanet`)).text();
  assert.ok(offered.includes('Read a data block every second') && offered.includes('Read and write variables'), offered);

  // Both examples, each on a tab of its own, with the adapters' address that of this orvasim.
  const flows = examples.map((file) => JSON.parse(fs.readFileSync(file, 'utf8')));
  for (const nodes of flows) {
    const tabs = nodes.filter((n) => n.type === 'tab');
    assert.strictEqual(tabs.length, 1, 'an example brings its tab');
    assert.ok(nodes.every((n) => n.z === undefined || n.z === tabs[0].id), 'every node of an example is on its tab');
    const adapter = nodes.find((n) => n.type === 'orvanet-adapter');
    assert.strictEqual(adapter.address, '127.0.0.1', 'the example reads the orvasim of docs/node-red.md');
    adapter.address = address;
  }
  const readId = flows[0].find((n) => n.type === 'orvanet read').id;
  const variablesReadId = flows[1].find((n) => n.type === 'orvanet read').id;
  const deployed = await fetch(`${editor}flows`, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', 'Node-RED-Deployment-Type': 'full' },
    body: JSON.stringify(flows.flat()),
  });
  assert.strictEqual(deployed.status, 204, await deployed.text());

  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: chromiumFlags });
  t.after(() => browser.close());
  const page = await browser.newPage({ viewport: { width: 1400, height: 540 } });
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(error.message));
  await page.goto(editor);
  await page.waitForSelector('#red-ui-workspace-chart .red-ui-flow-node', { timeout: 30000 });
  await page.evaluate(() => window.RED.sidebar.show('debug'));
  // The palette filtered to the package's nodes.
  await page.locator('#red-ui-palette-search input').pressSequentially('orvanet');
  await page.locator('.red-ui-palette-node[data-palette-type="inject"]').waitFor({ state: 'hidden', timeout: 5000 });
  await page.locator('.red-ui-palette-node[data-palette-type="orvanet read"]').waitFor({ state: 'visible', timeout: 5000 });
  // The variables written once, then read every second, in the sidebar.
  await page.locator('.red-ui-debug-msg', { hasText: 'setpoint' }).first().waitFor({ timeout: 15000 });
  assert.deepStrictEqual(await sim.read('D', 10, 60, 4), Buffer.from('0462C3EF', 'hex'), 'the write node wrote the set point');
  const variablesText = await page.locator('.red-ui-debug-msg', { hasText: 'setpoint' }).first().innerText();
  for (const part of ['variables', 'setpoint', 'delay', 'running']) assert.ok(variablesText.includes(part), `the sidebar shows ${part}:\n${variablesText}`);
  // Two rounds of values of the data block in the sidebar, read from orvasim through the flow.
  const messages = page.locator('.red-ui-debug-msg', { hasText: 'DB 5 DW0' });
  await messages.nth(1).waitFor({ timeout: 15000 });
  const first = await messages.first().innerText();
  assert.match(first, /values/);
  assert.match(first, /DB 5 DW0/);
  assert.match(first, /array\[10\]/);
  await messages.first().locator('.red-ui-debug-msg-object-handle').first().click();
  // Away from the message, which highlights its node while the pointer is on it.
  await page.mouse.move(700, 500);
  const expanded = await messages.first().innerText();
  for (const v of values) assert.ok(expanded.includes(String(v)), `the sidebar shows ${v}:\n${expanded}`);
  assert.ok(await sim.accepted() >= 1);
  const names = await page.locator('#red-ui-workspace-chart .red-ui-flow-node-label').allTextContents();
  for (const label of ['every second', 'read DB5: 10 words from 0', 'values', 'read failed', 'errors']) {
    assert.ok(names.some((n) => n.includes(label)), `the workspace shows ${label}: ${names}`);
  }
  // The read node's status under it.
  const statuses = await page.locator('#red-ui-workspace-chart .red-ui-flow-node-status-label').allTextContents();
  assert.ok(statuses.includes('connected'), `statuses: ${statuses}`);

  fs.mkdirSync(path.dirname(screenshot), { recursive: true });
  await page.screenshot({ path: screenshot });
  const png = fs.readFileSync(screenshot);
  assert.strictEqual(png.toString('latin1', 1, 4), 'PNG');
  assert.deepStrictEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [1400, 540]);
  console.log(`editor screenshot: ${screenshot}`);

  // The range read node's edit dialog: a flow saved before variables shows its range, the block shown
  // for DB, bytes offered only for A, E and M.
  await page.evaluate((id) => window.RED.editor.edit(window.RED.nodes.node(id)), readId);
  await page.locator('#node-input-area').waitFor({ state: 'visible' });
  assert.strictEqual(await page.inputValue('#node-input-mode'), 'range');
  assert.ok(!(await page.locator('#node-input-variables').isVisible()));
  assert.strictEqual(await page.inputValue('#node-input-area'), 'DB');
  assert.ok(await page.locator('.orvanet-row-db').isVisible());
  assert.ok(await page.locator("#node-input-unit option[value='bytes']").isDisabled());
  await page.selectOption('#node-input-area', 'M');
  assert.ok(!(await page.locator('.orvanet-row-db').isVisible()));
  assert.ok(await page.locator("#node-input-unit option[value='bytes']").isEnabled());
  await page.click('#node-dialog-cancel');
  await page.locator('#node-input-area').waitFor({ state: 'detached' });

  // The write node's dialog: the read node's form without Count and Every.
  const writeId = flows[1].find((n) => n.type === 'orvanet write').id;
  await page.evaluate((id) => window.RED.editor.edit(window.RED.nodes.node(id)), writeId);
  await page.locator('#node-input-variables').waitFor({ state: 'visible' });
  assert.strictEqual((await page.locator('label[for="node-input-mode"]').innerText()).trim(), 'Write');
  assert.strictEqual(await page.inputValue('#node-input-mode'), 'variables');
  assert.strictEqual(await page.locator('#node-input-start').count(), 1);
  assert.strictEqual(await page.locator('#node-input-count, #node-input-interval').count(), 0);
  assert.strictEqual(await page.locator('.orvanet-variables-errors').innerText(), '', 'the example\'s lines are right');
  await page.click('#node-dialog-cancel');
  await page.locator('#node-input-variables').waitFor({ state: 'detached' });

  // The variables read node's dialog: a wrong line is shown as the runtime's liborvavars reads it, the
  // node is marked before deploy, and deploying asks first.
  await page.evaluate((id) => window.RED.editor.edit(window.RED.nodes.node(id)), variablesReadId);
  await page.locator('#node-input-variables').waitFor({ state: 'visible' });
  assert.strictEqual(await page.inputValue('#node-input-mode'), 'variables');
  assert.ok(!(await page.locator('#node-input-area').isVisible()));
  assert.strictEqual(await page.locator('.orvanet-variables-errors').innerText(), '', 'the example\'s lines are right');
  await page.fill('#node-input-variables', 'setpoint = DB10.DD30:KG\nbad = MW10:KQ');
  const shown = page.locator('.orvanet-variables-errors div');
  await shown.first().waitFor({ timeout: 5000 });
  assert.deepStrictEqual(await shown.allInnerTexts(), ['line 2: MW10:KQ: unknown format "KQ" at 6; one of KF KH KM KY KC KT KZ KG DH KS']);
  assert.ok(await page.locator('#node-input-variables.input-error').isVisible());
  const dialogPicture = screenshot.replace(/\.png$/, '-variables.png');
  await page.screenshot({ path: dialogPicture });
  console.log(`edit dialog screenshot: ${dialogPicture}`);
  await page.click('#node-dialog-ok');
  await page.locator('#node-input-variables').waitFor({ state: 'detached' });
  await page.waitForFunction((id) => window.RED.nodes.node(id).valid === false, variablesReadId, { timeout: 5000 });
  await page.click('#red-ui-header-button-deploy');
  const warning = page.locator('.red-ui-notification', { hasText: 'not properly configured' });
  await warning.waitFor({ timeout: 5000 });
  assert.match(await warning.innerText(), /read 2 variables \(orvanet read\)/);
  await warning.locator('button', { hasText: 'Cancel' }).click();
  const running = await (await fetch(`${editor}flows`)).json();
  assert.strictEqual(running.find((n) => n.id === variablesReadId).variables, flows[1].find((n) => n.id === variablesReadId).variables,
    'nothing was deployed');
  assert.deepStrictEqual(pageErrors, [], 'the editor ran the nodes\' code without an error');
});
