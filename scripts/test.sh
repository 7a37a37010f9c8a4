#!/usr/bin/env bash
# Sets up the machine, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/test -DSANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cd build/test
ctest --output-on-failure -j "$(nproc)" "$@"
