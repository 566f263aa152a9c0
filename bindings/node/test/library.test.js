// SPDX-License-Identifier: Apache-2.0
'use strict';
// Finding liborvanet and liborvavars: the order of the places tried for
// each (liborvavars first beside the liborvanet that was loaded), the one
// message naming both when either does not load, and the real loader with
// and without the two variables.
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync, spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { findLibraries } = require('../lib/native');
const { OrvaLibraryError } = require('../lib/errors');
const { libraryPath, varsLibraryPath } = require('./support/orvasim');

const packageDir = path.join(__dirname, '..');
// A stand-in for koffi's library object: every function is there.
const fakeLibrary = { func: (prototype) => prototype };

// findLibraries with a loader that loads only the files in works and sees only those in files.
function search({ files = [], works = [], env = {}, platform = 'linux', arch = 'x64', folderOf = () => null, packageDir: dir = packageDir }) {
  const loaded = [];
  const load = (file) => {
    loaded.push(file);
    if (works.includes(file)) return fakeLibrary;
    throw new Error(`Failed to load shared library: ${file}: cannot open shared object file`);
  };
  let result;
  let error;
  try {
    result = findLibraries({ env, exists: (file) => files.includes(file), load, platform, arch, folderOf, packageDir: dir });
  } catch (e) {
    error = e;
  }
  return { loaded, result, error };
}

const installed = (name) => [`/usr/local/lib/${name}`, `/usr/lib/x86_64-linux-gnu/${name}`, `/usr/lib/${name}`];

test('Linux: liborvanet by the system search, /usr/local/lib, the multiarch and the plain /usr/lib; liborvavars first beside it', () => {
  const files = [...installed('liborvanet.so.1'), ...installed('liborvavars.so.1')];
  const { loaded, result } = search({ files, works: ['/usr/lib/liborvanet.so.1', '/usr/lib/x86_64-linux-gnu/liborvavars.so.1'] });
  // liborvavars beside /usr/lib/liborvanet.so.1 first, and that place only once.
  assert.deepStrictEqual(loaded, ['liborvanet.so.1', ...installed('liborvanet.so.1'),
    '/usr/lib/liborvavars.so.1', 'liborvavars.so.1', '/usr/local/lib/liborvavars.so.1', '/usr/lib/x86_64-linux-gnu/liborvavars.so.1']);
  assert.deepStrictEqual(result.files, { orvanet: '/usr/lib/liborvanet.so.1', orvavars: '/usr/lib/x86_64-linux-gnu/liborvavars.so.1' });
  assert.deepStrictEqual(Object.keys(result.orvanet), ['ORVAOpen', 'ORVAClose', 'ORVARdB', 'ORVARdW', 'ORVAWrB', 'ORVAWrW', 'ORVAGetSockErr']);
  assert.strictEqual(Object.keys(result.orvavars).length, 24);

  const beside = search({ files: ['/opt/plc/liborvanet.so.1', '/opt/plc/liborvavars.so.1'], works: ['/opt/plc/liborvanet.so.1', '/opt/plc/liborvavars.so.1'],
    env: { ORVANET_LIBRARY: '/opt/plc/liborvanet.so.1' } });
  assert.deepStrictEqual(beside.loaded, ['/opt/plc/liborvanet.so.1', '/opt/plc/liborvavars.so.1']);
  // Loaded by the system's search, liborvanet's folder is where the process has it mapped.
  const byName = search({ files: ['/srv/lib/liborvavars.so.1'], works: ['liborvanet.so.1', '/srv/lib/liborvavars.so.1'],
    folderOf: (name) => (name === 'liborvanet.so.1' ? '/srv/lib' : null) });
  assert.deepStrictEqual(byName.loaded, ['liborvanet.so.1', '/srv/lib/liborvavars.so.1']);
});

