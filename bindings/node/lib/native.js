// SPDX-License-Identifier: Apache-2.0
'use strict';
// Finds and loads liborvanet and liborvavars, and declares their functions
// and structs through koffi. The main thread loads them by searching; each
// connection's thread (thread.js) loads the same files again by name.
const fs = require('fs');
const path = require('path');
const { OrvaLibraryError } = require('./errors');

// The headers' prototypes; __stdcall is what the Windows DLLs use and is
// ignored everywhere else. test/header.test.js holds them to the headers.
const orvanetPrototypes = Object.freeze([
  'int __stdcall ORVAOpen(const char *ipAddress, const char *ownTsap, const char *plcTsap, int receiveTimeoutMs, int sendTimeoutMs, int connectTimeoutMs)',
  'int __stdcall ORVAClose(int handle)',
  'int __stdcall ORVARdB(int handle, int areaLetter, int dbNumber, int start, int count, _Out_ unsigned char *buffer)',
  'int __stdcall ORVARdW(int handle, int areaLetter, int dbNumber, int start, int count, _Out_ unsigned short *buffer)',
  'int __stdcall ORVAWrB(int handle, int areaLetter, int dbNumber, int start, int count, const unsigned char *buffer)',
  'int __stdcall ORVAWrW(int handle, int areaLetter, int dbNumber, int start, int count, const unsigned short *buffer)',
  'int __stdcall ORVAGetSockErr(int handle)',
]);

const orvavarsPrototypes = Object.freeze([
  'int __stdcall ORVAVarsParse(const char *text, _Out_ ORVAVarInfo *info, _Out_ ORVAVarsError *error)',
  'const char * __stdcall ORVAVarsResultText(int code)',
  'const char * __stdcall ORVAVarsResultName(int code)',
  'int __stdcall ORVAVarsFailureText(int result, int socketError, _Out_ char *out, int size)',
  'ORVAVarList * __stdcall ORVAVarsNewList(void)',
  'void __stdcall ORVAVarsFreeList(ORVAVarList *list)',
  'int __stdcall ORVAVarsAdd(ORVAVarList *list, const char *text, _Out_ ORVAVarsError *error)',
  'int __stdcall ORVAVarsCount(const ORVAVarList *list)',
  'int __stdcall ORVAVarsGetInfo(const ORVAVarList *list, int index, _Out_ ORVAVarInfo *info)',
  'int __stdcall ORVAVarsSetOption(ORVAVarList *list, int option, int value)',
  'int __stdcall ORVAVarsPlan(ORVAVarList *list, _Out_ ORVAVarsPlanInfo *plan)',
  'int __stdcall ORVAVarsRead(int handle, ORVAVarList *list, _Out_ ORVAVarResult *results, int count)',
  'int __stdcall ORVAVarsSetBoolean(ORVAVarList *list, int index, int value, _Out_ ORVAVarsError *error)',
  'int __stdcall ORVAVarsSetInteger(ORVAVarList *list, int index, ORVAVarsInt64 value, _Out_ ORVAVarsError *error)',
  'int __stdcall ORVAVarsSetReal(ORVAVarList *list, int index, double value, _Out_ ORVAVarsError *error)',
  'int __stdcall ORVAVarsSetString(ORVAVarList *list, int index, const char *latin1, int length, _Out_ ORVAVarsError *error)',
  'int __stdcall ORVAVarsSetText(ORVAVarList *list, int index, const char *text, _Out_ ORVAVarsError *error)',
  'int __stdcall ORVAVarsWrite(int handle, ORVAVarList *list, _Out_ ORVAVarResult *results, int count)',
  'int __stdcall ORVAVarsValueText(const ORVAVarList *list, int index, _Out_ char *out, int size)',
  'int __stdcall ORVAVarsDecode(ORVAVarList *list, int index, const unsigned char *bytes, int size, _Out_ ORVAVarResult *result)',
  'int __stdcall ORVAVarsEncoded(const ORVAVarList *list, int index, _Out_ unsigned char *bytes, int size)',
  'int __stdcall ORVAVarsParseArea(const char *text, _Out_ int *area, _Out_ int *block, _Out_ ORVAVarsError *error)',
  'const char * __stdcall ORVAVarsAreaName(int area)',
  'int __stdcall ORVAVarsElementAddress(int area, int block, int words, int start, int index, _Out_ char *out, int size)',
]);

// orvavars.h's structs, member by member as the header has them.
const structs = Object.freeze({
  ORVAVarsError: [['code', 'int'], ['position', 'int'], ['message', 'char', 200]],
  ORVAVarInfo: [['area', 'int'], ['block', 'int'], ['element', 'int'], ['address', 'int'], ['bit', 'int'], ['format', 'int'],
    ['length', 'int'], ['byteOffset', 'int'], ['byteCount', 'int'], ['text', 'char', 32]],
  ORVAVarResult: [['integer', 'ORVAVarsInt64'], ['real', 'double'], ['text', 'const char *'], ['length', 'int'], ['kind', 'int'],
    ['status', 'int'], ['socketError', 'int'], ['timeBase', 'int'], ['timeDigits', 'int']],
  ORVAVarsPlanInfo: [['variables', 'int'], ['calls', 'int'], ['telegrams', 'int'], ['bytes', 'int']],
});

