#!/usr/bin/env bash
# Kill trials: SIGKILL at a random moment, then start again, many times.
#  engine:  dlcli downloads a file from the simulator (slowed, several connections) and is killed
#           at a random moment; a second dlcli run resumes it. Every time the file must end with
#           the right MD5 digest (dlcli checks it and exits 0), whatever the kill interrupted.
#  reports: a process with the report SDK queues uniquely named GA4 hits and documents while its
#           sender delivers them, and is killed at a random moment; a second process replays the
#           store. Every report the SDK had accepted before the kill must be taken exactly once
#           by the simulator's collectors, which count each report's task id once; one not yet
#           accepted at most once. The report in flight at the kill may go on the wire twice
#           (the collector had answered, the store had not yet noted it): the collector takes
#           it as a duplicate of its task id, and those wire repeats are counted.
# Only behaviour is judged (digests, deliveries), never the task file's or the store's format.
#   kill_trials.sh BUILD_DIR [TRIALS] [engine|reports|both] [SEED]
# BUILD_DIR is a native build with dlcli, the simulator and kerfo-report-writer. CI runs
# 10 trials; the long form is 100 (figures in tests/integration/kill_trials/README.md).
set -uo pipefail
build=$(cd "$1" && pwd)
trials=${2:-10}
which=${3:-both}
seed=${4:-$$}
repo=$(cd "$(dirname "$0")/../../.." && pwd)
dlcli=$build/tools/dlcli/dlcli
writer=$build/tests/integration/kill_trials/kerfo-report-writer
for f in "$dlcli" "$writer"; do [ -x "$f" ] || { echo "missing $f"; exit 2; }; done
for tool in curl jq md5sum; do command -v $tool >/dev/null || { echo "missing $tool"; exit 2; }; done
RANDOM=$seed
echo "kill trials: $trials per half, seed $seed"

work=$(mktemp -d)
state=$work/sim
cleanup() {
  bash "$repo/scripts/vendor-sim" stop --state "$state" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/files"
KERFO_SIM_BIN=${KERFO_SIM_BIN:-$build/tools/vendor-sim/kerfo-vendor-sim} \
  bash "$repo/scripts/vendor-sim" start --state "$state" --files "$work/files" --lifetime 7200 \
  >"$work/sim-start.txt" 2>&1 || { cat "$work/sim-start.txt"; fail "simulator did not start"; }
port() { jq -r ".ports.$1" "$state/endpoints.json"; }
admin=http://127.0.0.1:$(port Admin)
adm() { curl -s -m 20 "$@"; }

# A kill moment in milliseconds, uniform in 0..$1.
moment() { echo $(( (RANDOM * 32768 + RANDOM) % ($1 + 1) )); }
sleep_ms() { sleep "$(printf '%d.%03d' $(( $1 / 1000 )) $(( $1 % 1000 )))"; }

engine_failures=0
report_failures=0

if [ "$which" = engine ] || [ "$which" = both ]; then
  # 12 MiB at 3 MiB/s per connection: a run takes about a second with the default slices, so
  # kills land before the size probe, during the plan, amid the transfers and near the end.
  head -c $((12 * 1048576 + 4321)) /dev/urandom >"$work/files/setup.bin"
  md5=$(md5sum "$work/files/setup.bin" | cut -d' ' -f1)
  adm -X POST "$admin/rules" -d '{"endpoint": "Download", "method": "GET", "path": "/setup.bin",
    "count": 0, "rate_bps": 3145728}' >/dev/null
  url=http://127.0.0.1:$(port Download)/setup.bin
  resumed_from_partial=0
  start=$(date +%s)
  for t in $(seq 1 "$trials"); do
    dir=$work/engine-$t
    mkdir -p "$dir"
    "$dlcli" "$url" "$dir/setup.bin" --md5 "$md5" --rounds 1 >"$dir/first.txt" 2>&1 &
    pid=$!
    at=$(moment 1500)
    sleep_ms "$at"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    partial=$(stat -c %s "$dir/setup.bin" 2>/dev/null || echo 0)
    [ -f "$dir/setup.bin.xml" ] && resumed_from_partial=$((resumed_from_partial + 1))
    "$dlcli" "$url" "$dir/setup.bin" --md5 "$md5" >"$dir/second.txt" 2>&1
    rc=$?
    got=$(md5sum "$dir/setup.bin" 2>/dev/null | cut -d' ' -f1)
    if [ "$rc" != 0 ] || [ "$got" != "$md5" ]; then
      engine_failures=$((engine_failures + 1))
      echo "engine trial $t: killed at ${at} ms (file $partial bytes): resume exited $rc," \
           "digest ${got:-none}, expected $md5"
      tail -5 "$dir/second.txt"
      cp -r "$dir" "${KERFO_KILL_KEEP:-/tmp}/kerfo-kill-engine-$seed-$t" 2>/dev/null || true
    fi
    rm -rf "$dir"
  done
  adm -X DELETE "$admin/rules" >/dev/null
  echo "engine: $trials trials, $engine_failures failures, $resumed_from_partial killed after a" \
       "task file existed, $(( $(date +%s) - start )) s"
