#!/usr/bin/env bash
# Address search on a generated 100,000-row database: the select-all search
# with the grid drawn, a partial match on 宛先1, and insert into the send list.
# Last line: search: rows=N all_s=S partial_s=S insert_s=S
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target bench_search -j1 >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/search/bench_search" "$@"
