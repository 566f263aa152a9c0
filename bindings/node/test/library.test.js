// SPDX-License-Identifier: Apache-2.0
'use strict';
// Finding liborvanet: the order of the places tried, the one message when
// none works, and the real loader with and without ORVANET_LIBRARY.
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync, spawnSync } = require('child_process');
const path = require('path');
const { findLibrary } = require('../lib/native');
const { OrvaLibraryError } = require('../lib/errors');
const { libraryPath } = require('./support/orvasim');

const packageDir = path.join(__dirname, '..');
// A stand-in for koffi's library object: every function is there.
const fakeLibrary = { func: (prototype) => prototype };

function search(options) {
  const loaded = [];
  const load = (file) => {
    loaded.push(file);
    if (file === options.works) return fakeLibrary;
    throw new Error(`Failed to load shared library: ${file}: cannot open shared object file`);
  };
  let result;
  let error;
  try {
    result = findLibrary({ env: {}, exists: (file) => (options.files || []).includes(file), load, ...options.with });
  } catch (e) {
    error = e;
  }
  return { loaded, result, error };
}

test('Linux: the system search first, then /usr/local/lib, the multiarch and the plain /usr/lib', () => {
  const all = ['/usr/local/lib/liborvanet.so.1', '/usr/lib/x86_64-linux-gnu/liborvanet.so.1', '/usr/lib/liborvanet.so.1'];
  const { loaded, result } = search({ files: all, works: '/usr/lib/liborvanet.so.1', with: { platform: 'linux', arch: 'x64' } });
  assert.deepStrictEqual(loaded, ['liborvanet.so.1', ...all]);
  assert.strictEqual(result.file, '/usr/lib/liborvanet.so.1');
  assert.deepStrictEqual(Object.keys(result.functions), ['ORVAOpen', 'ORVAClose', 'ORVARdB', 'ORVARdW', 'ORVAWrB', 'ORVAWrW', 'ORVAGetSockErr']);
  // A place without the file is not handed to the loader.
  assert.deepStrictEqual(search({ works: 'x', with: { platform: 'linux', arch: 'arm64' } }).loaded, ['liborvanet.so.1']);
});

test('nothing found: one message with what was tried, the bitness and the fix', () => {
  const { error } = search({ files: ['/usr/local/lib/liborvanet.so.1'], with: { platform: 'linux', arch: 'x64' } });
  assert.ok(error instanceof OrvaLibraryError);
  assert.strictEqual(error.code, 'ORVA_LIBRARY_NOT_FOUND');
  for (const part of ['ORVANET_LIBRARY: not set',
    "liborvanet.so.1 (the system's search: LD_LIBRARY_PATH",
    '/usr/local/lib/liborvanet.so.1 (the CMake install\'s location): /usr/local/lib/liborvanet.so.1: cannot open shared object file',
    "/usr/lib/x86_64-linux-gnu/liborvanet.so.1 (the Debian package's location): no such file",
    '/usr/lib/liborvanet.so.1 (the plain library folder): no such file',
    'a 64-bit process on linux (x64): it needs the 64-bit liborvanet.so.1',
    'install the liborvanet1 package', 'cmake --install', 'set ORVANET_LIBRARY to the full path of liborvanet.so.1']) {
    assert.ok(error.message.includes(part), `the message has ${JSON.stringify(part)}:\n${error.message}`);
  }
  assert.ok(!error.message.includes('Failed to load shared library'), 'the loader\'s prefix is not repeated');
});

test('Windows: beside the package, then the system search; a 32-bit process needs the 32-bit DLL', () => {
  const beside = path.join(packageDir, 'orvanet.dll');
  const { loaded, error } = search({ files: [beside], with: { platform: 'win32', arch: 'ia32', packageDir } });
  assert.deepStrictEqual(loaded, [beside, 'orvanet.dll']);
  assert.match(error.message, /32-bit process on win32 \(ia32\): it needs the 32-bit orvanet\.dll/);
  assert.match(error.message, /orvanet\.dll beside the package or on PATH/);
});

test('ORVANET_LIBRARY: the only place tried, named with its value in the message', () => {
  const env = { ORVANET_LIBRARY: '/opt/plc/liborvanet.so.1' };
  const missing = search({ with: { env, platform: 'linux', arch: 'x64' } });
  assert.deepStrictEqual(missing.loaded, []);
  assert.match(missing.error.message, /ORVANET_LIBRARY=\/opt\/plc\/liborvanet\.so\.1: no such file/);
  assert.match(missing.error.message, /nothing else is tried while ORVANET_LIBRARY is set/);
  assert.match(missing.error.message, /or unset it/);
  const found = search({ files: [env.ORVANET_LIBRARY], works: env.ORVANET_LIBRARY, with: { env, platform: 'linux', arch: 'x64' } });
  assert.strictEqual(found.result.file, env.ORVANET_LIBRARY);
});

test('the real loader: a file that is no library, and a library that is not liborvanet', () => {
  const notLibrary = findLibraryError({ ORVANET_LIBRARY: __filename });
  assert.ok(notLibrary.message.includes(`ORVANET_LIBRARY=${__filename}: `), notLibrary.message);
  assert.match(notLibrary.message, /invalid ELF header|file too short/);

  const libc = execFileSync('/bin/sh', ['-c', 'ldd /bin/sh | awk \'/libc\\.so/ { print $3 }\''], { encoding: 'utf8' }).trim();
  const wrong = findLibraryError({ ORVANET_LIBRARY: libc });
  assert.match(wrong.message, /was loaded but is not liborvanet: it has no ORVAOpen/);
});

function findLibraryError(env) {
  try {
    findLibrary({ env });
  } catch (error) {
    assert.ok(error instanceof OrvaLibraryError);
    return error;
  }
  assert.fail('the library was loaded');
}

// A Node.js of its own for each case, so that the environment is the one it starts with.
function run(env, script) {
  const base = { PATH: process.env.PATH };
  return spawnSync(process.execPath, ['-e', script], { cwd: packageDir, env: { ...base, ...env }, encoding: 'utf8' });
}

test('without ORVANET_LIBRARY the system search finds liborvanet.so.1 on LD_LIBRARY_PATH', () => {
  const child = run({ LD_LIBRARY_PATH: path.dirname(libraryPath) }, "const o = require('.'); console.log(o.libraryPath()); o.connect('127.0.2.99').close().then(() => console.log('closed'))");
  assert.strictEqual(child.status, 0, child.stderr);
  assert.strictEqual(child.stdout, 'liborvanet.so.1\nclosed\n');
});

test('connect() throws the OrvaLibraryError itself, with nothing but its message', () => {
  const child = run({ ORVANET_LIBRARY: '/nonexistent/liborvanet.so.1' },
    "try { require('.').connect('127.0.2.99') } catch (e) { console.log(e.name, e instanceof require('.').OrvaLibraryError); console.log(e.message) }");
  assert.strictEqual(child.status, 0, child.stderr);
  assert.match(child.stdout, /^OrvaLibraryError true\norvanet: the native library liborvanet\.so\.1 could not be loaded\. Tried:\n {2}- ORVANET_LIBRARY=\/nonexistent\/liborvanet\.so\.1: no such file\n/);
});
