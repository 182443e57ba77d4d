#!/usr/bin/env bash
# bench/run import: the import window's preview and commit of 100,000 and of
# 1,000,000 rows, each in a process of its own (so each has its own peak
# memory), against the sqlite3 shell's .import of the same rows.
# Last line: import: rows=1000000 seconds=S sqlite3_s=S ratio=R peak_mb=M peak_mb_100k=M
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
cmake --build "$build" --target bench_import -j2 >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
run() {
  QT_QPA_PLATFORM=offscreen "$build/bench/import/bench_import" "$work" "$1" | tee /dev/stderr | tail -1
}
small="$(run 100000)"
large="$(run 1000000)"
peak100k="$(sed -n 's/.*peak_mb=\([0-9.]*\).*/\1/p' <<<"$small")"
echo "${large} peak_mb_100k=${peak100k}"
