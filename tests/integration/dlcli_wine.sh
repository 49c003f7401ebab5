#!/usr/bin/env bash
# dlcli.exe under wine against a local range server: whole downloads checked by MD5 at sizes
# around the slice boundaries, and the download file held by a running program (the engine ends
# the holder and retries). Usage: dlcli_wine.sh DLCLI_EXE PYTHON3 RANGE_SERVER_PY
set -euo pipefail
dlcli=$1
python=$2
server_py=$3
work=$(mktemp -d)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
own_prefix=
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=$work/prefix
  own_prefix=1
fi
server_pid=
holder=
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  # Only a prefix made here is shut down; a shared one may serve other tests.
  [ -n "$own_prefix" ] && wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/dl"
"$python" "$server_py" "$work/www" "$work/port" 300 &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

failed=0
passed=0
check() {  # name, expected status, command...
  local name=$1 expected=$2
  shift 2
  local status=0
  "$@" >"$work/out.txt" 2>&1 || status=$?
  if [ "$status" = "$expected" ]; then
    passed=$((passed + 1))
    echo "ok: $name"
  else
    failed=$((failed + 1))
    echo "FAILED: $name (status $status, expected $expected)"
    tail -20 "$work/out.txt" || true
  fi
}

for size in 1048576 4194304 4194305 10485760; do
  head -c "$size" /dev/urandom >"$work/www/f$size.bin"
  md5=$(md5sum "$work/www/f$size.bin" | cut -c1-32)
  check "download $size" 0 wine "$dlcli" "http://127.0.0.1:$port/f$size.bin" \
    "$(winepath -w "$work/dl/f$size.bin")" --md5 "$md5"
  cmp -s "$work/www/f$size.bin" "$work/dl/f$size.bin" && passed=$((passed + 1)) ||
    { failed=$((failed + 1)); echo "FAILED: bytes of $size"; }
done

# A file of 1 byte is too small for a main download (status 15).
head -c 1 /dev/urandom >"$work/www/one.bin"
check "one byte main download" 15 wine "$dlcli" "http://127.0.0.1:$port/one.bin" \
  "$(winepath -w "$work/dl/one.bin")" --rounds 1

# The download target is the image of a running program: a copy of dlcli that waits on a
# stalled reply. The engine ends it and downloads into the file.
cp "$dlcli" "$work/dl/held.exe"
head -c 2097152 /dev/urandom >"$work/www/held.bin"
wine "$work/dl/held.exe" "http://127.0.0.1:$port/stall/held.bin" \
  "$(winepath -w "$work/dl/held-out.bin")" --rounds 1 >/dev/null 2>&1 &
holder=$!
# The holder's image is locked once wine has started it.
for _ in $(seq 300); do pgrep -f "$work/dl/held.exe" >/dev/null && break; sleep 0.1; done
sleep 1
md5=$(md5sum "$work/www/held.bin" | cut -c1-32)
check "held file" 0 wine "$dlcli" "http://127.0.0.1:$port/held.bin" \
  "$(winepath -w "$work/dl/held.exe")" --md5 "$md5" --log "$(winepath -w "$work/held.log")"
grep -a "local file is NULL error code = 32" "$work/held.log" >/dev/null &&
  passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAILED: no sharing violation seen"; }
kill "$holder" 2>/dev/null || true
holder=

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
