#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a short time (FUZZ_SECONDS, default 20 each),
# starting from the seed corpus in tests/fuzz/corpus/<target>/ when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-fuzz}"
seconds="${FUZZ_SECONDS:-20}"
shopt -s nullglob
targets=("$dir"/fuzz/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no fuzz targets built"
  exit 0
fi
passed=0
failed=0
for t in "${targets[@]}"; do
  name=$(basename "$t")
  work=$(mktemp -d)
  seeds=()
  [ -d "tests/fuzz/corpus/$name" ] && seeds=("tests/fuzz/corpus/$name")
  if "$t" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$work/" "$work" "${seeds[@]}" >"$work/log" 2>&1; then
    echo "fuzz: $name ok ($(grep -c . "$work/log") log lines)"
    passed=$((passed + 1))
  else
    echo "fuzz: $name FAILED"; tail -40 "$work/log"
    failed=$((failed + 1))
  fi
  rm -rf "$work"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
