#!/usr/bin/env bash
# Runs GoToZOMA with the windowed backend on a private Xvfb display for an installed
# client: dialog 107 must appear as a real window while the stand-in browser receives
# the game page, be photographed, and go again before the launcher ends with code 0.
#
#   launcher_window_test.sh <GoToZOMA.exe> <zomareg> <artefact directory> <gui built: yes|no>
#
# Exits 77 (skipped) when the windowed backend was not built or no X server can start.
set -u
launcher=$1
zomareg=$2
artefacts=$3
built=$4

demo_output="$artefacts/launcher.out"
. "$(dirname "$0")/xvfb.sh"

[ "$built" = yes ] || skip "the windowed backend (FLTK) was not built in"
for tool in Xvfb xwd xwininfo xdotool /usr/bin/convert; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
mkdir -p "$artefacts"
rm -f "$artefacts"/launcher-*.png "$demo_output"

work=$(mktemp -d)
trap 'cleanup; rm -rf "$work"' EXIT
export ZOMA_PREFIX="$work/prefix"
mkdir -p "$ZOMA_PREFIX/drive_c/ZOMA/System"
printf '#!/bin/sh\nexit 0\n' >"$ZOMA_PREFIX/drive_c/ZOMA/System/ZOMA.EXE"
chmod +x "$ZOMA_PREFIX/drive_c/ZOMA/System/ZOMA.EXE"
"$zomareg" add 'HKLM\Software\Classes\.spi' /ve /d ZomaLaunchFile >/dev/null || fail "zomareg"
"$zomareg" add 'HKLM\Software\Classes\ZomaLaunchFile\Shell\Open\command' /ve \
  /d '"C:\ZOMA\System\ZOMA.EXE" "%1"' >/dev/null || fail "zomareg"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s/browser.log"\n' "$work" >"$work/browser"
chmod +x "$work/browser"
export BROWSER="$work/browser"

start_xvfb || skip "Xvfb could not start"

export ZOMA_UI=gui
export ZOMA_UI_LOG="$artefacts/launcher-ui.log"
rm -f "$ZOMA_UI_LOG"
TZ=EST5 "$launcher" 4711 >"$demo_output" 2>&1 </dev/null &
demo_pid=$!

dialog=""
for _ in $(seq 100); do
  dialog=$(xdotool search --onlyvisible --name '^GoToZOMA$' 2>/dev/null | tail -n 1)
  [ -n "$dialog" ] && break
  kill -0 "$demo_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$dialog" ] || fail "dialog 107 never appeared"
sleep 0.5
xwd -root -silent | /usr/bin/convert xwd:- "$artefacts/launcher-dialog-107.png" ||
  fail "no screenshot"
geometry=$(xdotool getwindowgeometry "$dialog")
echo "$geometry"

wait "$demo_pid"
code=$?
demo_pid=""
[ "$code" = 0 ] || fail "GoToZOMA ended with code $code"
grep -qxF "http://www.zoma.example/gotozoma.cgi?game_id=4711" "$work/browser.log" ||
  fail "the browser did not receive the game page"
[ "$(grep -c $'^modeless\tshow\t107\t' "$ZOMA_UI_LOG")" = 2 ] || fail "dialog 107 was not shown twice"
xdotool search --onlyvisible --name '^GoToZOMA$' >/dev/null 2>&1 && fail "a dialog outlived the launcher"
echo "PASSED: dialog 107 photographed as $artefacts/launcher-dialog-107.png"
