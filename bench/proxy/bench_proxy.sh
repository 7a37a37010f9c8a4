#!/usr/bin/env bash
# harbord under ab (HTTP/1.0, no keep-alive), beside the same runs against
# the origin directly and through Squid, using the shared peer comparison in
# /work/shared/peers/proxy (nginx origin on 127.0.0.1:18081, Squid on :13128).
#
# Cases: cache hits of 1 KB, 10 KB and 100 KB at concurrency 1 and 16, of
# 1 MB and 10 MB at concurrency 4, the relayed no-store miss of 10 KB and the
# reload ("Pragma: no-cache") of 10 KB at concurrency 16.
#
#   HARBORD=build/release/bin/harbord   the binary (build it in Release)
#   PORT=18090 IPORT=18091              harbord's ports
#   BEFORE=path/to/older/harbord        also run this binary (ports +2), so
#                                       that a change is measured before and
#                                       after in the same interleaved run
#   PEERS=/work/shared/peers/proxy      the peer comparison scripts
#   NO_SQUID=1                          leave Squid out (origin and harbord only)
#   KEEP_PEERS=1                        do not tear the origin and Squid down
#   KEEPALIVE=1                         ab -k: every ab connection asks for
#                                       keep-alive (Squid and harbord alike)
#   DUR, RUNS, CASES, PIN, OUTDIR       passed on to the peers' bench.sh
#
# Quick run:  DUR=2 RUNS=1 bench/proxy/bench_proxy.sh
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
HARBORD=${HARBORD:-$ROOT/build/release/bin/harbord}
PORT=${PORT:-18090}
IPORT=${IPORT:-18091}
BEFORE=${BEFORE:-}
PEERS=${PEERS:-/work/shared/peers/proxy}
NO_SQUID=${NO_SQUID:-0}
KEEP_PEERS=${KEEP_PEERS:-0}
export CASES=${CASES:-"hit:1k.bin:1 hit:1k.bin:16 hit:10k.bin:1 hit:10k.bin:16 hit:100k.bin:1 hit:100k.bin:16 hit:1m.bin:4 hit:10m.bin:4 miss:10k.bin:16 reload:10k.bin:16"}

[ -x "$HARBORD" ] || { echo "no harbord at $HARBORD (configure with -DCMAKE_BUILD_TYPE=Release and build target harbord)" >&2; exit 1; }
command -v ab >/dev/null || { echo "ab missing (apt-get install apache2-utils)" >&2; exit 1; }

RUN=${RUN:-/tmp/peers-proxy}
export RUN
NO_SQUID="$NO_SQUID" "$PEERS/setup.sh"

# harbord runs from a copy in its own folder, so that its setup file and
# cache stay there. Limits large enough for the 10 MB document; maxcon high
# enough that ab's 16 connections are never held in the listen queue.
WORK=$(mktemp -d /tmp/harbord-bench-XXXXXX)
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do
    if kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid"
      for _ in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
      kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
    fi
  done
  [ "$KEEP_PEERS" = 1 ] || RUN="$RUN" "$PEERS/teardown.sh" >/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
# start_harbord <binary> <dir> <port> <iport>
start_harbord() {
  mkdir -p "$2/cache"
  cp "$1" "$2/harbord"
  : > "$2/.quaylo-build-tree"  # a copy of the build tree's program keeps its layout
  (cd "$2" && exec ./harbord -port "$3" -iport "$4" -cachedir "$2/cache" \
     -cachesize 200000 -entrysize 20000 -cachefiles 10000 -maxcon 100 -timeout 60 \
     -updtime 36000 -offline 0 > "$2/harbord.log" 2>&1) &
  PIDS+=($!)
  for _ in $(seq 1 100); do
    grep -q "ready\." "$2/harbord.log" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "harbord did not start:" >&2; cat "$2/harbord.log" >&2; exit 1
}
start_harbord "$HARBORD" "$WORK/now" "$PORT" "$IPORT"
TARGETS="127.0.0.1:$PORT"
if [ -n "$BEFORE" ]; then
  start_harbord "$BEFORE" "$WORK/before" $((PORT + 2)) $((IPORT + 2))
  TARGETS="$TARGETS 127.0.0.1:$((PORT + 2))"
  echo "127.0.0.1:$PORT = $HARBORD, 127.0.0.1:$((PORT + 2)) = $BEFORE"
fi

if [ "$NO_SQUID" = 1 ]; then
  export PROXY="$TARGETS"
else
  export PROXY="127.0.0.1:13128 $TARGETS"
fi
# The peers' bench.sh runs plain ab; for keep-alive an ab of the same name
# that adds -k comes first on the PATH.
if [ "${KEEPALIVE:-0}" = 1 ]; then
  mkdir -p "$WORK/ab-k"
  printf '#!/bin/sh\nexec %s -k "$@"\n' "$(command -v ab)" > "$WORK/ab-k/ab"
  chmod +x "$WORK/ab-k/ab"
  export PATH="$WORK/ab-k:$PATH"
fi
RUN="$RUN" "$PEERS/bench.sh"
for log in "$WORK"/*/harbord.log; do
  echo "harbord log $log: $(grep -c MALFUNCTION "$log" || true) malfunction report(s)"
  grep -A4 MALFUNCTION "$log" | head -40 || true
done