test('nothing found: one message naming both files, each place tried for each, the bitness and the fix', () => {
  const { error } = search({ files: ['/usr/local/lib/liborvanet.so.1'] });
  assert.ok(error instanceof OrvaLibraryError);
  assert.strictEqual(error.code, 'ORVA_LIBRARY_NOT_FOUND');
  assert.strictEqual(error.message, [
    'orvanet: the native libraries liborvanet.so.1 and liborvavars.so.1 could not both be loaded.',
    'liborvanet.so.1, tried:',
    '  - ORVANET_LIBRARY: not set',
    "  - liborvanet.so.1 (the system's search: LD_LIBRARY_PATH, the ld.so cache, /lib, /usr/lib): liborvanet.so.1: cannot open shared object file",
    "  - /usr/local/lib/liborvanet.so.1 (the CMake install's location): /usr/local/lib/liborvanet.so.1: cannot open shared object file",
    "  - /usr/lib/x86_64-linux-gnu/liborvanet.so.1 (the Debian package's location): no such file",
    '  - /usr/lib/liborvanet.so.1 (the plain library folder): no such file',
    'liborvavars.so.1, tried:',
    '  - nothing: it needs liborvanet.so.1, which did not load',
    'This Node.js is a 64-bit process on linux (x64): it needs the 64-bit liborvanet.so.1 and liborvavars.so.1.',
    'Fix: `cmake --install` a build of orvanet, which installs both (then run ldconfig),',
    '     or set ORVANET_LIBRARY and ORVAVARS_LIBRARY to the full paths of liborvanet.so.1 and liborvavars.so.1.',
  ].join('\n'));

  const { error: varsMissing } = search({ files: ['/usr/local/lib/liborvanet.so.1'], works: ['/usr/local/lib/liborvanet.so.1'], arch: 'arm64' });
  for (const part of ['liborvanet.so.1 (loaded from /usr/local/lib/liborvanet.so.1), tried:',
    "/usr/local/lib/liborvanet.so.1 (the CMake install's location): loaded\nliborvavars.so.1, tried:\n  - ORVAVARS_LIBRARY: not set\n",
    '/usr/local/lib/liborvavars.so.1 (beside the liborvanet.so.1 that was loaded): no such file',
    "liborvavars.so.1 (the system's search", '/usr/lib/aarch64-linux-gnu/liborvavars.so.1 (the Debian package\'s location): no such file']) {
    assert.ok(varsMissing.message.includes(part), `the message has ${JSON.stringify(part)}:\n${varsMissing.message}`);
  }
  assert.ok(!varsMissing.message.includes('Failed to load shared library'), 'the loader\'s prefix is not repeated');
});

test('Windows: both beside the package, then the system search; a 32-bit process needs the 32-bit DLLs', () => {
  const dir = 'C:\\apps\\node_modules\\orvanet';
  const netDll = path.join(dir, 'orvanet.dll');
  const varsDll = path.join(dir, 'orvavars.dll');
  const { loaded, result } = search({ files: [netDll, varsDll], works: [netDll, varsDll], platform: 'win32', arch: 'ia32', packageDir: dir });
  assert.deepStrictEqual(loaded, [netDll, varsDll], 'the package folder once for orvavars.dll');
  assert.deepStrictEqual(result.files, { orvanet: netDll, orvavars: varsDll });
  const { error } = search({ files: [netDll], works: [netDll], platform: 'win32', arch: 'ia32', packageDir: dir });
  assert.match(error.message, /32-bit process on win32 \(ia32\): it needs the 32-bit orvanet\.dll and orvavars\.dll/);
  assert.match(error.message, /orvavars\.dll \(the system's search: the program's folder, the system folders, PATH\): /);
  assert.match(error.message, /Fix: put the 32-bit orvanet\.dll and orvavars\.dll beside the package or on PATH/);
});

test('ORVANET_LIBRARY and ORVAVARS_LIBRARY: the only place tried for each, named with its value', () => {
  const env = { ORVANET_LIBRARY: '/opt/a/liborvanet.so.1', ORVAVARS_LIBRARY: '/opt/b/liborvavars.so.1' };
  const missing = search({ env, files: [env.ORVANET_LIBRARY], works: [env.ORVANET_LIBRARY] });
  assert.deepStrictEqual(missing.loaded, [env.ORVANET_LIBRARY]);
  assert.match(missing.error.message, /ORVAVARS_LIBRARY=\/opt\/b\/liborvavars\.so\.1: no such file\n {2}- nothing else is tried while ORVAVARS_LIBRARY is set/);
  assert.match(missing.error.message, /or unset them to use the installed libraries/);
  const found = search({ env, files: Object.values(env), works: Object.values(env) });
  assert.deepStrictEqual(found.result.files, { orvanet: env.ORVANET_LIBRARY, orvavars: env.ORVAVARS_LIBRARY });
});