// The koffi types of one thread's koffi (each thread has its own), declared once.
const declaredTypes = new WeakMap();
function typesOf(koffi) {
  if (!declaredTypes.has(koffi)) {
    koffi.alias('ORVAVarsInt64', 'int64_t');
    koffi.opaque('ORVAVarList');
    const types = {};
    for (const [name, members] of Object.entries(structs)) {
      const fields = {};
      // A char array is a C string; a pointer stays a number (its text is Latin-1, decoded by variables.js).
      for (const [member, type, size] of members) {
        fields[member] = size ? koffi.array(type, size, 'String') : type === 'const char *' ? 'void *' : type;
      }
      types[name] = koffi.struct(name, fields);
    }
    declaredTypes.set(koffi, types);
  }
  return declaredTypes.get(koffi);
}

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

// The two libraries: the file names and the variables that name them.
const libraries = Object.freeze({
  orvanet: { variable: 'ORVANET_LIBRARY', file: (platform) => (platform === 'win32' ? 'orvanet.dll' : 'liborvanet.so.1'), prototypes: orvanetPrototypes },
  orvavars: { variable: 'ORVAVARS_LIBRARY', file: (platform) => (platform === 'win32' ? 'orvavars.dll' : 'liborvavars.so.1'), prototypes: orvavarsPrototypes },
});

// The places the system's loader and the installs put a library: { file, how, byName }.
// byName: handed to the loader as a bare name (its own search), not checked for existence.
function installedPlaces(name, platform, arch, packageDir) {
  if (platform === 'win32') {
    return [
      { file: path.join(packageDir, name), how: 'beside the package' },
      { file: name, how: "the system's search: the program's folder, the system folders, PATH", byName: true },
    ];
  }
  const list = [{ file: name, how: "the system's search: LD_LIBRARY_PATH, the ld.so cache, /lib, /usr/lib", byName: true },
    { file: `/usr/local/lib/${name}`, how: "the CMake install's location" }];
  if (multiarch[arch]) list.push({ file: `/usr/lib/${multiarch[arch]}/${name}`, how: "the Debian package's location" });
  list.push({ file: `/usr/lib/${name}`, how: 'the plain library folder' });
  return list;
}

// The places for liborvanet: where it is installed.
function candidates(platform, arch, packageDir) {
  return installedPlaces(libraries.orvanet.file(platform), platform, arch, packageDir);
}

// The places for liborvavars: first the folder of the liborvanet that was
// loaded (known when it was loaded by path, or found in /proc/self/maps),
// then where it is installed (on Windows the package's folder is that of
// orvanet.dll anyway).
function varsCandidates(platform, arch, packageDir, orvanetFolder) {
  const name = libraries.orvavars.file(platform);
  const list = installedPlaces(name, platform, arch, packageDir);
  if (!orvanetFolder) return list;
  const beside = path.join(orvanetFolder, name);
  return [{ file: beside, how: `beside the ${libraries.orvanet.file(platform)} that was loaded` }, ...list.filter((c) => c.file !== beside)];
}

// The folder a library loaded by bare name came from, on Linux.
function folderInMaps(name) {
  try {
    const line = fs.readFileSync('/proc/self/maps', 'utf8').split('\n').find((l) => l.endsWith(`/${name}`));
    return line ? path.dirname(line.slice(line.indexOf('/'))) : null;
  } catch {
    return null;
  }
}

function koffiLoader() {
  // koffi itself is required outside the search: a missing koffi is an npm
  // problem with an error of its own, not a library that was not found.
  const koffi = require('koffi');
  return (file) => koffi.load(file);
}

function reasonOf(error) {
  return String(error && error.message ? error.message : error).replace(/^Failed to load shared library:\s*/, '');
}

// Tries one library's places in order: { lib, file, tried }, lib null when none loaded.
function search(which, list, { env, exists, load }) {
  const { variable } = libraries[which];
  const fromEnvironment = Boolean(env[variable]);
  const places = fromEnvironment ? [{ file: env[variable], how: `the environment variable ${variable}` }] : list;
  const tried = fromEnvironment ? [] : [`${variable}: not set`];
  for (const c of places) {
    const label = fromEnvironment ? `${variable}=${c.file}` : `${c.file} (${c.how})`;
    if (!c.byName && !exists(c.file)) {
      tried.push(`${label}: no such file`);
      continue;
    }
    try {
      const lib = load(c.file);
      tried.push(`${label}: loaded`);
      return { lib, file: c.file, label, byName: Boolean(c.byName), tried, fromEnvironment };
    } catch (error) {
      tried.push(`${label}: ${reasonOf(error)}`);
    }
  }
  if (fromEnvironment) tried.push(`nothing else is tried while ${variable} is set`);
  return { lib: null, tried, fromEnvironment };
}

