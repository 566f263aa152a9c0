// SPDX-License-Identifier: Apache-2.0
'use strict';
// index.d.ts: declares what index.js exports, and type-checks a user's code.
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const orvanet = require('..');

const packageDir = path.join(__dirname, '..');

test('every export is declared, and every declaration exported', () => {
  const declarations = fs.readFileSync(path.join(packageDir, 'index.d.ts'), 'utf8');
  const declared = [...declarations.matchAll(/^export (?:function|class|const) (\w+)/gm)].map((m) => m[1]).sort();
  assert.deepStrictEqual(declared, Object.keys(orvanet).sort());
  const classBody = declarations.slice(declarations.indexOf('export class Connection'), declarations.indexOf('\n}', declarations.indexOf('export class Connection')));
  const members = [...classBody.matchAll(/^ {2}(?:readonly )?(\w+)[(:]/gm)].map((m) => m[1]).filter((n) => n !== 'constructor').sort();
  const descriptors = Object.getOwnPropertyDescriptors(orvanet.Connection.prototype);
  const own = ['address', 'ownTsap', 'plcTsap', 'receiveTimeoutMs', 'sendTimeoutMs', 'connectTimeoutMs'];
  assert.deepStrictEqual(members, [...Object.keys(descriptors).filter((n) => n !== 'constructor'), ...own].sort());
});

test('a user\'s TypeScript type-checks with tsc --strict, and its marked mistakes do not', () => {
  const tsc = require.resolve('typescript/bin/tsc');
  try {
    execFileSync(process.execPath, [tsc, '--noEmit', '--strict', '--target', 'es2022', '--lib', 'es2022', '--module', 'commonjs', '--types', 'node',
      path.join(__dirname, 'types', 'usage.ts')], { cwd: packageDir, encoding: 'utf8' });
  } catch (error) {
    assert.fail(`tsc found errors:\n${error.stdout}${error.stderr}`);
  }
});
