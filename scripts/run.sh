#!/usr/bin/env bash
# Sets up the machine, builds the programs and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCH=OFF
exec build/release/bin/harbord "${@:--help}"
