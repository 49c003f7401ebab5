#!/usr/bin/env bash
# Download benchmarks of dlcli against its peers, on 127.0.0.1 only.
#
#   bench/run.sh [DLCLI]        (default: a Release build in build/bench-release, made if missing)
#   REPS=N bench/run.sh         (runs of each download, default 5)
#
# Starts nginx from Debian on 127.0.0.1 (installed with apt-get when missing, as are curl and
# aria2), serves a 512 MiB and a 64 MiB file of random bytes, and runs each download REPS times,
# the tools taking turns so a slow spell of the machine hits all of them alike:
#   1. 512 MiB unthrottled: dlcli, curl (one stream), aria2c -x4 -s4 -k1M;
#   2. 64 MiB with limit_rate 8m per connection: dlcli and aria2c -x4 -s4 -k1M, against the
#      ideal size / (workers x 8 MiB/s);
#   3. the processor time dlcli spends above what moving its bytes costs, during a long
#      throttled download (64 MiB in 4 slices at limit_rate 2m, about 8 s), against curl moving
#      the same 64 MiB unthrottled;
#   4. peak RSS of dlcli for 64 MiB and 512 MiB (it must not grow with the file);
#   5. 64 MiB behind a server that ignores Range (nginx max_ranges 0) at limit_rate 3m, so one
#      stream takes longer than the 20 s transfer time-out: dlcli against curl (one stream).
# ONLY=norange runs case 5 alone.
# Wall, user+system CPU and peak RSS come from GNU time; every figure reported is the median of
# the runs, with min and max beside it; ratios are ratios of medians. Results go to stdout and to
# $BENCH_DIR/results.txt, every single run to $BENCH_DIR/raw.txt. Everything the script starts it
# stops again.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
BENCH_DIR=${BENCH_DIR:-/tmp/kerfo-bench}
PORT=${PORT:-18181}
REPS=${REPS:-5}
mkdir -p "$BENCH_DIR"/{www,logs,tmp,dl}

need=()
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || need+=(nginx-light)
command -v aria2c >/dev/null || need+=(aria2)
command -v curl >/dev/null || need+=(curl)
[ -x /usr/bin/time ] || need+=(time)
command -v bc >/dev/null || need+=(bc)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi
NGINX=$(command -v nginx || echo /usr/sbin/nginx)

DLCLI=${1:-}
if [ -z "$DLCLI" ]; then
  cmake -S "$here" -B "$here/build/bench-release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$here/build/bench-release" -j "$(nproc)" --target dlcli >/dev/null
  DLCLI=$here/build/bench-release/tools/dlcli/dlcli
fi

[ -f "$BENCH_DIR/www/f512.bin" ] || head -c $((512 << 20)) /dev/urandom >"$BENCH_DIR/www/f512.bin"
[ -f "$BENCH_DIR/www/f64.bin" ] || head -c $((64 << 20)) /dev/urandom >"$BENCH_DIR/www/f64.bin"

cat >"$BENCH_DIR/nginx.conf" <<CONF
worker_processes 1;
pid $BENCH_DIR/nginx.pid;
error_log $BENCH_DIR/logs/error.log;
daemon on;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $BENCH_DIR/tmp;
  proxy_temp_path $BENCH_DIR/tmp;
  fastcgi_temp_path $BENCH_DIR/tmp;
  uwsgi_temp_path $BENCH_DIR/tmp;
  scgi_temp_path $BENCH_DIR/tmp;
  sendfile on;
  server {
    listen 127.0.0.1:$PORT;
    root $BENCH_DIR/www;
    location /slow/ { alias $BENCH_DIR/www/; limit_rate 8m; }
    location /crawl/ { alias $BENCH_DIR/www/; limit_rate 2m; }
    location /norange/ { alias $BENCH_DIR/www/; limit_rate 3m; max_ranges 0; }
  }
}
CONF
"$NGINX" -c "$BENCH_DIR/nginx.conf"
stop() { [ -f "$BENCH_DIR/nginx.pid" ] && kill "$(cat "$BENCH_DIR/nginx.pid")" 2>/dev/null || true; }
trap stop EXIT
sleep 0.5
base=http://127.0.0.1:$PORT
# Every run reads the served files from the page cache.
cat "$BENCH_DIR/www/f512.bin" "$BENCH_DIR/www/f64.bin" >/dev/null

