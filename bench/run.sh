#!/usr/bin/env bash
# Download benchmarks on loopback: vkdl, aria2c, curl and the ideal block client (one request per
# source, or two: block_client2) side by side on one file served by nginx from three addresses, in
# five shapes:
#   a  nothing limiting but the machine
#   b  each address held to BENCH_RATE_MIB MiB/s (default 24) by rate_proxy
#   c  as b, with BENCH_RTT_MS (default 40) of round trip added to every connection
#   d  48 MiB/s per address and 80 ms of round trip: a fast link far away
#   e  1 MiB/s per address and 40 ms of round trip: a slow link (a smaller file, BENCH_SLOW_SIZE_MB)
# Usage: bench/run.sh [--quick] [--shapes a,b,c,d,e]
#   --quick        a small file (16 MiB unless BENCH_SIZE_MB is set) on shape c only: a smoke run
#   --shapes LIST  the shapes to run, comma separated
# Environment: BENCH_SIZE_MB (default 1024), BENCH_SLOW_SIZE_MB (shape e, default 24),
# BENCH_REPEAT (rounds: each round runs every tool once, in turn, and the table shows the medians;
# default 3), BENCH_BUILD_DIR (default build), BENCH_TMPDIR (where the file and downloads go),
# BENCH_TOOL_TIMEOUT (seconds per run, default 600), BENCH_TOOLS (comma separated, default
# vkdl,aria2c,aria2c_nomd5,curl,block_client,block_client2; vkdl_base runs the vkdl program
# named by BENCH_BASE_VKDL, another build to compare with), BENCH_KEEP_LOGS=1 (print the logs'
# path and keep them).
# Exits non-zero when a tool's download failed or its MD5 was wrong.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build}
quick=0
shapes="a,b,c,d,e"
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1; shapes="c" ;;
    --shapes) shapes=${2:?--shapes needs a list}; shift ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
if [ "$quick" = 1 ]; then size_mb=${BENCH_SIZE_MB:-16}; else size_mb=${BENCH_SIZE_MB:-1024}; fi
slow_size_mb=${BENCH_SLOW_SIZE_MB:-24}
repeat=${BENCH_REPEAT:-3}
rate_mib=${BENCH_RATE_MIB:-24}
rtt_ms=${BENCH_RTT_MS:-40}
tool_timeout=${BENCH_TOOL_TIMEOUT:-600}
# Shapes d and e: a fast link far away, a slow link.
far_rate_mib=48
far_rtt_ms=80
slow_rate_mib=1
slow_rtt_ms=40
for v in size_mb slow_size_mb repeat rate_mib rtt_ms tool_timeout; do
  [[ ${!v} =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: $v must be a positive whole number, not '${!v}'" >&2; exit 2; }
done
rate=$((rate_mib << 20))
IFS=, read -r -a shape_list <<<"$shapes"
for s in "${shape_list[@]}"; do
  case "$s" in a|b|c|d|e) ;; *) echo "run.sh: unknown shape $s" >&2; exit 2 ;; esac
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

# Each tool run gets a proxy of its own, so that its counters (connections per address, the most
# open at one time) are that run's alone.
start_proxy() {  # rate delay_ms: sets proxy_port
  local attempt port i
  for attempt in $(seq 20); do
    port=$((20000 + RANDOM % 40000))
    port_in_use "$port" && continue
    : >"$tmp/proxy.out"
    : >"$tmp/proxy.run.log"
    "$rate_proxy" --rate "$1" --delay-ms "$2" --max-seconds $((tool_timeout + 60)) \
      --listen "127.0.0.1:$port=127.0.0.1:$nginx_port" \
      --listen "127.0.0.2:$port=127.0.0.2:$nginx_port" \
      --listen "127.0.0.3:$port=127.0.0.3:$nginx_port" >"$tmp/proxy.out" 2>"$tmp/proxy.run.log" &
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
  cat "$tmp/proxy.run.log" >&2 || true
  exit 1
}

# Stops the proxy; sets `conns` to "total/most-at-a-time" per address, as "3/1 3/1 3/1".
stop_proxy() {
  stop_pid "$proxy_pid"
  proxy_pid=""
  cat "$tmp/proxy.run.log" >>"$tmp/proxy.log"
  conns=$(awk '/connections, at most/ { for (i = 1; i <= NF; i++) if ($i == "connections,") t = $(i - 1);
                                        for (i = 1; i <= NF; i++) if ($i == "most") m = $(i + 1);
                                        printf "%s%s/%s", sep, t, m; sep = " " }' "$tmp/proxy.run.log")
  [ -n "$conns" ] || conns="-"
}

