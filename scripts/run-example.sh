#!/usr/bin/env bash
# Installs what is missing, builds qtvn2, and builds the TOC of the bundled example manual in a
# scratch copy, so the originals stay as shipped.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$(pwd)"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target qtvn2 -j2
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tocvane-example-XXXXXX")"
cp -R examples/manual "$scratch/"
cd "$scratch/manual"
echo "\$ qtvn2 -command manual.toc"
status=0
"$repo/build/bin/qtvn2" -command manual.toc || status=$?
echo
echo "Exit code: $status"
echo "The result is in $scratch/manual:"
echo "  index.htm holds the common TOC; each page under guide/ and reference/ has its own."
exit "$status"
