#!/usr/bin/env bash
# Configures a build folder with Ninja: scripts/configure.sh FOLDER [CMAKE ARGUMENTS]...
# A folder made by another generator or compiler is made anew rather than refused.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
compiler=$(printf '%s\n' "$@" | sed -n 's/^-DCMAKE_CXX_COMPILER=//p')
cache=$dir/CMakeCache.txt
if [ -f "$cache" ]; then
    if ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$cache" ||
        { [ -n "$compiler" ] && ! grep -Eq "^CMAKE_CXX_COMPILER:[A-Z]*=(.*/)?$compiler\$" "$cache"; }; then
        rm -rf "$dir"
    fi
fi
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
