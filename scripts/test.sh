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

# The ThreadSanitizer build compiles only the tests labelled "threaded" and the programs they
# start; the fuzz build only the fuzz targets.
tsan() {
  VKQX_BUILD_TARGETS=none bash scripts/build.sh tsan
  local tests fixtures
  tests=$(ctest --test-dir build-tsan -L threaded -N | sed -n 's/^ *Test *#[0-9]*: //p' | tr '\n' ' ')
  fixtures=$(ls tests/fixtures/fixture_*.cpp 2>/dev/null | xargs -r -n1 basename | sed 's/\.cpp$//' | tr '\n' ' ')
  VKQX_BUILD_TARGETS="installer $fixtures $tests" bash scripts/build.sh tsan
  run_ctest build-tsan -L threaded
}
fuzz() {
  local targets
  targets=$(ls tests/fuzz/fuzz_*.cpp 2>/dev/null | xargs -r -n1 basename | sed 's/\.cpp$//' | tr '\n' ' ')
  VKQX_BUILD_TARGETS="$targets" bash scripts/build.sh fuzz
  bash scripts/fuzz.sh build-fuzz
}

case "$kind" in
  all) bash scripts/build.sh default && run_ctest build ;;
  unit) bash scripts/build.sh default && run_ctest build -L unit ;;
  asan) bash scripts/build.sh asan && run_ctest build-asan ;;
  tsan) tsan ;;
  fuzz) fuzz ;;
  ci)
    bash scripts/build.sh default && run_ctest build
    bash scripts/build.sh asan && run_ctest build-asan
    tsan
    fuzz
    ;;
  *) echo "usage: $0 [all|unit|asan|tsan|fuzz|ci]" >&2; exit 2 ;;
esac
