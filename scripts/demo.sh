#!/usr/bin/env bash
# The main job: installs what is needed, builds, starts the servers an install needs on this
# machine's loopback addresses (nginx with the install descriptor over HTTPS and HTTP and the
# package on 127.0.0.1-3, dnsmasq answering the network-test host, the statistics receiver) and
# runs the installer the way a player has it: copied into the downloads folder of a drive, with a
# drive table of its own in a temporary directory. Then it prints what was installed, the
# launcher's command line and the statistics record received, stops its servers and exits with
# the installer's exit code.
#
#   scripts/demo.sh              windowed when a display is available, hidden otherwise
#   scripts/demo.sh --hidden     hidden mode (no window)
#   scripts/demo.sh --windowed   the window on the current display
#   scripts/demo.sh --xvfb DIR   the window on a private Xvfb, clicked through as a person would,
#                                with a screenshot of each page saved into DIR
#
# Every server setting points at loopback and the loopback-only net is on, so nothing leaves the
# machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

mode=auto
shots=
while [ $# -gt 0 ]; do
  case "$1" in
    --hidden) mode=hidden ;;
    --windowed) mode=windowed ;;
    --xvfb) mode=xvfb; shots="${2:?--xvfb needs a folder}"; shift ;;
    *) echo "usage: $0 [--hidden | --windowed | --xvfb DIR]" >&2; exit 2 ;;
  esac
  shift
done
if [ "$mode" = auto ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then mode=windowed; else mode=hidden; fi
fi

[ -n "${VKQX_DEMO_SKIP_SETUP:-}" ] || bash scripts/install-deps.sh
[ -n "${VKQX_DEMO_SKIP_SETUP:-}" ] || bash scripts/build.sh default

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A slow enough download that the progress page can be seen (and photographed).
rate=
[ "$mode" != hidden ] && rate=(--limit-rate 250k) || rate=()
build/tests/fixture_install_servers --package build/bin/vkinstaller.exe --env "$work/servers.env" \
  --records "$work/stat_records.jsonl" "${rate[@]}" >"$work/servers.log" 2>&1 &
pids+=($!)
for _ in $(seq 600); do [ -s "$work/servers.env" ] && break; sleep 0.05; done
[ -s "$work/servers.env" ] || { cat "$work/servers.log" >&2; echo "demo: the servers did not start" >&2; exit 1; }
# shellcheck disable=SC1091
source "$work/servers.env"

# The player's machine: drives C: and D:, the installer in D:\Downloads.
mkdir -p "$work/c" "$work/d/Downloads" "$work/runtime"
chmod 700 "$work/runtime"
cp build/bin/installer "$work/d/Downloads/installer"
export VKQX_DRIVES="C:=$work/c;D:=$work/d"
export XDG_RUNTIME_DIR="$work/runtime"
export VKQX_LOOPBACK_ONLY=1
installer=("$work/d/Downloads/installer")

echo "demo: installer D:\\Downloads\\installer, mode $mode"
case "$mode" in
  hidden)
    set +e
    VKQX_TRACE_STDERR=1 "${installer[@]}" -h 2>"$work/trace.log"
    code=$?
    set -e
    ;;
  windowed)
    set +e
    VKQX_TRACE_STDERR=1 "${installer[@]}" 2>"$work/trace.log"
    code=$?
    set -e
    ;;
  xvfb)
    mkdir -p "$shots"
    shots=$(cd "$shots" && pwd)
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$work/display")"
    VKQX_TRACE_STDERR=1 "${installer[@]}" 2>"$work/trace.log" &
    app=$!
    pids+=("$app")
    bash -x "$root/scripts/demo-clicks.sh" "$shots" "$work/trace.log" 2>"$work/clicks.log" ||
      { tail -n 5 "$work/clicks.log" >&2; echo "demo: clicking through failed" >&2; }
    set +e
    wait "$app"
    code=$?
    set -e
    ;;
esac

echo
echo "demo: the installer ended with $code"
idfile=$(find "$work/c" "$work/d" -name tg.id -print -quit)
if [ -n "$idfile" ]; then
  dir=$(dirname "$idfile")
  rel=${dir#"$work/"}
  drive=$(printf '%s' "${rel%%/*}" | tr '[:lower:]' '[:upper:]')
  echo "demo: installed into $drive:\\$(printf '%s' "${rel#*/}" | tr / '\\'):"
  (cd "$dir" && find . -type f ! -name launcher_args.txt | sort | sed 's/^\.\//    /')
  echo "demo: tg.id holds \"$(cat "$idfile")\""
  for _ in $(seq 200); do [ -s "$dir/launcher_args.txt" ] && break; sleep 0.05; done
  if [ -s "$dir/launcher_args.txt" ]; then
    echo "demo: the launcher was started with: $(tail -n1 "$dir/launcher_args.txt")"
  else
    echo "demo: the launcher was not started"
  fi
else
  echo "demo: nothing was installed; the last lines of the installer's trace:"
  tail -n 20 "$work/trace.log"
fi
for _ in $(seq 100); do [ -s "$work/stat_records.jsonl" ] && break; sleep 0.05; done
if [ -s "$work/stat_records.jsonl" ]; then
  echo "demo: the statistics record received (signature checked):"
  if command -v python3 >/dev/null; then
    python3 -m json.tool --no-ensure-ascii "$work/stat_records.jsonl" || cat "$work/stat_records.jsonl"
  else
    cat "$work/stat_records.jsonl"
  fi
else
  echo "demo: no statistics record arrived"
fi
exit "$code"
