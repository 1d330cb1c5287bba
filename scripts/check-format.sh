#!/usr/bin/env bash
# Fails when a tracked or new C++ file is not formatted the project's way.
cd "$(dirname "$0")/.." || exit 1
files=$(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' 2>/dev/null)
[ -z "$files" ] && files=$(find app session effects paint history persist view controls platform tests bench \
    -name '*.cpp' -o -name '*.h')
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
