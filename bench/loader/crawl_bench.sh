#!/usr/bin/env bash
# Crawl benchmark: a generated site of about 2,000 pages, loaded
#   1. by `wget -r` straight from the origin server (the yardstick),
#   2. by `vantlow --load --unlimited-levels` through a fresh harbord
#      (cold cache: a HEAD and a GET per page, both through the proxy),
#   3. by the same job with `--offline` (warm: every answer from the cache).
# Everything runs on loopback ports chosen free at the start.
#
# usage: bench/loader/crawl_bench.sh [BUILD_DIR] [PAGES]
#   BUILD_DIR holds bin/vantlow, bin/harbord and bin/sample_site_server
#   (a Release build; default build/release), PAGES defaults to 2000.
set -euo pipefail

build=${1:-build/release}
pages=${2:-2000}
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
    port=$((20000 + RANDOM % 40000))
    [ "$port" != "${last_port:-}" ] || continue
    (echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
  done
  last_port=$port
  echo "$port"
}

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# The site.
"$bin/sample_site_server" "$work/site" "$pages" > "$work/site.url" 2> "$work/site.log" &
pids+=($!)
for _ in $(seq 600); do [ -s "$work/site.url" ] && break; sleep 0.1; done
[ -s "$work/site.url" ] || { echo "the sample site did not start:" >&2; cat "$work/site.log" >&2; exit 1; }
start=$(head -1 "$work/site.url")
html_pages=$(find "$work/site" -name '*.html' ! -path '*/other/*' | wc -l)

# The proxy, a copy of its own so that its setup file and cache stay here.
port=$(free_port)
last_port=$port
iport=$(free_port)
mkdir -p "$work/proxy"
cp "$bin/harbord" "$work/proxy/"
(cd "$work/proxy" && exec ./harbord -port "$port" -iport "$iport" -cachedir "$work/cache" > "$work/harbord.log" 2>&1) &
pids+=($!)
up=no
for _ in $(seq 300); do
  if (echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null; then up=yes; break; fi
  sleep 0.1
done
# Without its own proxy the job would start the harbord beside vantlow instead.
if [ "$up" != yes ]; then
  echo "harbord did not start:" >&2
  cat "$work/harbord.log" >&2
  exit 1
fi

# 1. wget, straight from the origin: pages only, like a texts-only load job.
t0=$(now)
wget -r -l inf -q -e robots=off --reject '*.gif,*.zip' -P "$work/wget" "$start" || true
t1=$(now)
wget_files=$(find "$work/wget" -name '*.html' -o -name 'index.html*' | sort -u | wc -l)

# 2. The cold crawl through the proxy.
t2=$(now)
XDG_STATE_HOME="$work/state" "$bin/vantlow" --load "$start" --output "$work/cold.gra" --unlimited-levels \
  --proxy "127.0.0.1:$port" 2> "$work/cold.log" || true
t3=$(now)

# 3. The warm crawl, offline: the cache answers everything.
t4=$(now)
XDG_STATE_HOME="$work/state" "$bin/vantlow" --load "$start" --output "$work/warm.gra" --unlimited-levels \
  --proxy "127.0.0.1:$port" --offline 2> "$work/warm.log" || true
t5=$(now)

wget_s=$(seconds "$t0" "$t1")
cold_s=$(seconds "$t2" "$t3")
warm_s=$(seconds "$t4" "$t5")
echo "site:        $html_pages HTML pages at $start"
echo "wget -r:     ${wget_s} s direct from the origin ($wget_files pages saved)"
echo "vantlow:     ${cold_s} s cold through harbord  ($(tail -1 "$work/cold.log"))"
echo "vantlow:     ${warm_s} s warm, offline          ($(tail -1 "$work/warm.log"))"
echo "cold / wget: $(ratio "$cold_s" "$wget_s")   (target: at most 1.00)"
echo "wget / warm: $(ratio "$wget_s" "$warm_s")   (target: at least 2.00)"