# once NAME CMD... -> appends "NAME wall cpu rss_kb" to raw.txt
once() {
  local name=$1
  shift
  rm -rf "$BENCH_DIR/dl" && mkdir -p "$BENCH_DIR/dl"
  sync
  /usr/bin/time -f "%e %U %S %M" -o "$BENCH_DIR/time.txt" "$@" >/dev/null 2>&1
  read -r wall user sys rss <"$BENCH_DIR/time.txt"
  cpu=$(echo "$user + $sys" | bc -l)
  echo "$name $wall $cpu $rss" >>"$BENCH_DIR/raw.txt"
}
# pick NAME FIELD median|min|max  (fields: 2 wall, 3 cpu, 4 rss)
pick() {
  local values
  values=$(grep "^$1 " "$BENCH_DIR/raw.txt" | cut -d' ' -f"$2" | sort -g)
  case $3 in
    min) echo "$values" | head -1 ;;
    max) echo "$values" | tail -1 ;;
    median)
      local n
      n=$(echo "$values" | wc -l)
      if [ $((n % 2)) = 1 ]; then
        echo "$values" | sed -n "$(((n + 1) / 2))p"
      else
        echo "scale=3; ($(echo "$values" | sed -n "$((n / 2))p") + $(echo "$values" | sed -n "$((n / 2 + 1))p")) / 2" | bc -l
      fi ;;
  esac
}
show() {
  local name=$1
  printf '%-16s wall %6.2fs (%.2f-%.2f)  cpu %6.2fs (%.2f-%.2f)  rss %7d KiB (%d-%d)\n' "$name" \
    "$(pick "$name" 2 median)" "$(pick "$name" 2 min)" "$(pick "$name" 2 max)" \
    "$(pick "$name" 3 median)" "$(pick "$name" 3 min)" "$(pick "$name" 3 max)" \
    "$(pick "$name" 4 median | cut -d. -f1)" "$(pick "$name" 4 min)" "$(pick "$name" 4 max)"
}
# rounds "NAME CMD..." ... : REPS rounds in which each command runs once, then one line per name.
rounds() {
  local r spec
  for r in $(seq "$REPS"); do
    for spec in "$@"; do eval "once $spec"; done
  done
  for spec in "$@"; do show "${spec%% *}"; done
}
get() { pick "$1" "$2" median; }
ratio() { echo "scale=2; $1 / $2" | bc -l; }

: >"$BENCH_DIR/raw.txt"
workers=$(( $(nproc) * 8 / 5 )); [ "$workers" -lt 4 ] && workers=4
norange() {
echo "--- 64 MiB behind a server that ignores Range, limit_rate 3m"
rounds \
  'dlcli-64-norange "$DLCLI" "$base/norange/f64.bin" "$BENCH_DIR/dl/f.bin" --rounds 1' \
  'curl-64-norange curl -s -o "$BENCH_DIR/dl/f.bin" "$base/norange/f64.bin"'
echo "dlcli/curl   wall $(ratio "$(get dlcli-64-norange 2)" "$(get curl-64-norange 2)")"
}
if [ "${ONLY:-}" = norange ]; then
  { echo "machine: $(nproc) cores, $(uname -r); workers: $workers; $(date -u +%F); $REPS runs each, median (min-max)"; norange; } | tee "$BENCH_DIR/results.txt"
  exit 0
fi
{
echo "machine: $(nproc) cores, $(uname -r); workers: $workers; $(date -u +%F); $REPS runs each, median (min-max)"
echo "--- 512 MiB unthrottled"
rounds \
  'dlcli-512 "$DLCLI" "$base/f512.bin" "$BENCH_DIR/dl/f.bin" --rounds 1' \
  'curl-512 curl -s -o "$BENCH_DIR/dl/f.bin" "$base/f512.bin"' \
  'aria2c-512 aria2c -q -x4 -s4 -k1M --allow-overwrite=true -d "$BENCH_DIR/dl" -o f.bin "$base/f512.bin"'
echo "dlcli/curl   wall $(ratio "$(get dlcli-512 2)" "$(get curl-512 2)")  cpu $(ratio "$(get dlcli-512 3)" "$(get curl-512 3)")  rss $(ratio "$(get dlcli-512 4)" "$(get curl-512 4)")"
echo "dlcli/aria2c wall $(ratio "$(get dlcli-512 2)" "$(get aria2c-512 2)")  cpu $(ratio "$(get dlcli-512 3)" "$(get aria2c-512 3)")  rss $(ratio "$(get dlcli-512 4)" "$(get aria2c-512 4)")"
echo "--- 64 MiB, limit_rate 8m per connection"
rounds \
  'dlcli-64-slow "$DLCLI" "$base/slow/f64.bin" "$BENCH_DIR/dl/f.bin" --rounds 1' \
  'aria2c-64-slow aria2c -q -x4 -s4 -k1M --allow-overwrite=true -d "$BENCH_DIR/dl" -o f.bin "$base/slow/f64.bin"'
ideal=$(echo "scale=3; 64 / ($workers * 8)" | bc -l)
echo "ideal $ideal s; dlcli/ideal $(ratio "$(get dlcli-64-slow 2)" "$ideal")  dlcli/aria2c wall $(ratio "$(get dlcli-64-slow 2)" "$(get aria2c-64-slow 2)")  cpu $(ratio "$(get dlcli-64-slow 3)" "$(get aria2c-64-slow 3)")"
echo "--- processor time while throttled (64 MiB, 4 slices, limit_rate 2m)"
rounds \
  'dlcli-64-crawl "$DLCLI" "$base/crawl/f64.bin" "$BENCH_DIR/dl/f.bin" --rounds 1 --slice-num 4 --timeout 3,60' \
  'curl-64 curl -s -o "$BENCH_DIR/dl/f.bin" "$base/f64.bin"'
over=$(echo "scale=4; 100 * ($(get dlcli-64-crawl 3) - $(get curl-64 3)) / $(get dlcli-64-crawl 2)" | bc -l)
printf 'dlcli cpu above moving its bytes: %.2f%% of one core\n' "$over"
echo "--- memory"
rounds 'dlcli-64 "$DLCLI" "$base/f64.bin" "$BENCH_DIR/dl/f.bin" --rounds 1'
echo "dlcli peak rss 512 MiB / 64 MiB: $(ratio "$(get dlcli-512 4)" "$(get dlcli-64 4)")"
norange
} | tee "$BENCH_DIR/results.txt"
