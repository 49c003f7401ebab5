#!/usr/bin/env bash
# A second start while the installer's window is open brings the first window back to the
# front and ends at once (Win32 build under wine, on a private Xvfb display):
#  1. the first run shows its window; a click on its minimise button takes it off the screen;
#  2. a second run of the same executable ends within the time limit with 0, without a window
#     of its own and without taking the single-instance lock from the first;
#  3. the first window is shown again and has the input focus.
#   second_start.sh INSTALLER
# Exit 77 (skipped) when wine, Xvfb or xdotool is missing.
set -uo pipefail
for tool in wine Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: no $tool"; exit 77; }
done
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
# A prefix of its own: the test ends every process in it, and nobody else's.
export WINEPREFIX=${KERFO_SECOND_START_PREFIX:-$HOME/.cache/kerfo/wineprefix-second-start}
source "$repo/scripts/wine-env"
xvfb_pid=""
first_pid=""
cleanup() {
  [ -n "$first_pid" ] && kill "$first_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Every service on a closed loopback port: nothing leaves the machine, nothing waits long.
mkdir -p "$work/bin"
installer=$work/bin/$(basename "$1")
cp "$1" "$installer"
{
  echo "[Endpoints]"
  for key in ConfigService ConfigServiceChina DataService DataServiceTest AlertService \
             AlertServiceTest Collector CollectorTest Ga4 LogUpload LogUploadTest; do
    echo "$key=127.0.0.1:9"
  done
} >"$work/bin/endpoints.ini"

# A free display: Xvfb names it once it listens.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n 1 "$work/display")

# within SECONDS COMMAND...: true once the command succeeds, polled every 0.2 s.
within() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  while [ "$SECONDS" -lt "$end" ]; do "$@" && return 0; sleep 0.2; done
  return 1
}
windows() { xdotool search --onlyvisible --name '^Brindlecot Kerfo$' 2>/dev/null; }
one_window() { [ "$(windows | wc -l)" -eq 1 ]; }
no_window() { [ -z "$(windows)" ]; }
focused_on() {  # WINDOW: the input focus is on it or inside it
  local focus
  focus=$(xdotool getwindowfocus 2>/dev/null) || return 1
  [ "$focus" = "$1" ] && return 0
  # wine may give the focus to a child of its top-level window.
  local parent
  parent=$(xwininfo -id "$focus" -tree 2>/dev/null | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
  [ -n "$parent" ] && [ "$((parent))" = "$1" ]
}

# 1. The first run and its window (the first start of a new prefix takes longer).
wine "$installer" >/dev/null 2>&1 </dev/null &
first_pid=$!
within 90 one_window || fail "no window of the first run"
win=$(windows)
xdotool mousemove --window "$win" 592 22 click 1  # "minbtn"
within 10 no_window || fail "the first window did not minimise"

# 2. The second run ends quickly with 0 and never shows a window.
start=$SECONDS
timeout 60 wine "$installer" >/dev/null 2>&1 </dev/null
rc=$?
[ "$rc" = 0 ] || fail "second run exited $rc"
echo "ok: second run ended with 0 after $((SECONDS - start)) s"
kill -0 "$first_pid" 2>/dev/null || fail "the first run ended too"

# 3. The first window is back and focused.
within 10 one_window || fail "the first window was not shown again"
[ "$(windows)" = "$win" ] || fail "another window is shown instead of the first"
within 5 focused_on "$win" || fail "the first window does not have the focus ($(xdotool getwindowfocus))"
echo "ok: the first window is in front again"
