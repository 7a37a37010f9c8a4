#!/usr/bin/env bash
# Crawl benchmark: a generated site of about 2,000 pages, loaded
#   1. by `wget -r` straight from the origin server (the yardstick),
#   2. by `vantlow --load --unlimited-levels` through a fresh harbord
#      (cold cache: a HEAD and a GET per page, both through the proxy),
#   3. by the same job with `--offline` (warm: every answer from the cache).
# Everything runs on loopback ports chosen free at the start.
#
# usage: bench/loader/crawl_bench.sh [BUILD_DIR] [PAGES] [RUNS]
#   BUILD_DIR holds bin/vantlow, bin/harbord and bin/sample_site_server
#   (a Release build; default build/release), PAGES defaults to 2000.
#   The three phases run RUNS times (default 3, a fresh proxy and cache each
#   time); the medians are compared, as single runs vary by a second.
set -euo pipefail

build=${1:-build/release}
pages=${2:-2000}
runs=${3:-3}
bin=$(cd "$build/bin" && pwd)
for program in vantlow harbord sample_site_server; do
  [ -x "$bin/$program" ] || { echo "missing $bin/$program (build it first)" >&2; exit 2; }
done
command -v wget >/dev/null || { echo "wget is missing (scripts/setup.sh installs it)" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A loopback port nothing listens on (and not the one picked before).
free_port() {
  local port
  while :; do
    # Below the ephemeral range, where the thousands of closed crawl
    # connections of an earlier phase cannot be in the way of a bind.
    port=$((20000 + RANDOM % 12000))
    [ "$port" != "${last_port:-}" ] || continue
    (echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
  done
  last_port=$port
  echo "$port"
}

now() { date +%s.%N; }

# Every phase opens thousands of short connections; their TIME_WAIT remains
# make finding a free local port slower for the next phase. So each phase
# starts once they have drained (at most about a minute).
settle() {
  for _ in $(seq 130); do
    waiting=$(ss -tan state time-wait 2>/dev/null | tail -n +2 | wc -l)
    [ "$waiting" -lt 500 ] && return 0
    sleep 0.5
  done
}
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# The site.
"$bin/sample_site_server" "$work/site" "$pages" > "$work/site.url" 2> "$work/site.log" &
pids+=($!)
for _ in $(seq 600); do [ -s "$work/site.url" ] && break; sleep 0.1; done
[ -s "$work/site.url" ] || { echo "the sample site did not start:" >&2; cat "$work/site.log" >&2; exit 1; }
start=$(head -1 "$work/site.url")
html_pages=$(find "$work/site" -name '*.html' ! -path '*/other/*' | wc -l)

# A fresh proxy per run, a copy of its own so that its setup file and cache
# stay in the run's folder. Sets port and proxy_pid.
start_proxy() {
  local dir=$1
  port=$(free_port)
  last_port=$port
  local iport
  iport=$(free_port)
  mkdir -p "$dir/proxy"
  cp "$bin/harbord" "$dir/proxy/"
  : > "$dir/proxy/.quaylo-build-tree"  # keeps the build tree's layout
  # A cache large enough for the whole site: with the default 4 MB the
  # oldest pages (the start page first) give way, and the offline crawl fails.
  (cd "$dir/proxy" && exec ./harbord -port "$port" -iport "$iport" -cachedir "$dir/cache" -cachesize 100000 \
     > "$dir/harbord.log" 2>&1) &
  proxy_pid=$!
  pids+=($proxy_pid)
  for _ in $(seq 300); do
    (echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  # Without its own proxy the job would start the harbord beside vantlow instead.
  echo "harbord did not start:" >&2
  cat "$dir/harbord.log" >&2
  exit 1
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

wget_times=()
cold_times=()
warm_times=()
for run in $(seq "$runs"); do
  dir="$work/run$run"
  mkdir -p "$dir"
  start_proxy "$dir"

  # 1. wget, straight from the origin: pages only, like a texts-only load job.
  # One connection per page, as the origin closes after each answer anyway:
  # with keep-alive wget sometimes sends its next request into a connection
  # the origin is closing, and then waits a second before it retries.
  settle
  t0=$(now)
  wget -r -l inf -q -e robots=off --no-http-keep-alive --reject '*.gif,*.zip' -P "$dir/wget" "$start" || true
  t1=$(now)
  wget_files=$(find "$dir/wget" -type f | wc -l)

  # 2. The cold crawl through the proxy.
  settle
  t2=$(now)
  XDG_STATE_HOME="$dir/state" "$bin/vantlow" --load "$start" --output "$dir/cold.gra" --unlimited-levels \
    --proxy "127.0.0.1:$port" 2> "$dir/cold.log" || true
  t3=$(now)

  # 3. The warm crawl, offline: the cache answers everything.
  settle
  t4=$(now)
  XDG_STATE_HOME="$dir/state" "$bin/vantlow" --load "$start" --output "$dir/warm.gra" --unlimited-levels \
    --proxy "127.0.0.1:$port" --offline 2> "$dir/warm.log" || true
  t5=$(now)

  wget_times+=("$(seconds "$t0" "$t1")")
  cold_times+=("$(seconds "$t2" "$t3")")
  warm_times+=("$(seconds "$t4" "$t5")")
  echo "run $run: wget ${wget_times[-1]} s, cold ${cold_times[-1]} s, warm ${warm_times[-1]} s" \
       "(loaded: $(grep -o 'Documents loaded: [0-9]*' "$dir/cold.log" | tail -1))"
  kill "$proxy_pid" 2>/dev/null || true
  wait "$proxy_pid" 2>/dev/null || true
done

wget_s=$(median "${wget_times[@]}")
cold_s=$(median "${cold_times[@]}")
warm_s=$(median "${warm_times[@]}")
echo "site:        $html_pages HTML pages at $start, medians of $runs runs"
echo "wget -r:     ${wget_s} s direct from the origin ($wget_files files saved)"
echo "vantlow:     ${cold_s} s cold through harbord  ($(tail -1 "$dir/cold.log"))"
echo "vantlow:     ${warm_s} s warm, offline          ($(tail -1 "$dir/warm.log"))"
echo "cold / wget: $(ratio "$cold_s" "$wget_s")   (target: at most 1.50, goal 1.00)"
echo "warm / wget: $(ratio "$warm_s" "$wget_s")   (target: at most 0.50)"
