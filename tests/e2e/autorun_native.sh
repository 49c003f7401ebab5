#!/usr/bin/env bash
# The main job natively: the real installer executable in AutoRun mode on the headless
# backend (wall clock), against the vendor simulator serving the native fixtures. Checks that
#  1. the product fixture was installed into the program-files folder with the silent
#     switches, and started afterwards;
#  2. the log holds every stage of a complete run, in order (scripts/main-job-report --check);
#  3. the services saw the run: the configuration request, ranged GETs of the installer, and
#     no analytics at all (an AutoRun run sends no events);
#  4. the AutoRun end (Force Exit 1 to 8); the copy it starts again is ended by this test.
#   autorun_native.sh INSTALLER SIMULATOR FIXTURE_DIR SOURCE_DIR
# Exit 77 (skipped) while the build has no install flow yet.
set -uo pipefail
installer_src=$1 sim_bin=$2 fixtures=$3 src=$4
limit=${KERFO_AUTORUN_LIMIT:-240}
work=$(mktemp -d)
run_pid=""
relaunched=()

# Copies of this test's installer (the AutoRun restart included), found by their executable.
own_copies() {
  local p exe
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    [ "$exe" = "$work/bin/kerfo-installer" ] && echo "${p#/proc/}"
  done
}
# Each copy starts the next one a few seconds into its run; end them until none is left.
end_copies() {
  local pids _
  for _ in $(seq 50); do
    pids=$(own_copies)
    [ -n "$pids" ] || return 0
    kill $pids 2>/dev/null
    sleep 0.2
  done
}
cleanup() {
  [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null
  end_copies
  KERFO_SIM_BIN=$sim_bin bash "$src/scripts/vendor-sim" stop --state "$work/sim" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -n "${log:-}" ] && [ -f "$log" ] && tail -n 40 "$log"; exit 1; }

[ -x "$installer_src" ] || fail "no installer $installer_src"
[ -f "$fixtures/kerfo-fixture-setup-signed.exe" ] || fail "no signed native fixture in $fixtures"
KERFO_SIM_BIN=$sim_bin bash "$src/scripts/vendor-sim" start --state "$work/sim" \
  --scenario "$src/tools/vendor-sim/scenarios/main-native.json" --files "$fixtures" \
  --lifetime $((limit + 120)) >"$work/sim-start.log" 2>&1 || { cat "$work/sim-start.log"; fail "simulator did not start"; }
admin=$(sed -n 's/.*"Admin" *: *\([0-9]*\).*/\1/p' "$work/sim/endpoints.json" | head -n1)

mkdir -p "$work/bin" "$work/appdata" "$work/programs" "$work/home"
cp "$installer_src" "$work/bin/kerfo-installer"
KERFO_SIM_BIN=$sim_bin bash "$src/scripts/vendor-sim" ini --state "$work/sim" \
  --out "$work/bin/endpoints.ini" >/dev/null || fail "no endpoints.ini"
printf '[Settings]\nTestEnv=0\nAutoRun=1\nCrashTest=0\n' >"$work/bin/qd_downloader.cfg"

# Everything the run writes stays in the work folder.
export APPDATA=$work/appdata ProgramFiles=$work/programs HOME=$work/home
export KERFO_USER_STORE=$work/user-store.ini KERFO_MACHINE_STORE=$work/machine-store.ini
logdir=$work/appdata/RORezivuduza/logs
# The run logs of the installer (the silent installer's own "*_Setup_*" log lies beside them).
first_log() {
  { find "$logdir" -name '*.log' ! -name '*_Setup_*' -printf '%T@ %p\n' 2>/dev/null || true; } | sort -n | head -n1 |
    cut -d' ' -f2-
}

start=$SECONDS
"$work/bin/kerfo-installer" </dev/null >"$work/stdout.log" 2>&1 &
run_pid=$!
log=""
while kill -0 "$run_pid" 2>/dev/null; do
  log=$(first_log)
  if [ -n "$log" ] && grep -a -q 'Install flow: not part of this build yet' "$log"; then
    echo "SKIP: the install flow is not part of this build yet (the log says so); this test"
    echo "      runs the whole flow once it is built"
    exit 77
  fi
  if [ -n "$log" ] && grep -a -q 'ShowMsgBox:' "$log"; then
    fail "a message box is up ($(grep -a -m1 -o 'ShowMsgBox:[0-9]*' "$log")); nobody answers it in AutoRun"
  fi
  if [ -n "$log" ] && grep -a -q 'Enter fail page' "$log"; then
    fail "the flow ended on the failure page (AutoRun would retry without end)"
  fi
  [ $((SECONDS - start)) -lt "$limit" ] || fail "no end after $limit s"
  sleep 0.5
done
wait "$run_pid"
rc=$?
run_pid=""
log=$(first_log)
[ -n "$log" ] || { cat "$work/stdout.log"; fail "no log under $logdir"; }
[ "$rc" = 0 ] || fail "the installer exited $rc"
echo "ok: AutoRun run ended by itself after $((SECONDS - start)) s"

# 4. The AutoRun restart: a second copy of the installer, started before the first ended.
mapfile -t relaunched < <(own_copies)
grep -a -q 'Force Exit 8' "$log" || fail "the AutoRun end was not logged (Force Exit 1 to 8)"
if [ "$(find "$logdir" -name '*.log' ! -name '*_Setup_*' | wc -l)" -ge 2 ] || [ "${#relaunched[@]}" -ge 1 ]; then
  echo "ok: the AutoRun copy was started again (${#relaunched[@]} still running, ended)"
else
  echo "note: no second copy ran; the restart said: $(grep -a -m1 'Force Exit 7' "$log")"
fi

# 1. Installed and started.
record=$(find "$work/programs" -name kerfo-fixture-install.txt | head -n1)
[ -n "$record" ] || fail "nothing installed under $work/programs"
folder=$(dirname "$record")
[ -x "$folder/Kerfo PDF Editor.exe" ] || fail "no product executable in $folder"
grep -q '^verysilent=1' "$record" && grep -q '^norestart=1' "$record" && grep -q '^sp=1' "$record" \
  || fail "silent switches missing: $(cat "$record")"
grep -q '^lang=en' "$record" || fail "language code: $(grep '^lang' "$record")"
# The restarted copy may be the one that starts the product: it runs until then.
for _ in $(seq 40); do [ -s "$folder/kerfo-product-started.log" ] && break; sleep 0.5; done
[ -s "$folder/kerfo-product-started.log" ] || fail "the product was not started"
echo "ok: installed into $folder and started"
end_copies

# 2. Stages.
curl -s -m 10 "http://127.0.0.1:$admin/requests" >"$work/requests.json" || fail "admin API"
report=$(bash "$src/scripts/main-job-report" --log "$log" --requests "$work/requests.json" --check) \
  || { echo "$report"; fail "stages missing from the log"; }
echo "$report"

# 3. Services.
count() { jq "[.[] | select($1)] | length" "$work/requests.json"; }
[ "$(count '.endpoint | test("^ConfigService")')" -ge 1 ] || fail "no configuration request"
[ "$(count '.endpoint == "Download" and .method == "GET" and .path == "/kerfo-fixture-setup-signed-large.exe"')" -ge 1 ] \
  || fail "the installer was never downloaded"
analytics=$(count '.endpoint | test("^(Collector|Ga4)")')
[ "$analytics" = 0 ] || fail "an AutoRun run sent $analytics analytics requests"
echo "ok: configuration and download requests seen, no analytics"
echo "autorun native: all passed"
