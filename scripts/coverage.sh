#!/usr/bin/env bash
# coverage.sh [-b BUILD_DIR] [-o REPORT.json] [-- CTEST_ARGS...]
#
# Builds with gcov line coverage (default build/coverage), runs the whole
# suite (or what CTEST_ARGS select) and prints the line coverage of the
# product code per folder. A test that fails is reported but does not stop
# the report: coverage of a red suite is still worth reading.
# -o keeps gcovr's per-file JSON summary, for comparing two runs file by file.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

dir=build/coverage report=""
while [ $# -gt 0 ]; do
  case "$1" in
    -b) dir=$2; shift 2 ;;
    -o) report=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "usage: $0 [-b BUILD_DIR] [-o REPORT.json] [-- CTEST_ARGS...]" >&2; exit 2 ;;
  esac
done

scripts/setup.sh || { echo "coverage.sh: setup failed" >&2; exit 1; }
if ! scripts/build.sh "$dir" -DCOVERAGE=ON -DCMAKE_BUILD_TYPE=Debug -DBUILD_BENCH=OFF; then
  echo "coverage.sh: the build failed" >&2
  exit 1
fi
find "$dir" -name '*.gcda' -delete
(cd "$dir" && ctest -j "$(nproc)" "$@") > "$dir/coverage-ctest.log" 2>&1
grep -E 'tests passed|tests failed' "$dir/coverage-ctest.log" || {
  echo "coverage.sh: no test ran (see $dir/coverage-ctest.log)" >&2
  exit 1
}

summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
gcovr --root "$root" --object-directory "$dir" \
  --filter "$root/(foundation|http|proxy|viewer)/" \
  --exclude '.*_autogen/.*' --gcov-ignore-parse-errors \
  --json-summary "$summary" --json-summary-pretty >/dev/null 2>"$dir/gcovr.log" || {
  echo "coverage.sh: gcovr failed (see $dir/gcovr.log)" >&2
  exit 1
}
[ -n "$report" ] && cp "$summary" "$report"

python3 - "$summary" <<'EOF'
import json, sys
files = json.load(open(sys.argv[1]))["files"]
folders = {}
for f in files:
    parts = f["filename"].split("/")
    key = "/".join(parts[:2]) if parts[0] in ("proxy", "viewer") else parts[0]
    if parts[0] == "viewer" and parts[1] == "app":
        key = "/".join(parts[:3]) if len(parts) > 3 else key
    total, covered = folders.get(key, (0, 0))
    folders[key] = (total + f["line_total"], covered + f["line_covered"])
print(f"{'folder':22} {'lines':>7} {'covered':>8} {'percent':>8}")
all_total = all_covered = 0
for key in sorted(folders):
    total, covered = folders[key]
    all_total += total
    all_covered += covered
    print(f"{key:22} {total:7d} {covered:8d} {100.0 * covered / max(total, 1):7.1f}%")
print(f"{'all product code':22} {all_total:7d} {all_covered:8d} {100.0 * all_covered / max(all_total, 1):7.1f}%")
EOF
