#!/usr/bin/env bash
# The elevated installer never loads a DLL planted beside it (Win32 build, under wine):
#  1. its import table names Known DLLs only;
#  2. control: a plain program importing version.dll loads a planted version.dll under
#     Windows' search order (WINEDLLOVERRIDES=...=n,b), so the probe and the set-up work;
#  3. the installer, started from a folder holding a probe under the name of every DLL it can
#     load (delay-loaded imports, run-time loads, what the window and libcurl load), with the
#     same search order and that folder as current folder, runs through against the simulator
#     and no probe writes its marker; every DLL of the list that it did load came from the
#     system folder.
#   dll_planting.sh INSTALLER
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
state=$work/sim
cleanup() {
  bash "$repo/scripts/vendor-sim" stop --state "$state" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
cc=${KERFO_MINGW_CC:-i686-w64-mingw32-gcc-posix}
objdump=${KERFO_MINGW_OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$cc" >/dev/null || fail "no $cc"

# Known DLLs of Windows 7 and later (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\
# KnownDLLs), lower case; kernel32's own companions are always loaded from the system.
known="advapi32 comdlg32 gdi32 imagehlp imm32 kernel32 kernelbase lpk msctf msvcrt normaliz nsi
ole32 oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi user32 usp10 wldap32 ws2_32
difxapi clbcatq combase ntdll"
# Every DLL the installer (and the window, COM, the shell and libcurl within it) may load that
# is not a Known DLL.
planted="version bcrypt crypt32 iphlpapi wintrust sensapi secur32 sspicli gdiplus comctl32
oleacc uxtheme urlmon dwmapi winmm netapi32 userenv wininet winhttp dbghelp cryptbase cryptsp
rsaenh dnsapi mswsock profapi propsys windowscodecs msimg32 iertutil cryptnet dhcpcsvc
fwpuclnt rasapi32 rasman rtutils wtsapi32 winsta mpr netutils srvcli wkscli samcli ntmarta
apphelp cryptui msasn1 ncrypt ntasn1 bcryptprimitives hnetcfg firewallapi"

# 1. The import table.
if command -v "$objdump" >/dev/null; then
  imports=$("$objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//')
  [ -n "$imports" ] || fail "no import table read from $1"
  for dll in $imports; do
    grep -qw "$dll" <<<"$known" || fail "$dll.dll is imported but is no Known DLL (delay-load it)"
  done
  echo "ok: imports only Known DLLs: $(echo $imports)"
fi

# The probe, once per name.
"$cc" -shared -O2 -s -Wl,--kill-at -o "$work/probe.dll" "$here/probe_dll.c" || fail "cannot build the probe"
"$cc" -O2 -s -o "$work/control.exe" "$here/probe_import.c" -lversion || fail "cannot build the control"

overrides="mscoree,mshtml=;$(echo $planted | tr ' ' ',')=n,b"
source "$repo/scripts/wine-env"

# 2. Control.
mkdir -p "$work/control"
cp "$work/control.exe" "$work/probe.dll" "$work/control/"
mv "$work/control/probe.dll" "$work/control/version.dll"
(cd "$work/control" && WINEDLLOVERRIDES=$overrides wine control.exe >/dev/null 2>&1)
# (The marker carries the name the loader used, VERSION.dll as the import table writes it.)
ls "$work/control" | grep -iqx 'version\.dll\.loaded' \
  || fail "control: the planted version.dll was not loaded, so this test could not see a plant"
echo "ok: control program loads a planted version.dll"

# 3. The installer among the probes, against the simulator.
bash "$repo/scripts/vendor-sim" start --state "$state" --lifetime 600 >"$work/sim-start.txt" 2>&1 \
  || { cat "$work/sim-start.txt"; fail "simulator did not start"; }
bin=$work/bin
mkdir -p "$bin"
installer=$bin/$(basename "$1")
cp "$1" "$installer"
bash "$repo/scripts/vendor-sim" ini --state "$state" --out "$bin/endpoints.ini" >/dev/null \
  || fail "no endpoints.ini"
printf '[Settings]\r\nTestEnv=1\r\nAutoRun=1\r\n' >"$bin/qd_downloader.cfg"
for dll in $planted; do cp "$work/probe.dll" "$bin/$dll.dll"; done

appdata=$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)
logdir=$appdata/RORezivuduza/logs/BrindlecotKerfo_setup
before=$(ls "$logdir" 2>/dev/null)
# No display: the window's libraries load, its creation fails, and the run ends by itself.
(cd "$bin" && DISPLAY= WINEDLLOVERRIDES=$overrides WINEDEBUG=+loaddll wine "$installer" \
  </dev/null >"$work/out.txt" 2>"$work/loads.txt")
rc=$?
[ "$rc" = 0 ] || { tail -20 "$work/out.txt"; fail "installer exited $rc among the probes"; }

markers=$(cd "$bin" && ls *.loaded 2>/dev/null)
[ -z "$markers" ] || fail "planted DLLs were loaded: $markers"
own=$(grep -i 'Loaded L"Z:' "$work/loads.txt" | grep -iv "$(basename "$1")" )
[ -z "$own" ] || fail "a DLL came from outside the system folders: $own"

log=$(comm -13 <(echo "$before") <(ls "$logdir" 2>/dev/null) | grep '\.log$' | tail -1)
[ -n "$log" ] || fail "the installer wrote no log"
grep -q ' Wait exit 3' "$logdir/$log" || { cat "$logdir/$log"; fail "the run did not go through"; }

# Which of the planted names the run did load, all from the system folder.
used=$(grep -io 'Loaded L"[^"]*"' "$work/loads.txt" | sed 's/.*\\\\//; s/\.dll"//I; s/"$//' \
       | tr 'A-Z' 'a-z' | sort -u | while read -r d; do grep -qw "$d" <<<"$planted" && echo "$d"; done)
echo "ok: no planted DLL loaded; loaded from the system folder: $(echo $used)"
echo "dll planting: all passed"
