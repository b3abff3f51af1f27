#!/usr/bin/env bash
# Download benchmarks on loopback: vkdl, aria2c, curl and the ideal block client side by side on
# one file served by nginx from three addresses, in three shapes:
#   a  nothing limiting but the machine
#   b  each address held to BENCH_RATE_MIB MiB/s (default 24) by rate_proxy
#   c  as b, with BENCH_RTT_MS (default 40) of round trip added to every connection
# Usage: bench/run.sh [--quick] [--shapes a,b,c]
#   --quick        a small file (16 MiB unless BENCH_SIZE_MB is set) on shape c only: a smoke run
#   --shapes LIST  the shapes to run, comma separated
# Environment: BENCH_SIZE_MB (default 1024), BENCH_REPEAT (runs per tool, the fastest is kept;
# default 1), BENCH_BUILD_DIR (default build), BENCH_TMPDIR (where the file and downloads go),
# BENCH_TOOL_TIMEOUT (seconds per run, default 600), BENCH_KEEP_LOGS=1 (print the logs' path and
# keep them).
# Exits non-zero when a tool's download failed or its MD5 was wrong.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build}
quick=0
shapes="a,b,c"
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1; shapes="c" ;;
    --shapes) shapes=${2:?--shapes needs a list}; shift ;;
    -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
if [ "$quick" = 1 ]; then size_mb=${BENCH_SIZE_MB:-16}; else size_mb=${BENCH_SIZE_MB:-1024}; fi
repeat=${BENCH_REPEAT:-1}
rate_mib=${BENCH_RATE_MIB:-24}
rtt_ms=${BENCH_RTT_MS:-40}
tool_timeout=${BENCH_TOOL_TIMEOUT:-600}
for v in size_mb repeat rate_mib rtt_ms tool_timeout; do
  [[ ${!v} =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: $v must be a positive whole number, not '${!v}'" >&2; exit 2; }
done
size=$((size_mb << 20))
rate=$((rate_mib << 20))
IFS=, read -r -a shape_list <<<"$shapes"
for s in "${shape_list[@]}"; do
  case "$s" in a|b|c) ;; *) echo "run.sh: unknown shape $s" >&2; exit 2 ;; esac
done

# Every request stays on loopback, whatever proxy the environment names; the engine's own net
# refuses anything else.
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY ftp_proxy FTP_PROXY no_proxy NO_PROXY
export VKQX_LOOPBACK_ONLY=1

for tool in nginx aria2c curl md5sum timeout /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "run.sh: no build in $build; run scripts/build.sh first" >&2
  exit 1
fi
cmake --build "$build" --target rate_proxy block_client >/dev/null
rate_proxy=$build/bin/rate_proxy
block_client=$build/bin/block_client
vkdl=$build/bin/vkdl

tmp=$(mktemp -d "${BENCH_TMPDIR:-${TMPDIR:-/tmp}}/vkqx-bench.XXXXXX")
nginx_pid=""
proxy_pid=""
tool_pid=""

stop_pid() {  # pid: TERM, then KILL if it has not gone after two seconds
  local pid=$1 i
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for i in $(seq 20); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  if [ -n "$tool_pid" ]; then
    # /usr/bin/time runs `timeout`, which passes the signal on to the tool.
    for child in $(ps -o pid= --ppid "$tool_pid" 2>/dev/null); do kill -TERM "$child" 2>/dev/null || true; done
    stop_pid "$tool_pid"
  fi
  stop_pid "$proxy_pid"
  stop_pid "$nginx_pid"
  if [ "${BENCH_KEEP_LOGS:-0}" = 1 ]; then
    rm -rf "$tmp/www" "$tmp/run"
    echo "logs kept in $tmp" >&2
  else
    rm -rf "$tmp"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

port_in_use() {  # port: whether anything answers on one of the three addresses
  local a
  for a in 1 2 3; do
    (exec 3<>"/dev/tcp/127.0.0.$a/$1") 2>/dev/null && return 0
  done
  return 1
}

wait_until_serving() {  # pid url: true once the url answers, false if pid ends first (5 s at most)
  local i
  for i in $(seq 50); do
    kill -0 "$1" 2>/dev/null || return 1
    curl -q -s -o /dev/null --max-time 1 "$2" && return 0
    sleep 0.1
  done
  return 1
}

write_nginx_conf() {  # port
  local dir=$tmp/nginx user_line=""
  mkdir -p "$dir"
  # As root the workers would otherwise run as nobody, who cannot read the private temp dir.
  [ "$(id -u)" = 0 ] && user_line="user $(id -un) $(id -gn);"
  cat >"$dir/nginx.conf" <<EOF
$user_line
daemon off;
worker_processes 2;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $dir/client_body;
  proxy_temp_path $dir/proxy;
  fastcgi_temp_path $dir/fastcgi;
  uwsgi_temp_path $dir/uwsgi;
  scgi_temp_path $dir/scgi;
  default_type application/octet-stream;
  sendfile on;
  tcp_nopush on;
  tcp_nodelay on;
  keepalive_timeout 60s;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$1;
    listen 127.0.0.2:$1;
    listen 127.0.0.3:$1;
    root $tmp/www;
  }
}
EOF
}

