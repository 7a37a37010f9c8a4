#!/usr/bin/env bash
# Sets up the machine, builds the programs and runs the main job:
#   1. the Quaylo proxy (harbord) on port 8080 with its cache in ./cache;
#   2. a Vantlow load job through it: the URL given, or else the sample site
#      shipped with the project (served on loopback), written as a graph file
#      and a picture of that graph;
#   3. the proxy keeps running for your browser until Ctrl-C.
# Usage: scripts/run.sh [URL]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target harbord vantlow sample_site_server

bin=$PWD/build/release/bin
out=$PWD/out
mkdir -p cache "$out"

if (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; then
  echo "Port 8080 is in use already; stop the program that holds it first." >&2
  exit 1
fi

"$bin/harbord" -port 8080 -cachedir "$PWD/cache" &
proxy=$!
site=""
cleanup() {
  [ -n "$site" ] && kill "$site" 2>/dev/null || true
}
stop_proxy() {
  cleanup
  kill -TERM "$proxy" 2>/dev/null || true
  wait "$proxy" 2>/dev/null || true
  exit 0
}
trap stop_proxy INT TERM
trap cleanup EXIT

for _ in $(seq 1 50); do
  (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null && break
  kill -0 "$proxy" 2>/dev/null || { echo "harbord did not start" >&2; exit 1; }
  sleep 0.2
done

url=${1:-}
name=site
if [ -z "$url" ]; then
  name=sample-site
  "$bin/sample_site_server" "$out/sample-site" 40 > "$out/sample-site.url" &
  site=$!
  for _ in $(seq 1 50); do
    [ -s "$out/sample-site.url" ] && break
    sleep 0.1
  done
  url=$(head -n 1 "$out/sample-site.url")
fi

echo "Loading $url through the proxy (two levels of links)..." >&2
status=0
"$bin/vantlow" --load "$url" --output "$out/$name.gra" --levels 2 --proxy 127.0.0.1:8080 || status=$?
if [ -f "$out/$name.gra" ]; then
  QT_QPA_PLATFORM=offscreen "$bin/vantlow" --render "$out/$name.gra" "$out/$name.png" \
    --width 1600 --height 1000 >/dev/null 2>&1 || true
  echo "Graph file: $out/$name.gra   (open it with: $bin/vantlow $out/$name.gra)" >&2
  [ -f "$out/$name.png" ] && echo "Picture:    $out/$name.png" >&2
fi
[ "$status" -eq 0 ] || echo "The load job reported problems (exit code $status)." >&2
cleanup
site=""

cat >&2 <<TXT

Quaylo keeps running on port 8080 with its cache in $PWD/cache.
Set your browser's HTTP proxy to 127.0.0.1, port 8080; the admin pages are at
http://quaylo/ . Press Ctrl-C to stop it (the cache index is then written).
TXT
wait "$proxy"
