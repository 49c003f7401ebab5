#!/usr/bin/env bash
# scripts/main-job-report on made-up runs: the stage times of a complete run, a run that
# stopped early (--check fails and names what is missing), a failure with its message box,
# and what the collectors received.
#   main_job_report_test.sh SOURCE_DIR
set -uo pipefail
report=$1/scripts/main-job-report
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

line() { printf '2026-12-09 %s--[Thread](7) %s\n' "$1" "$2"; }
{
  line "23:59:58,000" " Skin package opened"
  line "23:59:59,500" "Downloader info:kerfo(1.0.0.1), 64Bit:True, proc_id=1"
  # The prefetch thread's lines come before the install click and must not end a stage.
  line "23:59:59,600" " GetCbsInfo New interface V2(Async com): 0, 500, Windows 10, 10"
  line "23:59:59,700" " GetCbsInfo TimeoutCfg is: 3,20"
  line "00:00:01,750" "UrlUsed:http://127.0.0.1:4000/x.exe"
  line "00:00:01,800" "Speed-Test Totally Take2100.00ms"
  line "00:00:01,900" "Tasks info, round begin, current =1, total = 12"
  line "00:00:22,800" "DownloadTime total use21"
  line "00:00:23,900" "[Start Install CmdLine]: /VERYSILENT"
  line "00:00:25,000" "install Finished, nWaitSeconds:1"
  line "00:00:28,000" "Install Totally Take0.5minutes And Send To Server"
  line "00:00:30,000" "Force Exit 8"
} | sed 's/^2026-12-09 00:/2026-12-10 00:/' >"$work/full.log"
cat >"$work/requests.json" <<'JSON'
[{"endpoint":"ConfigService","method":"GET","path":"/queryDownloaderV2","status":200},
 {"endpoint":"Download","method":"GET","path":"/x.exe","status":206},
 {"endpoint":"Download","method":"GET","path":"/x.exe","status":206,"aborted":true},
 {"endpoint":"Collector","method":"POST","body":"{\"actions\":{\"event_category\":\"Download\",\"event_action\":\"1.Launch\"}}"},
 {"endpoint":"CollectorTest","method":"POST","body":"not json"},
 {"endpoint":"Ga4","method":"POST","target":"/g/collect?v=2&cid=1&en=Start","body":""},
 {"endpoint":"Ga4","method":"POST","target":"/g/collect?v=2&cid=1","body":"tid=G&en=2.DownStart&x=1"}]
JSON

out=$(bash "$report" --log "$work/full.log" --requests "$work/requests.json" --check) \
  || { echo "$out"; fail "a complete run failed --check"; }
stage() { printf '%s\n' "$out" | grep -m1 -F "  $1" | awk '{print $(NF-1)}'; }
[ "$(stage 'start-up and window')" = 1.5 ] || fail "start-up: $(stage 'start-up and window')"
# Across midnight, and from the window to the chosen address (the prefetch lines skipped).
[ "$(stage 'install click')" = 2.3 ] || fail "install click: $(stage 'install click')"
[ "$(stage 'download ')" = 21.0 ] || fail "download: $(stage 'download ')"
[ "$(stage 'silent install')" = 1.1 ] || fail "install: $(stage 'silent install')"
[ "$(stage 'total')" = 32.0 ] || fail "total: $(stage 'total')"
printf '%s\n' "$out" | grep -q 'download host: 2 GETs, 2 ranged (206), 0 whole (200), 1 cut off' \
  || { echo "$out"; fail "download host line"; }
printf '%s\n' "$out" | grep -q 'collector: 1 events' || { echo "$out"; fail "collector count"; }
printf '%s\n' "$out" | grep -q '1 Download / 1.Launch' || fail "collector event"
printf '%s\n' "$out" | grep -q 'GA4: 2 hits' || { echo "$out"; fail "GA4 hits"; }
printf '%s\n' "$out" | grep -q '1 2.DownStart' || fail "GA4 event from the body"
echo "ok: complete run"

head -n 8 "$work/full.log" >"$work/early.log"
line "00:00:05,000" "ShowMsgBox:8" | sed 's/^2026-12-09/2026-12-10/' >>"$work/early.log"
line "00:00:05,100" "Enter fail page" | sed 's/^2026-12-09/2026-12-10/' >>"$work/early.log"
echo '[]' >"$work/none.json"
if out=$(bash "$report" --log "$work/early.log" --requests "$work/none.json" --check 2>&1); then
  fail "a run without install passed --check"
fi
[ "$(printf '%s\n' "$out" | grep -c 'not reached')" = 4 ] || { echo "$out"; fail "not reached count"; }
printf '%s\n' "$out" | grep -q 'Message boxes shown: type 8' || { echo "$out"; fail "message box"; }
printf '%s\n' "$out" | grep -q 'failure page' || fail "failure page"
printf '%s\n' "$out" | grep -q 'none (an AutoRun run records no events' || fail "no events line"
printf '%s\n' "$out" | grep -q '4 stage(s) missing' || fail "missing stages named"
echo "ok: early end"

printf 'garbage\n' >"$work/bad.log"
bash "$report" --log "$work/bad.log" >/dev/null 2>&1 && fail "a log without dates was read"
bash "$report" --log "$work/absent.log" >/dev/null 2>&1 && fail "a missing log was read"
echo "main job report: all passed"
