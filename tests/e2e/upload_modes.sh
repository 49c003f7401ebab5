#!/usr/bin/env bash
# The log-upload runs of the real executable against the vendor simulator:
#  1. "-dmp <log>" with the collector answering 200: one upload whose form fields are right and
#     whose archive is a valid ZIP holding the log under its own name; archive and copy are gone.
#  2. "-close" with the collector answering 500: the archive and the copy stay, the archive is a
#     valid ZIP, and the report type arrives as the catalogue.
#   upload_modes.sh INSTALLER [RUNNER]   (RUNNER "wine" for the Win32 build)
# The simulator is the native one (scripts/vendor-sim finds or builds it; KERFO_SIM_BIN
# overrides), so the Win32 run needs the native build beside it, as the full test run has.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
runner=${2:-}
work=$(mktemp -d)
state=$work/sim
cleanup() {
  bash "$repo/scripts/vendor-sim" stop --state "$state" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

bash "$repo/scripts/vendor-sim" start --state "$state" --lifetime 600 >"$work/sim-start.txt" 2>&1 \
  || { cat "$work/sim-start.txt"; fail "simulator did not start"; }
admin=$(jq -r '.ports.Admin' "$state/endpoints.json")
[ -n "$admin" ] && [ "$admin" != null ] || fail "no admin port in $state/endpoints.json"
adm() { curl -s -m 10 "$@"; }

mkdir -p "$work/bin"
installer=$work/bin/$(basename "$1")
cp "$1" "$installer"
bash "$repo/scripts/vendor-sim" ini --state "$state" --out "$work/bin/endpoints.ini" >/dev/null \
  || fail "no endpoints.ini"

run() { ${runner:+$runner} "$@"; }
if [ -n "$runner" ]; then
  appdata=$(winepath -u "$(run cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)
else
  appdata=$work/appdata
  export APPDATA=$appdata XDG_RUNTIME_DIR=$work
fi
[ -n "$appdata" ] || fail "no APPDATA"
logdir=$appdata/RORezivuduza/logs/BrindlecotKerfo_setup
mkdir -p "$logdir"

# Archives in the log folder (the local time, 17 digits, then ".zip") made by these runs; the
# prefix's log folder may hold others from earlier runs.
all_archives() { ls "$logdir" | grep -E '^[0-9]{17}\.zip$'; }
before=$(all_archives)
archives() { comm -13 <(echo "$before") <(all_archives) | grep . ; }
uploads() { adm "http://127.0.0.1:$admin/requests?endpoint=LogUpload"; }

check_upload() {  # EXPECTED_STATUS CATALOGUE LOGNAME: the one upload record, and its stored ZIP
  local json count
  json=$(uploads)
  count=$(jq 'length' <<<"$json")
  [ "$count" = 1 ] || fail "expected one upload, saw $count: $json"
  [ "$(jq -r '.[0].status' <<<"$json")" = "$1" ] || fail "status: $json"
  [ "$(jq -r '.[0].notes.upload.fields.product_id' <<<"$json")" = RERidavaza2900 ] \
    || fail "product_id: $json"
  [ "$(jq -r '.[0].notes.upload.fields.catalogue' <<<"$json")" = "$2" ] || fail "catalogue: $json"
  jq -r '.[0].notes.upload.fields.version' <<<"$json" | grep -Eq '^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' \
    || fail "version: $json"
  jq -r '.[0].notes.upload.filename' <<<"$json" | grep -Eq '^BrindlecotKerfo_[0-9]{17}\.zip$' \
    || fail "upload name: $json"
  [ "$(jq -r '[.[0].notes.upload.zip_entries[].name] | join(",")' <<<"$json")" = "$3" ] \
    || fail "entries: $json"
  local stored
  stored=$(jq -r '.[0].notes.upload.stored // empty' <<<"$json")
  [ -n "$stored" ] && [ -f "$stored" ] || fail "the simulator stored no archive: $json"
  unzip -tq "$stored" >/dev/null || fail "stored archive $stored is not a valid ZIP"
  [ "$(unzip -p "$stored" "$3")" = "$(cat "$logdir/$3")" ] || fail "archived log differs"
}

# 0. The report interface's two entry points are in the executable's export table, under the
# decorated names of their declarations, for a host that loads it.
if [ -n "$runner" ] && command -v i686-w64-mingw32-objdump >/dev/null; then
  exports=$(i686-w64-mingw32-objdump -p "$installer" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
  for name in _Z12GetReportObjv _Z16DestroyReportObjv; do
    grep -q "\] $name\$" <<<"$exports" || fail "$name not exported: $exports"
  done
  echo "ok: report entry points exported"
fi

# 1. "-dmp " answered 200.
log1=BrindlecotKerfo_setup_20260101000000123.log
printf 'an earlier run\nsecond line\n' >"$logdir/$log1"
adm -X DELETE "http://127.0.0.1:$admin/requests" >/dev/null
run "$installer" -dmp "$log1" </dev/null >"$work/dmp.txt" 2>&1
rc=$?
[ "$rc" = 0 ] || { cat "$work/dmp.txt"; fail "-dmp run exited $rc"; }
check_upload 200 CrashDmp "$log1"
[ -z "$(archives)" ] || fail "archive left after a 200: $(archives)"
[ ! -e "$logdir/${log1}_copy.log" ] || fail "copy left after a 200"
[ -f "$logdir/$log1" ] || fail "the log itself was removed"
echo "ok: -dmp upload accepted, archive and copy removed"

# 2. "-close" answered 500. The report type is the seven characters after the command line's
# first one, the log name starts nine characters after "-close".
adm -X PATCH -d '{"log_upload": {"status": 500}}' "http://127.0.0.1:$admin/scenario" >/dev/null \
  || fail "scenario patch"
adm -X DELETE "http://127.0.0.1:$admin/requests" >/dev/null
log2=BrindlecotKerfo_setup_20260101000000456.log
printf 'closing run\n' >"$logdir/$log2"
run "$installer" xClosing -close 1 "$log2" </dev/null >"$work/close.txt" 2>&1
rc=$?
[ "$rc" = 0 ] || { cat "$work/close.txt"; fail "-close run exited $rc"; }
check_upload 500 Closing "$log2"
kept=$(archives)
[ "$(wc -l <<<"$kept")" = 1 ] && [ -n "$kept" ] || fail "expected one archive kept, saw: $kept"
unzip -tq "$logdir/$kept" >/dev/null || fail "kept archive is not a valid ZIP"
[ -f "$logdir/${log2}_copy.log" ] || fail "copy removed after a 500"
echo "ok: -close upload refused, archive and copy kept"
rm -f "$logdir/$kept" "$logdir/${log2}_copy.log" "$logdir/$log1" "$logdir/$log2"
