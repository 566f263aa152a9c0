#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The .NET binding (bindings/dotnet): compiled with Mono's C# compiler into
# Orvanet.Net.dll, then the examples and the test program against it, run with
# mono against liborvanet, liborvavars and orvasim on 127.0.1.30 to 127.0.1.39
# (in a network namespace of its own). Installs its Debian packages first.
#   scripts/test-dotnet.sh [BUILD_DIR]   a build with liborvanet and orvasim (default build/test)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/stage.sh
build=$(realpath -m "${1:-build/test}")
require_built test-dotnet "$build" linklib/liborvanet.so vars/liborvavars.so tools/orvasim/orvasim

# mcs, and the runtime with the class libraries the binding uses (System, System.Core)
packages=(mono-mcs mono-runtime)
install_packages "${packages[@]}"

orvasim=$build/tools/orvasim/orvasim

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Not orvanet.dll: on Windows that is the native library's name, and file names there ignore case.
# C# 4: what every .NET the binding is meant for compiles. -doc: as release.sh
# builds it: a public member without a /// comment (CS1591) fails here already.
mcs -target:library -langversion:4 -warn:4 -warnaserror+ -doc:"$work/Orvanet.Net.xml" -out:"$work/Orvanet.Net.dll" \
  bindings/dotnet/*.cs
mcs -langversion:4 -warn:4 -warnaserror+ -r:"$work/Orvanet.Net.dll" -out:"$work/ReadWrite.exe" examples/csharp/ReadWrite.cs
mcs -langversion:4 -warn:4 -warnaserror+ -r:"$work/Orvanet.Net.dll" -out:"$work/Variables.exe" examples/csharp/Variables.cs
mcs -warn:4 -warnaserror+ -r:"$work/Orvanet.Net.dll" -out:"$work/BindingTest.exe" tests/bindings/dotnet/BindingTest.cs

# DllImport("orvanet") and DllImport("orvavars") find the unversioned libraries
# of the build folder. The test program ends with its own count line.
status=0
LD_LIBRARY_PATH=$build/linklib:$build/vars in_netns mono "$work/BindingTest.exe" "$orvasim" "$work/ReadWrite.exe" \
  "$work/Variables.exe" tests/vectors/variables.json | tee "$work/output" || status=$?
pass_on_count dotnet "$work/output"
exit "$status"
