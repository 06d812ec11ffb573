#!/usr/bin/env bash
# A script's MessageBox and BrowseForDirectory with the windowed backend on a private
# Xvfb display, answered with synthetic keys; screenshots of both are kept.
#
#   script_dialogs_test.sh <tessel> <artefact directory> <gui built: yes|no>
#
# Exits 77 (skipped) when the windowed backend was not built or no X server can start.
set -u
tessel=$1
artefacts=$2
built=$3

demo_output="$artefacts/script.out"
. "$(dirname "$0")/xvfb.sh"

[ "$built" = yes ] || skip "the windowed backend (FLTK) was not built in"
for tool in Xvfb xwd xdotool /usr/bin/convert; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
mkdir -p "$artefacts"
rm -rf "$artefacts"/script-*.png "$artefacts/script.out" "$artefacts/script-ui.log" "$artefacts/prefix"
start_xvfb || skip "Xvfb could not start"

window_named() {
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$demo_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
screenshot() {
  xwd -root -silent | /usr/bin/convert xwd:- "$artefacts/$1" || fail "no screenshot $1"
}

cd "$artefacts" || fail "no artefact directory"
export ZOMA_UI=gui ZOMA_UI_LOG="$artefacts/script-ui.log" ZOMA_PREFIX="$artefacts/prefix"
export HOME="$artefacts/home"  # FLTK's file chooser keeps its favourites there
"$tessel" -e '[$MessageBox{Install Zoma Online now?;Zoma Setup;$YesNo+$Question}] [$BrowseForDirectory{Where should Zoma go?}]' \
  >"$demo_output" 2>"$artefacts/script.err" &
demo_pid=$!

box=$(window_named "Zoma Setup") || fail "no message box captioned \"Zoma Setup\""
sleep 0.5
screenshot script-message-box.png
xdotool windowfocus --sync "$box" key y  # the accelerator of "&Yes"

chooser=$(window_named "Where should Zoma go[?]") || fail "no folder browser"
sleep 0.5
screenshot script-folder-browser.png
xdotool windowfocus --sync "$chooser" key Return  # the current directory

for _ in $(seq 100); do
  kill -0 "$demo_pid" 2>/dev/null || break
  sleep 0.1
done
wait "$demo_pid"
status=$?
demo_pid=""
[ "$status" -eq 0 ] || fail "tessel ended with status $status"
expected="[6] [Z:$(pwd -P | tr / '\\')]"
[ "$(cat "$demo_output")" = "$expected" ] || fail "the script wrote \"$(cat "$demo_output")\", not \"$expected\""
grep -qF "$(printf 'messagebox\tZoma Setup\t00010024\tInstall Zoma Online now?\tIDYES')" "$ZOMA_UI_LOG" ||
  fail "the transcript lacks the message box"
grep -qF "$(printf 'dialog\tfolder\tWhere should Zoma go?\t')" "$ZOMA_UI_LOG" ||
  fail "the transcript lacks the folder browser"
echo "screenshots in $artefacts"
