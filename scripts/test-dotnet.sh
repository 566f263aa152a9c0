#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The .NET binding (bindings/dotnet): compiled with Mono's C# compiler into
# Orvanet.Net.dll, then the example and the test program against it, run with
# mono against liborvanet and orvasim on 127.0.1.30 to 127.0.1.39 (in a
# network namespace of its own). Installs its Debian packages first.
#   scripts/test-dotnet.sh [BUILD_DIR]   a build with liborvanet and orvasim (default build/test)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/stage.sh
build=$(realpath -m "${1:-build/test}")
require_built test-dotnet "$build" linklib/liborvanet.so tools/orvasim/orvasim

# mcs, and the runtime with the class libraries the binding uses (System, System.Core)
packages=(mono-mcs mono-runtime)
install_packages "${packages[@]}"

orvasim=$build/tools/orvasim/orvasim

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Not orvanet.dll: on Windows that is the native library's name, and file names there ignore case.
# C# 4: what every .NET the binding is meant for compiles.
mcs -target:library -langversion:4 -warn:4 -warnaserror+ -out:"$work/Orvanet.Net.dll" bindings/dotnet/*.cs
mcs -langversion:4 -warn:4 -warnaserror+ -r:"$work/Orvanet.Net.dll" -out:"$work/ReadWrite.exe" examples/csharp/ReadWrite.cs
mcs -warn:4 -warnaserror+ -r:"$work/Orvanet.Net.dll" -out:"$work/BindingTest.exe" tests/bindings/dotnet/BindingTest.cs

# DllImport("orvanet") finds the unversioned liborvanet.so of the build folder.
# The test program ends with its own count line.
status=0
LD_LIBRARY_PATH=$build/linklib in_netns mono "$work/BindingTest.exe" "$orvasim" "$work/ReadWrite.exe" |
  tee "$work/output" || status=$?
pass_on_count dotnet "$work/output"
exit "$status"
