#!/usr/bin/env bash
# Sets up the machine, builds the programs and runs the main job: the Quaylo
# proxy (harbord) on port 8080 with its cache in ./cache. Extra arguments are
# passed to harbord (for example: scripts/run.sh -language deutsch).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCH=OFF
mkdir -p cache
cat >&2 <<TXT
Quaylo starts on port 8080 with its cache in $PWD/cache.
Set your browser's HTTP proxy to 127.0.0.1, port 8080; the admin pages are at
http://quaylo/ . Press Ctrl-C to stop it (the cache index is then written).
TXT
exec build/release/bin/harbord -port 8080 -cachedir "$PWD/cache" "$@"