# The command line of one tool for the current port and file, into the array `cmd`.
tool_command() {  # tool dir
  local u1="http://127.0.0.1:$port/$file" u2="http://127.0.0.2:$port/$file" u3="http://127.0.0.3:$port/$file"
  case "$1" in
    vkdl|vkdl_base)
      local program=$vkdl
      [ "$1" = vkdl_base ] && program=${BENCH_BASE_VKDL:?vkdl_base needs BENCH_BASE_VKDL}
      cmd=(env "XDG_DATA_HOME=$2/xdg" "$program" --url "$u1" --size "$size" --md5 "$md5"
           --ips "127.0.0.2;127.0.0.3" --out "$2/out.bin") ;;
    # aria2c checks the same MD5 as vkdl, so that both do the same work; aria2c_nomd5 is the
    # transfer alone.
    aria2c) cmd=(aria2c --no-conf -q -x3 -s3 -k1M --file-allocation=none --allow-overwrite=true
                 --auto-file-renaming=false "--checksum=md5=$md5" -d "$2" -o out.bin "$u1" "$u2" "$u3") ;;
    aria2c_nomd5) cmd=(aria2c --no-conf -q -x3 -s3 -k1M --file-allocation=none --allow-overwrite=true
                       --auto-file-renaming=false -d "$2" -o out.bin "$u1" "$u2" "$u3") ;;
    curl) cmd=(curl -q --no-progress-meter -f -o "$2/out.bin" "$u1") ;;
    block_client) cmd=("$block_client" --url "$u1" --pin 127.0.0.2 --pin 127.0.0.3 --size "$size"
                       --out "$2/out.bin") ;;
    block_client2) cmd=("$block_client" --url "$u1" --pin 127.0.0.2 --pin 127.0.0.3 --size "$size"
                        --in-flight 2 --out "$2/out.bin") ;;
  esac
}

# Runs one tool once on the current shape; sets `line` to "wall cpu peak_kb conns status". It runs
# in the script's own shell so that the exit trap knows the tool's process.
run_once() {  # shape tool
  local dir=$tmp/run/$1-$2 start end rc=0 got status=ok
  rm -rf "$dir"
  mkdir -p "$dir"
  conns="-"
  [ -n "$proxy_rate" ] && { start_proxy "$proxy_rate" "$proxy_delay"; port=$proxy_port; }
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
  [ -n "$proxy_rate" ] && stop_proxy
  if [ "$rc" != 0 ]; then
    status=FAILED
  else
    got=$(md5sum "$dir/out.bin" 2>/dev/null | cut -d' ' -f1 || true)
    [ "$got" = "$md5" ] || status=FAILED
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
  line=$(awk -v s="$start" -v e="$end" -v u="$user" -v y="$sys" -v m="$peak" -v c="${conns// /,}" -v st="$status" \
    'BEGIN { printf "%.3f %.3f %d %s %s\n", e - s, u + y, m, c, st }')
  rm -rf "$dir"
}

# The median of the numbers given (the lower middle one for an even count).
median() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# Folds the runs of one tool on one shape into its table entry: the median wall time, CPU time and
# peak memory, the connections of the run with the most open at a time, FAILED if any run failed.
summarise() {  # shape tool
  local key=$1:$2 walls=() cpus=() peaks=() worst="-" worst_max=-1 failed=0 r w c p n st most
  if [ "$2" = vkdl ] && [ ! -x "$vkdl" ]; then
    result[$key]="- - - - not built"
    return
  fi
  while read -r w c p n st; do
    [ -n "$w" ] || continue
    walls+=("$w"); cpus+=("$c"); peaks+=("$p")
    [ "$st" = FAILED ] && failed=1
    most=$(tr ', ' '\n\n' <<<"$n" | awk -F/ 'NF == 2 && $2 > m { m = $2 } END { print m + 0 }')
    if [ "$n" != "-" ] && [ "$most" -gt "$worst_max" ]; then worst=$n; worst_max=$most; fi
  done <<<"${runs[$key]}"
  st=ok
  [ "$failed" = 1 ] && st=FAILED
  result[$key]="$(median "${walls[@]}") $(median "${cpus[@]}") $(median "${peaks[@]}") $worst $st"
}

IFS=, read -r -a tools <<<"${BENCH_TOOLS:-vkdl,aria2c,aria2c_nomd5,curl,block_client,block_client2}"
for tool in "${tools[@]}"; do
  case "$tool" in vkdl|vkdl_base|aria2c|aria2c_nomd5|curl|block_client|block_client2) ;; *) echo "run.sh: unknown tool $tool" >&2; exit 2 ;; esac
done
declare -A result runs

mkdir -p "$tmp/www" "$tmp/run"
slow_mb=$((slow_size_mb < size_mb ? slow_size_mb : size_mb))
echo "generating a ${size_mb} MiB test file (and ${slow_mb} MiB for shape e)" >&2
head -c $((size_mb << 20)) /dev/urandom >"$tmp/www/file.bin"
head -c $((slow_mb << 20)) "$tmp/www/file.bin" >"$tmp/www/slow.bin"
file_md5=$(md5sum "$tmp/www/file.bin" | cut -d' ' -f1)
slow_md5=$(md5sum "$tmp/www/slow.bin" | cut -d' ' -f1)
start_nginx

