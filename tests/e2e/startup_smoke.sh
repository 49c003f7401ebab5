#!/usr/bin/env bash
# Start-up smoke test of the real executable:
#  1. an ordinary run exits 0 and writes its log at the documented path, format and exit lines;
#  2. while another process holds the single-instance lock of the same Downloader_id, a run
#     leaves at once with 0 and never reaches the exit sequence;
#  3. a lock of another Downloader_id does not stop it.
#   startup_smoke.sh INSTALLER HOLDER [RUNNER]   (RUNNER "wine" for the Win32 build)
set -uo pipefail
runner=${3:-}
work=$(mktemp -d)
trap 'touch "$work/stop"; sleep 0.3; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The run under test gets a folder of its own whose endpoints.ini sends every service to a closed
# loopback port, so no test run ever looks up or reaches a real host.
mkdir -p "$work/bin"
installer=$work/bin/$(basename "$1")
cp "$1" "$installer"
holder=$2
source "$(dirname "$0")/closed_endpoints.sh"
closed_endpoints "$work/bin/endpoints.ini"

# Under wine without a display: these runs check start-up and the exit sequence, so the window
# must not wait for a user (its creation fails and the exit sequence follows at once).
run() { if [ -n "$runner" ]; then DISPLAY= "$runner" "$@"; else "$@"; fi; }

to_windows_path() {  # a Unix path as the program sees it
  if [ -n "$runner" ]; then winepath -w "$1" 2>/dev/null; else echo "$1"; fi
}

if [ -n "$runner" ]; then
  appdata_win=$(run cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
  appdata=$(winepath -u "$appdata_win" 2>/dev/null)
else
  appdata=$work/appdata
  mkdir -p "$appdata"
  export APPDATA=$appdata
fi
logdir=$appdata/RORezivuduza/logs/BrindlecotKerfo_setup
[ -n "$appdata" ] || fail "no APPDATA"

newest_log() { ls -t "$logdir"/BrindlecotKerfo_setup_*.log 2>/dev/null | head -1; }
count_logs() { ls "$logdir"/BrindlecotKerfo_setup_*.log 2>/dev/null | wc -l; }

# 1. Ordinary run.
before=$(count_logs)
run "$installer" </dev/null >"$work/out1.txt" 2>&1
rc=$?
[ "$rc" = 0 ] || fail "ordinary run exited $rc"
[ "$(count_logs)" -gt "$before" ] || fail "no new log file in $logdir"
log=$(newest_log)
name=$(basename "$log")
[[ "$name" =~ ^BrindlecotKerfo_setup_[0-9]{17}\.log$ ]] || fail "log name $name"
grep -q ' Wait exit 1' "$log" && grep -q ' Wait exit 2' "$log" && grep -q ' Wait exit 3' "$log" \
  || fail "exit lines missing in $log"
grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},[0-9]{3}--\[Thread\]\([0-9]+\)  Wait exit 1' "$log" \
  || { cat "$log"; fail "log line format"; }
if grep -q 'DLL search not restricted' "$log"; then fail "the DLL search was not restricted"; fi
echo "ok: ordinary run logs to $name"

hold() {  # NAME: start a holder and wait until it owns the lock
  rm -f "$work/ready" "$work/stop"
  run "$holder" "$1" "$(to_windows_path "$work/ready")" "$(to_windows_path "$work/stop")" 120 \
    >/dev/null 2>&1 &
  for _ in $(seq 1 300); do [ -f "$work/ready" ] && return 0; sleep 0.1; done
  fail "holder did not take $1"
}
release() { touch "$work/stop"; wait; }

# 2. Same Downloader_id held elsewhere: leave at once.
hold VLM_Downloader_673
before=$(count_logs)
start=$(date +%s)
run "$installer" </dev/null >"$work/out2.txt" 2>&1
rc=$?
[ "$rc" = 0 ] || fail "second instance exited $rc"
log=$(newest_log)
grep -q 'single-instance lock' "$log" || fail "second instance did not log why it left"
if grep -q ' Wait exit 1' "$log"; then fail "second instance reached the exit sequence"; fi
echo "ok: second instance left after $(( $(date +%s) - start )) s"
release

# 3. Another Downloader_id held: this one goes on.
hold VLM_Downloader_999
run "$installer" </dev/null >"$work/out3.txt" 2>&1
rc=$?
[ "$rc" = 0 ] || fail "run beside another id exited $rc"
grep -q ' Wait exit 3' "$(newest_log)" || fail "run beside another id did not run through"
echo "ok: another downloader id does not block"
release

# 4. What the event log says while it is being created reaches this run's log: another object
# of the same name as its named event makes the creation fail with a log line (Windows keeps
# mutexes and events in one namespace), and that line must be in the run's file, not only on
# standard output.
if [ -n "$runner" ]; then
  hold UserLogGA4Mutex
  run "$installer" </dev/null >"$work/out4.txt" 2>&1
  log=$(newest_log)
  grep -q ' Create event failed: UserLogGA4Mutex' "$log" \
    || { cat "$work/out4.txt"; fail "the event log's creation line is missing from $log"; }
  grep -q ' Wait exit 3' "$log" || fail "run with a clashing event name did not run through"
  echo "ok: the event log's creation lines reach the run's log"
  release
fi
echo "startup smoke: all passed"