// The one message for libraries that could not both be loaded: what was
// tried for each, the process's OS and bitness, and how to fix it.
function notFoundMessage(net, vars, { platform, arch }) {
  const netFile = libraries.orvanet.file(platform);
  const varsFile = libraries.orvavars.file(platform);
  const bits = bits32.has(arch) ? 32 : 64;
  const lines = [`orvanet: the native libraries ${netFile} and ${varsFile} could not both be loaded.`];
  lines.push(`${netFile}${net.lib ? ` (loaded from ${net.file})` : ''}, tried:`);
  for (const t of net.tried) lines.push(`  - ${t}`);
  lines.push(`${varsFile}, tried:`);
  if (vars) {
    for (const t of vars.tried) lines.push(`  - ${t}`);
  } else {
    lines.push(`  - nothing: it needs ${netFile}, which did not load`);
  }
  lines.push(`This Node.js is a ${bits}-bit process on ${platform} (${arch}): it needs the ${bits}-bit ${netFile} and ${varsFile}.`);
  if (net.fromEnvironment || (vars && vars.fromEnvironment)) {
    lines.push(`Fix: set ORVANET_LIBRARY and ORVAVARS_LIBRARY to the full paths of ${netFile} and ${varsFile}, or unset them to use the installed libraries.`);
  } else if (platform === 'win32') {
    lines.push(`Fix: put the ${bits}-bit ${netFile} and ${varsFile} beside the package or on PATH, or set ORVANET_LIBRARY and ORVAVARS_LIBRARY to their full paths.`);
  } else {
    lines.push('Fix: `cmake --install` a build of orvanet, which installs both (then run ldconfig),');
    lines.push(`     or set ORVANET_LIBRARY and ORVAVARS_LIBRARY to the full paths of ${netFile} and ${varsFile}.`);
  }
  return lines.join('\n');
}

// A library that lacks one of the functions is not the one asked for.
function declare(which, lib, label, koffi) {
  const functions = {};
  if (koffi) typesOf(koffi);
  for (const prototype of libraries[which].prototypes) {
    const name = /(\w+)\(/.exec(prototype)[1];
    try {
      functions[name] = lib.func(prototype);
    } catch (error) {
      throw new OrvaLibraryError(`orvanet: ${label} was loaded but is not lib${which}: it has no ${name} (${reasonOf(error)}).\n` +
        `Fix: point ${libraries[which].variable} at the ${which} library of orvanet, or unset it.`);
    }
  }
  return functions;
}

// Loads both libraries as the options say (the defaults are this process's
// own) and returns { orvanet, orvavars, files, types }: the functions of each
// by name, the files to load again by in another thread, and the structs.
// Throws one OrvaLibraryError otherwise. load(file) opens a library
// (koffi.load), exists(file) tells whether a file is there.
function findLibraries(options = {}) {
  const env = options.env || process.env;
  const platform = options.platform || process.platform;
  const arch = options.arch || process.arch;
  const exists = options.exists || fs.existsSync;
  const koffi = options.load ? null : require('koffi');
  const load = options.load || koffiLoader();
  const packageDir = options.packageDir || path.join(__dirname, '..');
  const how = { env, exists, load };

  const net = search('orvanet', candidates(platform, arch, packageDir), how);
  if (!net.lib) throw new OrvaLibraryError(notFoundMessage(net, null, { platform, arch }));
  const orvanet = declare('orvanet', net.lib, net.label, koffi);
  const netFolder = net.byName ? (options.folderOf || folderInMaps)(net.file) : path.dirname(net.file);
  const vars = search('orvavars', varsCandidates(platform, arch, packageDir, netFolder), how);
  if (!vars.lib) throw new OrvaLibraryError(notFoundMessage(net, vars, { platform, arch }));
  return {
    orvanet,
    orvavars: declare('orvavars', vars.lib, vars.label, koffi),
    files: { orvanet: net.file, orvavars: vars.file },
    types: koffi ? typesOf(koffi) : null,
  };
}

// The same libraries in another thread, by the files the main thread loaded.
function loadFiles(files) {
  const koffi = require('koffi');
  const net = koffi.load(files.orvanet);
  const vars = koffi.load(files.orvavars);
  return { orvanet: declare('orvanet', net, files.orvanet, koffi), orvavars: declare('orvavars', vars, files.orvavars, koffi) };
}

let loaded = null;

// The process's libraries, loaded on first use.
function library() {
  if (!loaded) loaded = findLibraries();
  return loaded;
}

module.exports = { orvanetPrototypes, orvavarsPrototypes, structs, candidates, varsCandidates, findLibraries, loadFiles, library };
