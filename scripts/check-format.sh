#!/usr/bin/env bash
# Fails, listing the files, when a C++ source differs from what clang-format
# makes of it with the repository's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
CLANG_FORMAT=${CLANG_FORMAT:-clang-format}
command -v "$CLANG_FORMAT" >/dev/null || { echo "check-format: $CLANG_FORMAT not found" >&2; exit 2; }

# Build folders (top-level build*, or any folder CMake has configured) and
# hidden folders hold no sources of ours.
mapfile -d '' files < <(find . -type d \( -path './.*' -o -path './build*' -o -exec test -e '{}/CMakeCache.txt' \; \) -prune \
    -o -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)

bad=()
for f in "${files[@]}"; do
    "$CLANG_FORMAT" --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("${f#./}")
done
if [ ${#bad[@]} -gt 0 ]; then
    echo "check-format: ${#bad[@]} of ${#files[@]} files are not formatted; run $CLANG_FORMAT -i on:" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files formatted"
