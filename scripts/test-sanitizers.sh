#!/usr/bin/env bash
# Builds the program and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-sanitizers/ and runs the tests there.
# Any report fails the run: UBSan stops at its first finding, ASan at any
# invalid access or leak.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
# Sanitized code runs a few times slower: each test gets longer.
cmake -S . -B build-sanitizers -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLPOST_TEST_TIMEOUT=1200 \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags"
cmake --build build-sanitizers -j2
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Leaks in the system's own libraries (fontconfig and the like) are theirs.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export QTEST_FUNCTION_TIMEOUT=1200000
cd build-sanitizers
ctest --output-on-failure -j2
echo "test-sanitizers: every test green under AddressSanitizer and UndefinedBehaviorSanitizer"
