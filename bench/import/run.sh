#!/usr/bin/env bash
# bench/run import: the import window's preview and commit of 100,000 rows
# against the sqlite3 shell's .import of the same rows.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"

need=()
command -v sqlite3 >/dev/null || need+=(sqlite3)
command -v iconv >/dev/null || need+=(libc-bin)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq && apt-get install -y -qq "${need[@]}" >/dev/null
fi

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target bench_import -j1 >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
QT_QPA_PLATFORM=offscreen "$build/bench/import/bench_import" "$work"