start_nginx() {
  local attempt port
  for attempt in $(seq 20); do
    port=$((20000 + RANDOM % 40000))
    port_in_use "$port" && continue
    write_nginx_conf "$port"
    nginx -p "$tmp/nginx" -e "$tmp/nginx/error.log" -c "$tmp/nginx/nginx.conf" &
    nginx_pid=$!
    if wait_until_serving "$nginx_pid" "http://127.0.0.3:$port/file.bin"; then
      nginx_port=$port
      return 0
    fi
    stop_pid "$nginx_pid"
    nginx_pid=""
  done
  echo "run.sh: nginx did not start; see its log:" >&2
  cat "$tmp/nginx/error.log" >&2 || true
  exit 1
}

start_proxy() {  # rate delay_ms: sets proxy_port
  local attempt port i
  for attempt in $(seq 20); do
    port=$((20000 + RANDOM % 40000))
    port_in_use "$port" && continue
    : >"$tmp/proxy.out"
    "$rate_proxy" --rate "$1" --delay-ms "$2" --max-seconds $((tool_timeout * 4 * repeat + 60)) \
      --listen "127.0.0.1:$port=127.0.0.1:$nginx_port" \
      --listen "127.0.0.2:$port=127.0.0.2:$nginx_port" \
      --listen "127.0.0.3:$port=127.0.0.3:$nginx_port" >"$tmp/proxy.out" 2>>"$tmp/proxy.log" &
    proxy_pid=$!
    for i in $(seq 50); do
      grep -q ready "$tmp/proxy.out" && { proxy_port=$port; return 0; }
      kill -0 "$proxy_pid" 2>/dev/null || break
      sleep 0.1
    done
    stop_pid "$proxy_pid"
    proxy_pid=""
  done
  echo "run.sh: rate_proxy did not start:" >&2
  cat "$tmp/proxy.log" >&2 || true
  exit 1
}

stop_proxy() {
  stop_pid "$proxy_pid"
  proxy_pid=""
}

# The command line of one tool for the current port, into the array `cmd`.
tool_command() {  # tool dir
  local u1="http://127.0.0.1:$port/file.bin" u2="http://127.0.0.2:$port/file.bin" u3="http://127.0.0.3:$port/file.bin"
  case "$1" in
    vkdl) cmd=(env "XDG_DATA_HOME=$2/xdg" "$vkdl" --url "$u1" --size "$size" --md5 "$source_md5"
               --ips "127.0.0.2;127.0.0.3" --out "$2/out.bin") ;;
    aria2c) cmd=(aria2c --no-conf -q -x3 -s3 -k1M --file-allocation=none --allow-overwrite=true
                 --auto-file-renaming=false -d "$2" -o out.bin "$u1" "$u2" "$u3") ;;
    curl) cmd=(curl -q --no-progress-meter -f -o "$2/out.bin" "$u1") ;;
    block_client) cmd=("$block_client" --url "$u1" --pin 127.0.0.2 --pin 127.0.0.3 --size "$size"
                       --out "$2/out.bin") ;;
  esac
}

# Runs one tool once; sets `line` to "wall cpu peak_kb status". It runs in the script's own shell
# so that the exit trap knows the tool's process.
run_once() {  # shape tool
  local dir=$tmp/run/$1-$2 start end rc=0 md5 status=ok
  rm -rf "$dir"
  mkdir -p "$dir"
  tool_command "$2" "$dir"
  # Dirty pages left by the test file or the tool before are written out first, so that no tool
  # pays for another's writeback.
  sync
  start=$EPOCHREALTIME
  /usr/bin/time -f "%U %S %M" -o "$dir/time.txt" timeout "$tool_timeout" "${cmd[@]}" \
    >"$dir/stdout.log" 2>"$dir/stderr.log" &
  tool_pid=$!
  wait "$tool_pid" || rc=$?
  tool_pid=""
  end=$EPOCHREALTIME
  if [ "$rc" != 0 ]; then
    status=FAILED
  else
    md5=$(md5sum "$dir/out.bin" 2>/dev/null | cut -d' ' -f1 || true)
    [ "$md5" = "$source_md5" ] || status=FAILED
  fi
  if [ "$status" = FAILED ]; then
    {
      echo "--- $1/$2 failed (exit $rc); its standard error:"
      tail -n 20 "$dir/stderr.log"
    } >>"$tmp/failures.log"
  fi
  cat "$dir/stderr.log" >>"$tmp/tools.log" 2>/dev/null || true
  # The last line of the time file is the measurement; a line before it may report a signal.
  read -r user sys peak < <(tail -n 1 "$dir/time.txt")
  line=$(awk -v s="$start" -v e="$end" -v u="$user" -v y="$sys" -v m="$peak" -v st="$status" \
    'BEGIN { printf "%.3f %.3f %d %s\n", e - s, u + y, m, st }')
  rm -rf "$dir"
}

