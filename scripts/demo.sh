#!/usr/bin/env bash
# The main job: installs what is needed, builds, and runs the installer with its trace log shown.
# Every server setting points at this machine and the loopback-only net is on, so the demo never
# sends a packet elsewhere: the statistics go to the tests' receiver (its records are printed at
# the end), the update URLs and the resolver name a loopback port where nothing answers unless
# the caller sets VKQX_UPDATE_URLS and VKQX_RESOLVERS to servers of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh default

work=$(mktemp -d)
build/tests/fixture_stat_receiver --out "$work/stat_records.jsonl" --port-file "$work/stat_port" >/dev/null &
receiver=$!
trap 'kill "$receiver" 2>/dev/null; wait "$receiver" 2>/dev/null; [ -s "$work/stat_records.jsonl" ] && cat "$work/stat_records.jsonl"; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/stat_port" ] && break; sleep 0.05; done

export VKQX_LOOPBACK_ONLY=1
export VKQX_STAT_URL="http://127.0.0.1:$(cat "$work/stat_port")/api/qx/data/rece_download_data"
export VKQX_UPDATE_URLS="${VKQX_UPDATE_URLS:-http://127.0.0.1:9/vkinstall.txt}"
export VKQX_RESOLVERS="${VKQX_RESOLVERS:-127.0.0.1:9}"
export VKQX_TEST_HOST="${VKQX_TEST_HOST:-nettest.test}"
export VKQX_SPARE_IPS="${VKQX_SPARE_IPS:-}"
export VKQX_LICENSE_URL="${VKQX_LICENSE_URL:-http://127.0.0.1:9/licence.html}"
VKQX_TRACE_STDERR=1 build/bin/installer "$@"
