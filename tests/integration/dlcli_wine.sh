#!/usr/bin/env bash
# dlcli.exe under wine against the vendor services simulator on 127.0.0.1: whole downloads checked
# by MD5 at sizes around the slice boundaries, and the download file held by a running program
# (the engine ends the holder and retries).
#   dlcli_wine.sh DLCLI_EXE REPO_ROOT
# The simulator is a native program: scripts/vendor-sim finds it in a native build folder (or
# KERFO_SIM_BIN) and builds one when there is none. Exits 77 (skipped) only when no simulator
# can be had at all.
set -euo pipefail
dlcli=$1
repo=$2
work=$(mktemp -d)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
own_prefix=
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=$work/prefix
  own_prefix=1
fi
sim_started=
holder=
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null || true
  [ -n "$sim_started" ] && "$repo/scripts/vendor-sim" stop --state "$work/sim" >/dev/null 2>&1 || true
  # Only a prefix made here is shut down; a shared one may serve other tests.
  [ -n "$own_prefix" ] && wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/dl" "$work/sim"
# The holder below asks for this file and gets its headers but no body for five minutes.
cat >"$work/sim.json" <<'JSON'
{ "rules": [ { "endpoint": "Download", "method": "GET", "path": "/stalled.bin", "count": 0,
               "stall_after": 0, "stall_ms": 300000 } ] }
JSON
if ! "$repo/scripts/vendor-sim" start --state "$work/sim" --files "$work/www" \
     --scenario "$work/sim.json" --lifetime 900 >"$work/sim-start.txt" 2>&1; then
  cat "$work/sim-start.txt"
  echo "SKIPPED: the vendor simulator could not be started or built natively"
  exit 77
fi
sim_started=1
port=$(sed -n 's/.*"Download" *: *\([0-9]*\).*/\1/p' "$work/sim/endpoints.json" | head -n1)
[ -n "$port" ] || { echo "FAILED: no download port in $work/sim/endpoints.json"; exit 1; }
base=http://127.0.0.1:$port

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
  check "download $size" 0 wine "$dlcli" "$base/f$size.bin" \
    "$(winepath -w "$work/dl/f$size.bin")" --md5 "$md5"
  cmp -s "$work/www/f$size.bin" "$work/dl/f$size.bin" && passed=$((passed + 1)) ||
    { failed=$((failed + 1)); echo "FAILED: bytes of $size"; }
done

# A file of 1 byte is too small for a main download (status 15).
head -c 1 /dev/urandom >"$work/www/one.bin"
check "one byte main download" 15 wine "$dlcli" "$base/one.bin" \
  "$(winepath -w "$work/dl/one.bin")" --rounds 1

# The download target is the image of a running program: a copy of dlcli that waits on a
# stalled reply. The engine ends it and downloads into the file.
cp "$dlcli" "$work/dl/held.exe"
head -c 2097152 /dev/urandom >"$work/www/held.bin"
cp "$work/www/held.bin" "$work/www/stalled.bin"
wine "$work/dl/held.exe" "$base/stalled.bin" \
  "$(winepath -w "$work/dl/held-out.bin")" --rounds 1 >/dev/null 2>&1 &
holder=$!
# The holder's image is locked once wine has started it.
for _ in $(seq 300); do pgrep -f "$work/dl/held.exe" >/dev/null && break; sleep 0.1; done
sleep 1
md5=$(md5sum "$work/www/held.bin" | cut -c1-32)
check "held file" 0 wine "$dlcli" "$base/held.bin" \
  "$(winepath -w "$work/dl/held.exe")" --md5 "$md5" --log "$(winepath -w "$work/held.log")"
grep -a "local file is NULL error code = 32" "$work/held.log" >/dev/null &&
  passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAILED: no sharing violation seen"; }
kill "$holder" 2>/dev/null || true
holder=

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
