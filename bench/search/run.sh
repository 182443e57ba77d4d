#!/usr/bin/env bash
# Address book on a generated 1,000,000-row database: opening it (select all)
# with the grid drawn, a partial match on 宛先1, insert into the send list, and
# the select-all statement through SQLite's C API as the anchor.
# Last line: search: rows=N all_s=S partial_s=S insert_s=S sqlite_all_s=S peak_mb=M
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target bench_search -j2 >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/search/bench_search" "$@"