for shape in "${shape_list[@]}"; do
  file=file.bin; size=$((size_mb << 20)); md5=$file_md5
  proxy_rate=""; proxy_delay=0; port=$nginx_port
  case "$shape" in
    a) echo "shape a: nothing limiting but the machine" >&2 ;;
    b) proxy_rate=$rate; echo "shape b: ${rate_mib} MiB/s per address" >&2 ;;
    c) proxy_rate=$rate; proxy_delay=$((rtt_ms / 2))
       echo "shape c: ${rate_mib} MiB/s per address, ${rtt_ms} ms round trip" >&2 ;;
    d) proxy_rate=$((far_rate_mib << 20)); proxy_delay=$((far_rtt_ms / 2))
       echo "shape d: ${far_rate_mib} MiB/s per address, ${far_rtt_ms} ms round trip" >&2 ;;
    e) proxy_rate=$((slow_rate_mib << 20)); proxy_delay=$((slow_rtt_ms / 2))
       file=slow.bin; size=$((slow_mb << 20)); md5=$slow_md5
       echo "shape e: ${slow_rate_mib} MiB/s per address, ${slow_rtt_ms} ms round trip, ${slow_mb} MiB" >&2 ;;
  esac
  # Rounds of every tool in turn: a change in the machine's load touches every tool alike.
  for round in $(seq "$repeat"); do
    for tool in "${tools[@]}"; do
      [ "$tool" = vkdl ] && [ ! -x "$vkdl" ] && continue
      run_once "$shape" "$tool"
      runs[$shape:$tool]+="$line"$'\n'
      printf '  %s round %d %-13s %s\n' "$shape" "$round" "$tool" "$line" >&2
    done
  done
  for tool in "${tools[@]}"; do summarise "$shape" "$tool"; done
done

# The table: one row per shape and tool, with ratios to aria2c and to the block client.
echo
printf 'file %d MiB (e: %d MiB) from 3 addresses, medians of %d alternating runs; per address: b %d MiB/s, c %d MiB/s + %d ms, d %d MiB/s + %d ms, e %d MiB/s + %d ms\n' \
  "$size_mb" "$slow_mb" "$repeat" "$rate_mib" "$rate_mib" "$rtt_ms" "$far_rate_mib" "$far_rtt_ms" \
  "$slow_rate_mib" "$slow_rtt_ms"
printf '%-5s %-13s %8s %8s %8s %-9s %8s %8s %8s %8s %8s  %s\n' shape tool 'wall s' 'cpu s' 'peak MB' md5 \
  'wall/ar' 'wall/an' 'wall/bc' 'cpu/ar' 'mem/ar' 'connections per address (total/most at once)'
any_failed=0
for shape in "${shape_list[@]}"; do
  read -r aw ac am _ _ <<<"${result[$shape:aria2c]:-}"
  read -r nw _ _ _ _ <<<"${result[$shape:aria2c_nomd5]:-}"
  read -r bw _ _ _ _ <<<"${result[$shape:block_client]:-}"
  for tool in "${tools[@]}"; do
    read -r w c m n st <<<"${result[$shape:$tool]}"
    [ "$st" = FAILED ] && any_failed=1
    awk -v shape="$shape" -v tool="$tool" -v w="$w" -v c="$c" -v m="$m" -v n="$n" -v st="$st" \
        -v aw="${aw:-}" -v ac="${ac:-}" -v am="${am:-}" -v nw="${nw:-}" -v bw="${bw:-}" '
      function ratio(x, y) { return (x ~ /^[0-9.]+$/ && y ~ /^[0-9.]+$/ && y > 0) ? sprintf("%.2f", x / y) : "-" }
      BEGIN {
        if (st == "not built") { printf "%-5s %-13s %s\n", shape, tool, "not built"; exit }
        gsub(",", " ", n)
        printf "%-5s %-13s %8.3f %8.3f %8.1f %-9s %8s %8s %8s %8s %8s  %s\n", shape, tool, w, c, m / 1024, st,
               ratio(w, aw), ratio(w, nw), ratio(w, bw), ratio(c, ac), ratio(m, am), n
      }'
  done
done
echo "ratios: wall time / that of aria2c checking the MD5 (ar), of aria2c without the check (an) and of"
echo "block_client (bc); CPU time and peak memory / those of aria2c checking the MD5"
echo "load: $(uptime | sed 's/.*load average/load average/')"
if [ -s "$tmp/failures.log" ]; then
  echo >&2
  cat "$tmp/failures.log" >&2
fi
exit "$any_failed"
