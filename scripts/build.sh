#!/usr/bin/env bash
# Configures and builds the project.
#   scripts/build.sh            the normal build, into build/
#   scripts/build.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer, into build-asan/
#   scripts/build.sh tsan       ThreadSanitizer, into build-tsan/
#   scripts/build.sh fuzz       the libFuzzer targets (clang), into build-fuzz/
# Extra arguments go to CMake's configure step. Warnings are errors when CI is set.
set -euo pipefail
cd "$(dirname "$0")/.."

kind="${1:-default}"
[ $# -gt 0 ] && shift
args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
[ -n "${CI:-}" ] && args+=(-DVKQX_WERROR=ON)
if command -v ccache >/dev/null; then
  args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
case "$kind" in
  default) dir=build ;;
  asan) dir=build-asan; args+=(-DVKQX_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug) ;;
  tsan) dir=build-tsan; args+=(-DVKQX_SANITIZE=thread) ;;
  fuzz) dir=build-fuzz; args+=(-DVKQX_FUZZ=ON -DVKQX_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "usage: $0 [default|asan|tsan|fuzz] [cmake args...]" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" "${args[@]}" "$@" >/dev/null
# VKQX_BUILD_TARGETS (space separated) builds only those targets instead of everything; "none"
# only configures.
[ "${VKQX_BUILD_TARGETS:-}" = none ] && exit 0
targets=()
[ -n "${VKQX_BUILD_TARGETS:-}" ] && read -r -a targets <<<"$VKQX_BUILD_TARGETS" && targets=(--target "${targets[@]}")
cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