# Runs one tool BENCH_REPEAT times and records the fastest run; any failed run marks it FAILED.
run_tool() {  # shape tool
  local best="" failed=0 i
  if [ "$2" = vkdl ] && [ ! -x "$vkdl" ]; then
    result["$1:$2"]="- - - not built"
    return
  fi
  for i in $(seq "$repeat"); do
    run_once "$1" "$2"
    case "$line" in *FAILED) failed=1 ;; esac
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  [ "$failed" = 1 ] && best="${best% *} FAILED"
  result["$1:$2"]=$best
  printf '  %-12s %s\n' "$2" "$best" >&2
}

tools=(vkdl aria2c curl block_client)
declare -A result

mkdir -p "$tmp/www" "$tmp/run"
echo "generating a ${size_mb} MiB test file" >&2
head -c "$size" /dev/urandom >"$tmp/www/file.bin"
source_md5=$(md5sum "$tmp/www/file.bin" | cut -d' ' -f1)
start_nginx

for shape in "${shape_list[@]}"; do
  case "$shape" in
    a) port=$nginx_port; echo "shape a: nothing limiting but the machine" >&2 ;;
    b) start_proxy "$rate" 0; port=$proxy_port
       echo "shape b: ${rate_mib} MiB/s per address" >&2 ;;
    c) start_proxy "$rate" $((rtt_ms / 2)); port=$proxy_port
       echo "shape c: ${rate_mib} MiB/s per address, ${rtt_ms} ms round trip" >&2 ;;
  esac
  for tool in "${tools[@]}"; do run_tool "$shape" "$tool"; done
  [ "$shape" = a ] || stop_proxy
done

# The table: one row per shape and tool, with ratios to aria2c and to the block client.
echo
printf 'file %d MiB from 3 addresses; b and c: %d MiB/s per address (3 x limit: %.2f s); c: +%d ms round trip\n' \
  "$size_mb" "$rate_mib" "$(awk -v m="$size_mb" -v r="$rate_mib" 'BEGIN { print m / (3 * r) }')" "$rtt_ms"
printf '%-5s %-12s %8s %8s %8s %-9s %8s %8s %8s %8s\n' shape tool 'wall s' 'cpu s' 'peak MB' md5 \
  'wall/ar' 'wall/bc' 'cpu/ar' 'mem/ar'
any_failed=0
for shape in "${shape_list[@]}"; do
  read -r aw ac am _ <<<"${result[$shape:aria2c]}"
  read -r bw _ _ _ <<<"${result[$shape:block_client]}"
  for tool in "${tools[@]}"; do
    read -r w c m st <<<"${result[$shape:$tool]}"
    [ "$st" = FAILED ] && any_failed=1
    awk -v shape="$shape" -v tool="$tool" -v w="$w" -v c="$c" -v m="$m" -v st="$st" \
        -v aw="$aw" -v ac="$ac" -v am="$am" -v bw="$bw" '
      function ratio(x, y) { return (x ~ /^[0-9.]+$/ && y ~ /^[0-9.]+$/ && y > 0) ? sprintf("%.2f", x / y) : "-" }
      BEGIN {
        if (st == "not built") { printf "%-5s %-12s %s\n", shape, tool, "not built"; exit }
        printf "%-5s %-12s %8.3f %8.3f %8.1f %-9s %8s %8s %8s %8s\n", shape, tool, w, c, m / 1024, st,
               ratio(w, aw), ratio(w, bw), ratio(c, ac), ratio(m, am)
      }'
  done
done
echo "ratios: wall/ar and wall/bc = wall time / aria2c's and / block_client's; cpu/ar, mem/ar against aria2c"
if [ -s "$tmp/failures.log" ]; then
  echo >&2
  cat "$tmp/failures.log" >&2
fi
exit "$any_failed"
