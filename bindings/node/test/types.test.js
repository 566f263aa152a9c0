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

// The members a class of index.d.ts declares.
function declaredMembers(declarations, name) {
  const start = declarations.indexOf(`export class ${name}`);
  const body = declarations.slice(start, declarations.indexOf('\n}', start));
  return [...body.matchAll(/^ {2}(?:readonly )?(\w+)[(:?]/gm)].map((m) => m[1]).filter((n) => n !== 'constructor').sort();
}

// What a class has: its prototype's methods and getters, and the properties each object gets.
function actualMembers(cls, own) {
  return [...Object.keys(Object.getOwnPropertyDescriptors(cls.prototype)).filter((n) => n !== 'constructor'), ...own].sort();
}

test('every export is declared, and every declaration exported; the classes\' members too', () => {
  const declarations = fs.readFileSync(path.join(packageDir, 'index.d.ts'), 'utf8');
  const declared = [...new Set([...declarations.matchAll(/^export (?:function|class|const) (\w+)/gm)].map((m) => m[1]))].sort();
  assert.deepStrictEqual(declared, Object.keys(orvanet).sort());
  assert.deepStrictEqual(declaredMembers(declarations, 'Connection'),
    actualMembers(orvanet.Connection, ['address', 'ownTsap', 'plcTsap', 'receiveTimeoutMs', 'sendTimeoutMs', 'connectTimeoutMs']));
  assert.deepStrictEqual(declaredMembers(declarations, 'VarList'), actualMembers(orvanet.VarList, ['variables', 'plan']));
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
