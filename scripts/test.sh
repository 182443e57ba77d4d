#!/usr/bin/env bash
# Installs what is needed, runs the source checks, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Postfix's programs (never its service) for the test of many messages in flight.
. bench/install-postfix.sh
scripts/check-seam.sh
scripts/check-format.sh
scripts/build.sh
scripts/check-core.sh
cd build
ctest --output-on-failure -j2
