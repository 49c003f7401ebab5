#!/usr/bin/env bash
# A second start while the installer's window is open brings the first window to the front
# and ends at once (Win32 build under wine, on a private Xvfb display; windows found and their
# stacking read with xdotool, the foreground asked of wine by the probe):
#  1. the first run shows its window;
#  2. with another program's window in front of it, a second run of the same executable ends
#     within the time limit with 0 and shows no window of its own, the first run goes on, and
#     its window is the foreground window and lies above the other one again;
#  3. minimised (the probe stands in for a taskbar click: no window manager here), a further
#     run restores it to the foreground.
#   second_start.sh INSTALLER PROBE
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
cleanup() {
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
cp "$1" "$installer" || fail "no installer at $1"
probe=$2
[ -f "$probe" ] || fail "no probe at $probe"
source "$(dirname "$0")/closed_endpoints.sh"
closed_endpoints "$work/bin/endpoints.ini"
class=QD_UI_Frame_673  # "QD_UI_Frame_" + the skin's Downloader_id

# A free display: Xvfb names it once it listens.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n 1 "$work/display")

# within SECONDS COMMAND...: true once the command succeeds, polled every 0.2 s.
within() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  while [ "$SECONDS" -lt "$end" ]; do "$@" >/dev/null 2>&1 && return 0; sleep 0.2; done
  return 1
}
ours() { xdotool search --onlyvisible --name '^Brindlecot Kerfo$' 2>/dev/null; }
one_window() { [ "$(ours | wc -l)" -eq 1 ]; }
covered() { [ "$(xdotool search --onlyvisible --name '^cover$' 2>/dev/null | wc -l)" -eq 1 ]; }
# The visible windows bottom to top, as xdotool lists them; the last is the one in front.
front() { xdotool search --onlyvisible --name '.' 2>/dev/null | tail -n 1; }
in_front() { [ "$(front)" = "$win" ]; }
state() { wine "$probe" "$class" "$@" 2>/dev/null | tr -d '\r'; }

# second_run: another start of the same executable ends quickly with 0, never shows a
# window, and the first run goes on.
second_run() {
  local start=$SECONDS rc
  timeout 60 wine "$installer" >/dev/null 2>&1 </dev/null
  rc=$?
  [ "$rc" = 0 ] || fail "second run exited $rc"
  echo "ok: second run ended with 0 after $((SECONDS - start)) s"
  one_window || fail "$(ours | wc -l) installer windows"
  kill -0 "$first_pid" 2>/dev/null || fail "the first run ended too"
}

# 1. The first run and its window (the first start of a new prefix takes longer).
wine "$installer" >/dev/null 2>&1 </dev/null &
first_pid=$!
within 90 one_window || fail "no window of the first run"
win=$(ours)

# 2. Another program's window in front of it: a second start brings it back to the front.
wine "$probe" cover 60 >/dev/null 2>&1 &
within 20 covered || fail "no covering window"
in_front && fail "the first window is still in front"
[[ $(state) == *"foreground=0"* ]] || fail "the first window is still the foreground window"
second_run
now=$(state)
[[ $now == *"iconic=0 foreground=1 top=1"* ]] || fail "first window after the second start: $now"
within 5 in_front || fail "the first window does not lie in front on the display"
[ "$(ours)" = "$win" ] || fail "another window is shown instead of the first"
echo "ok: the covered window is in front again ($now)"

# 3. Minimised: a second start restores it. (Without a window manager wine does not restack
# the restored window on the display, so its place in front is read from the window system.)
[[ $(state minimize) == *"iconic=1"* ]] || fail "the first window could not be minimised"
second_run
now=$(state)
[[ $now == *"iconic=0 foreground=1 top=1"* ]] || fail "minimised window after the second start: $now"
echo "ok: the minimised window is restored ($now)"
