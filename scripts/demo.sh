#!/usr/bin/env bash
# The main job: installs what is needed, builds, and runs the installer with its trace log shown.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh default
VKQX_TRACE_STDERR=1 exec build/bin/installer "$@"