fi

if [ "$which" = reports ] || [ "$which" = both ]; then
  collector=https://127.0.0.1:$(port Collector)
  ga4=https://127.0.0.1:$(port Ga4)
  per=40
  queued_total=0
  wire_repeats=0
  killed_mid_post=0
  start=$(date +%s)
  for t in $(seq 1 "$trials"); do
    dir=$work/reports-$t
    mkdir -p "$dir/appdata"
    tag=K${seed}x$t
    "$writer" "$dir/appdata" "$collector" "$ga4" post "$tag" "$per" >"$dir/post.txt" 2>&1 &
    pid=$!
    at=$(moment 900)
    sleep_ms "$at"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    grep -q '^posted' "$dir/post.txt" || killed_mid_post=$((killed_mid_post + 1))
    "$writer" "$dir/appdata" "$collector" "$ga4" drain >"$dir/drain.txt" 2>&1
    rc=$?
    # Deliveries of this trial's names the collectors took (answered 204 / 200), per name and
    # wire form, as "taken" (a new task id) or "repeat" (a task id the collector already had),
    # with the id; an accepted delivery without an id counts as taken.
    adm "$admin/requests?endpoint=Ga4" | jq -r --arg t "${tag}_" \
      '.[] | select(.status == 204)
       | [(.target | capture("qd_action=(?<n>[^&]*)").n), (.notes.task_id // ""),
          (if .notes.duplicate == true then "repeat" else "taken" end)]
       | select(.[0] | startswith($t)) | .[2] + " ga4 " + .[0] + " " + .[1]' >"$dir/wire.txt"
    adm "$admin/requests?endpoint=Collector" | jq -r --arg t "${tag}_" \
      '.[] | select(.status == 200)
       | [(.body | capture("event_action\\\\?\"\\s*:\\s*\\\\?\"(?<n>[^\"\\\\]*)").n),
          (.notes.task_id // ""), (if .notes.duplicate == true then "repeat" else "taken" end)]
       | select(.[0] | startswith($t)) | .[2] + " doc " + .[0] + " " + .[1]' >>"$dir/wire.txt"
    sed -n 's/^taken \([a-z0-9]* [^ ]*\) .*/\1/p' "$dir/wire.txt" >"$dir/seen.txt"
    problems=""
    [ "$rc" = 0 ] || problems="drain exited $rc; "
    # Exactly once at the collectors: no name taken twice, whatever went on the wire.
    dup=$(sort "$dir/seen.txt" | uniq -d | tr '\n' ' ')
    [ -z "$dup" ] || problems+="taken more than once: $dup; "
    noid=$(grep -c '^taken [a-z0-9]* [^ ]* *$' "$dir/wire.txt")
    [ "$noid" = 0 ] || problems+="$noid deliveries without a task id; "
    # A repeat must name a task id the collector took for that same report.
    while read -r _ form name id; do
      grep -qx "taken $form $name $id" "$dir/wire.txt" || problems+="repeat of $form $name under another id; "
    done < <(grep '^repeat ' "$dir/wire.txt")
    nrep=$(grep -c '^repeat ' "$dir/wire.txt")
    wire_repeats=$((wire_repeats + nrep))
    queued=$(sed -n 's/^queued //p' "$dir/post.txt")
    queued_total=$((queued_total + $(echo -n "$queued" | grep -c .)))
    for name in $queued; do
      for form in ga4 doc; do
        grep -qx "$form $name" "$dir/seen.txt" || problems+="lost $form $name; "
      done
    done
    if [ -n "$problems" ]; then
      report_failures=$((report_failures + 1))
      echo "report trial $t: killed at ${at} ms after $(echo -n "$queued" | grep -c .) queued: $problems"
      # The simulator's records of this trial, for the post-mortem.
      { adm "$admin/requests?endpoint=Ga4"; adm "$admin/requests?endpoint=Collector"; } \
        | jq -c --arg t "${tag}_" '.[] | select((.target + (.body // "")) | contains($t))
            | {seq, endpoint, time_ms, connection, status, aborted, target,
               task_id: .notes.task_id, duplicate: .notes.duplicate}' >"$dir/records.txt"
      cp -r "$dir" "${KERFO_KILL_KEEP:-/tmp}/kerfo-kill-reports-$seed-$t" 2>/dev/null || true
    fi
    rm -rf "$dir"
  done
  echo "reports: $trials trials, $report_failures failures, $queued_total reports queued before" \
       "the kills, $killed_mid_post kills while still posting, $wire_repeats in-flight reports" \
       "sent again and taken as duplicates, $(( $(date +%s) - start )) s"
fi

[ "$engine_failures" = 0 ] && [ "$report_failures" = 0 ] || { echo "kill trials: FAILED (seed $seed)"; exit 1; }
echo "kill trials: all passed"
