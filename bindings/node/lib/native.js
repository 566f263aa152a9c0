// SPDX-License-Identifier: Apache-2.0
'use strict';
// Finds and loads liborvanet and declares its seven functions through koffi.
const fs = require('fs');
const path = require('path');
const { OrvaLibraryError } = require('./errors');

// The header's prototypes; __stdcall is what the Windows DLL uses and is
// ignored everywhere else. test/header.test.js holds them to the header.
const prototypes = Object.freeze([
  'int __stdcall ORVAOpen(const char *ipAddress, const char *ownTsap, const char *plcTsap, int receiveTimeoutMs, int sendTimeoutMs, int connectTimeoutMs)',
  'int __stdcall ORVAClose(int handle)',
  'int __stdcall ORVARdB(int handle, int areaLetter, int dbNumber, int start, int count, _Out_ unsigned char *buffer)',
  'int __stdcall ORVARdW(int handle, int areaLetter, int dbNumber, int start, int count, _Out_ unsigned short *buffer)',
  'int __stdcall ORVAWrB(int handle, int areaLetter, int dbNumber, int start, int count, const unsigned char *buffer)',
  'int __stdcall ORVAWrW(int handle, int areaLetter, int dbNumber, int start, int count, const unsigned short *buffer)',
  'int __stdcall ORVAGetSockErr(int handle)',
]);

// Debian's multiarch folder under /usr/lib for each Node.js architecture.
const multiarch = {
  x64: 'x86_64-linux-gnu',
  arm64: 'aarch64-linux-gnu',
  ia32: 'i386-linux-gnu',
  arm: 'arm-linux-gnueabihf',
  riscv64: 'riscv64-linux-gnu',
  ppc64: 'powerpc64le-linux-gnu',
  s390x: 's390x-linux-gnu',
};
const bits32 = new Set(['ia32', 'arm', 'mips', 'mipsel', 'ppc']);

// The places to try, in order: { file, how, byName }. byName: handed to the
// system's loader as a bare name (its own search), not checked for existence.
function candidates(platform, arch, packageDir) {
  if (platform === 'win32') {
    return [
      { file: path.join(packageDir, 'orvanet.dll'), how: 'beside the package' },
      { file: 'orvanet.dll', how: "the system's search: the program's folder, the system folders, PATH", byName: true },
    ];
  }
  const name = 'liborvanet.so.1';
  const list = [{ file: name, how: "the system's search: LD_LIBRARY_PATH, the ld.so cache, /lib, /usr/lib", byName: true },
    { file: `/usr/local/lib/${name}`, how: "the CMake install's location" }];
  if (multiarch[arch]) list.push({ file: `/usr/lib/${multiarch[arch]}/${name}`, how: "the Debian package's location" });
  list.push({ file: `/usr/lib/${name}`, how: 'the plain library folder' });
  return list;
}

function libraryFileName(platform) {
  return platform === 'win32' ? 'orvanet.dll' : 'liborvanet.so.1';
}

// The one message for a library that could not be loaded: what was tried,
// the process's OS and bitness, and how to fix it.
function notFoundMessage(tried, { platform, arch, fromEnvironment }) {
  const file = libraryFileName(platform);
  const bits = bits32.has(arch) ? 32 : 64;
  const lines = [`orvanet: the native library ${file} could not be loaded. Tried:`];
  for (const t of tried) lines.push(`  - ${t}`);
  lines.push(`This Node.js is a ${bits}-bit process on ${platform} (${arch}): it needs the ${bits}-bit ${file}.`);
  if (fromEnvironment) {
    lines.push(`Fix: set ORVANET_LIBRARY to the full path of ${file}, or unset it to use the installed library.`);
  } else if (platform === 'win32') {
    lines.push(`Fix: put the ${bits}-bit orvanet.dll beside the package or on PATH, or set ORVANET_LIBRARY to its full path.`);
  } else {
    lines.push('Fix: install the liborvanet1 package, or `cmake --install` a build of orvanet (then run ldconfig),');
    lines.push(`     or set ORVANET_LIBRARY to the full path of ${file}.`);
  }
  return lines.join('\n');
}

// koffi itself is required outside the search: a missing koffi is an npm
// problem with an error of its own, not a library that was not found.
function koffiLoader() {
  const koffi = require('koffi');
  return (file) => koffi.load(file);
}

function reasonOf(error) {
  return String(error && error.message ? error.message : error).replace(/^Failed to load shared library:\s*/, '');
}

// Loads the library as the options say (the defaults are this process's own)
// and returns { functions, file }; throws one OrvaLibraryError otherwise.
// load(file) opens a library (koffi.load), exists(file) tells whether a file is there.
function findLibrary(options = {}) {
  const env = options.env || process.env;
  const platform = options.platform || process.platform;
  const arch = options.arch || process.arch;
  const exists = options.exists || fs.existsSync;
  const load = options.load || koffiLoader();
  const packageDir = options.packageDir || path.join(__dirname, '..');

  const fromEnvironment = Boolean(env.ORVANET_LIBRARY);
  const list = fromEnvironment
    ? [{ file: env.ORVANET_LIBRARY, how: 'the environment variable ORVANET_LIBRARY' }]
    : candidates(platform, arch, packageDir);
  const tried = fromEnvironment ? [] : ['ORVANET_LIBRARY: not set'];
  for (const c of list) {
    const label = fromEnvironment ? `ORVANET_LIBRARY=${c.file}` : `${c.file} (${c.how})`;
    if (!c.byName && !exists(c.file)) {
      tried.push(`${label}: no such file`);
      continue;
    }
    let lib;
    try {
      lib = load(c.file);
    } catch (error) {
      tried.push(`${label}: ${reasonOf(error)}`);
      continue;
    }
    return { functions: declare(lib, label), file: c.file };
  }
  if (fromEnvironment) tried.push('nothing else is tried while ORVANET_LIBRARY is set');
  throw new OrvaLibraryError(notFoundMessage(tried, { platform, arch, fromEnvironment }));
}

// The seven functions by name. A library that lacks one is not liborvanet.
function declare(lib, label) {
  const functions = {};
  for (const prototype of prototypes) {
    const name = /(\w+)\(/.exec(prototype)[1];
    try {
      functions[name] = lib.func(prototype);
    } catch (error) {
      throw new OrvaLibraryError(`orvanet: ${label} was loaded but is not liborvanet: it has no ${name} (${reasonOf(error)}).\n` +
        'Fix: point ORVANET_LIBRARY at liborvanet.so.1 / orvanet.dll of orvanet, or unset it.');
    }
  }
  return functions;
}

let loaded = null;

// The process's library, loaded on first use.
function library() {
  if (!loaded) loaded = findLibrary();
  return loaded;
}

module.exports = { prototypes, candidates, findLibrary, library };