test('the real loader: a file that is no library, and libraries that are not the ones asked for', () => {
  const notLibrary = findLibraryError({ ORVANET_LIBRARY: __filename });
  assert.ok(notLibrary.message.includes(`ORVANET_LIBRARY=${__filename}: `), notLibrary.message);
  assert.match(notLibrary.message, /invalid ELF header|file too short/);

  const libc = execFileSync('/bin/sh', ['-c', 'ldd /bin/sh | awk \'/libc\\.so/ { print $3 }\''], { encoding: 'utf8' }).trim();
  assert.match(findLibraryError({ ORVANET_LIBRARY: libc }).message, /was loaded but is not liborvanet: it has no ORVAOpen/);
  const swapped = findLibraryError({ ORVANET_LIBRARY: libraryPath, ORVAVARS_LIBRARY: libraryPath });
  assert.match(swapped.message, /was loaded but is not liborvavars: it has no ORVAVarsParse/);
});

function findLibraryError(env) {
  try {
    findLibraries({ env });
  } catch (error) {
    assert.ok(error instanceof OrvaLibraryError);
    return error;
  }
  assert.fail('the libraries were loaded');
}

// A Node.js of its own for each case, so that the environment is the one it starts with.
function run(env, script) {
  const base = { PATH: process.env.PATH };
  return spawnSync(process.execPath, ['-e', script], { cwd: packageDir, env: { ...base, ...env }, encoding: 'utf8' });
}

const showPaths = "const o = require('.'); console.log(o.libraryPath()); console.log(o.varsLibraryPath()); " +
  "o.connect('127.0.2.99').close().then(() => console.log('closed'))";

test('without the variables: the system search finds both on LD_LIBRARY_PATH', () => {
  const child = run({ LD_LIBRARY_PATH: `${path.dirname(libraryPath)}:${path.dirname(varsLibraryPath)}` }, showPaths);
  assert.strictEqual(child.status, 0, child.stderr);
  assert.strictEqual(child.stdout, 'liborvanet.so.1\nliborvavars.so.1\nclosed\n');
});

test('liborvavars beside the liborvanet that was loaded, by path or by the system search', (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orvanet-libs-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  fs.copyFileSync(libraryPath, path.join(dir, 'liborvanet.so.1'));
  fs.copyFileSync(varsLibraryPath, path.join(dir, 'liborvavars.so.1'));
  const byPath = run({ ORVANET_LIBRARY: path.join(dir, 'liborvanet.so.1') }, showPaths);
  assert.strictEqual(byPath.stdout, `${dir}/liborvanet.so.1\n${dir}/liborvavars.so.1\nclosed\n`, byPath.stderr);
  // Found by name, liborvanet's folder is read from the process's mappings.
  const byName = run({ LD_LIBRARY_PATH: dir }, showPaths);
  assert.strictEqual(byName.stdout, `liborvanet.so.1\n${dir}/liborvavars.so.1\nclosed\n`, byName.stderr);
});

test('connect() throws the OrvaLibraryError itself, with nothing but its message', () => {
  const child = run({ ORVANET_LIBRARY: '/nonexistent/liborvanet.so.1' },
    "try { require('.').connect('127.0.2.99') } catch (e) { console.log(e.name, e instanceof require('.').OrvaLibraryError); console.log(e.message) }");
  assert.strictEqual(child.status, 0, child.stderr);
  assert.match(child.stdout, /^OrvaLibraryError true\norvanet: the native libraries liborvanet\.so\.1 and liborvavars\.so\.1 could not both be loaded\.\n/);
  assert.match(child.stdout, /\n {2}- ORVANET_LIBRARY=\/nonexistent\/liborvanet\.so\.1: no such file\n/);
});
