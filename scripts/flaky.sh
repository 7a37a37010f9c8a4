#!/usr/bin/env bash
# flaky.sh [-n RUNS] [-l LOADED_RUNS] [-b BUILD_DIR] [-- CTEST_ARGS...]
#
# Runs the whole suite RUNS times (default 5), the first LOADED_RUNS of them
# (default 3) beside a CPU load that keeps every core busy, and prints each
# test that failed at least once with how often. Builds the sanitizer build
# first, as scripts/test.sh does. Exits 0 only when every run was green.
set -uo pipefail
cd "$(dirname "$0")/.."

runs=5 loaded=3 dir=build/test
while [ $# -gt 0 ]; do
  case "$1" in
    -n) runs=$2; shift 2 ;;
    -l) loaded=$2; shift 2 ;;
    -b) dir=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "usage: $0 [-n RUNS] [-l LOADED_RUNS] [-b BUILD_DIR] [-- CTEST_ARGS...]" >&2; exit 2 ;;
  esac
done
case "$runs$loaded" in *[!0-9]*) echo "RUNS and LOADED_RUNS must be numbers" >&2; exit 2 ;; esac

scripts/setup.sh || { echo "flaky.sh: setup failed" >&2; exit 1; }
if ! scripts/build.sh "$dir" -DSANITIZE=ON -DCMAKE_BUILD_TYPE=Debug; then
  echo "flaky.sh: the build failed; no test ran" >&2
  exit 1
fi

logs=$(mktemp -d)
load_pids=()
stop_load() {
  [ ${#load_pids[@]} -gt 0 ] && kill "${load_pids[@]}" 2>/dev/null
  load_pids=()
}
trap 'stop_load; rm -rf "$logs"' EXIT

for run in $(seq 1 "$runs"); do
  label=quiet
  if [ "$run" -le "$loaded" ]; then
    label=loaded
    for _ in $(seq 1 "$(nproc)"); do
      yes > /dev/null &
      load_pids+=($!)
    done
  fi
  start=$(date +%s)
  (cd "$dir" && ctest -j "$(nproc)" "$@") > "$logs/run$run" 2>&1
  rc=$?
  stop_load
  total=$(grep -oE '[0-9]+ tests failed out of [0-9]+' "$logs/run$run" | grep -oE '[0-9]+$')
  [ -z "$total" ] && total=$(grep -oE '100% tests passed, 0 tests failed out of [0-9]+' "$logs/run$run" | grep -oE '[0-9]+$')
  if [ -z "$total" ] || [ "$total" = 0 ]; then
    echo "run $run ($label): no test ran" >&2
    tail -20 "$logs/run$run" >&2
    exit 1
  fi
  failed=$(grep -cE '^\s*[0-9]+ - .* \((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception|Child aborted)\)' "$logs/run$run")
  echo "run $run ($label): $total tests, $failed failed, exit $rc, $(( $(date +%s) - start )) s"
done

echo
failures=$(grep -hE '^\s*[0-9]+ - .* \((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception|Child aborted)\)' "$logs"/run* \
  | sed -E 's/^\s*[0-9]+ - //' | sort | uniq -c | sort -rn)
if [ -z "$failures" ]; then
  echo "every run green"
  exit 0
fi
echo "tests that failed (count, test, outcome):"
echo "$failures"
exit 1
