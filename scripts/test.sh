#!/usr/bin/env bash
# Installs what the project needs, builds it and runs every test through CTest.
#   scripts/test.sh              normal build, all tests
#   scripts/test.sh unit         normal build, the fast unit tests only
#   scripts/test.sh asan|tsan    the sanitizer builds (tsan runs the tests labelled "threaded")
#   scripts/test.sh fuzz         the fuzz targets, each for a short time
#   scripts/test.sh ci           everything CI runs: all of the above
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-all}"

bash scripts/install-deps.sh

run_ctest() {  # dir, ctest args...
  local dir=$1
  shift
  ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" "$@"
}

case "$kind" in
  all) bash scripts/build.sh default && run_ctest build ;;
  unit) bash scripts/build.sh default && run_ctest build -L unit ;;
  asan) bash scripts/build.sh asan && run_ctest build-asan ;;
  tsan) bash scripts/build.sh tsan && run_ctest build-tsan -L threaded ;;
  fuzz) bash scripts/build.sh fuzz && bash scripts/fuzz.sh build-fuzz ;;
  ci)
    bash scripts/build.sh default && run_ctest build
    bash scripts/build.sh asan && run_ctest build-asan
    bash scripts/build.sh tsan && run_ctest build-tsan -L threaded
    bash scripts/build.sh fuzz && bash scripts/fuzz.sh build-fuzz
    ;;
  *) echo "usage: $0 [all|unit|asan|tsan|fuzz|ci]" >&2; exit 2 ;;
esac
