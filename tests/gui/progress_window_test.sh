#!/usr/bin/env bash
# Runs ui_gui_demo with the windowed backend on a private Xvfb display: checks that the
# progress window appears with its caption and icon, takes screenshots of it and of a
# message box, answers the boxes with synthetic keys and checks the answers, then
# finishes the window with Enter and checks that the run completes.
#
#   progress_window_test.sh <ui_gui_demo> <artefact directory> <gui built: yes|no>
#
# Exits 77 (skipped) when the windowed backend was not built or no X server can start.
set -u
demo=$1
artefacts=$2
built=$3

demo_output="$artefacts/demo.out"
. "$(dirname "$0")/xvfb.sh"

[ "$built" = yes ] || skip "the windowed backend (FLTK) was not built in"
for tool in Xvfb xwd xwininfo xprop xdotool /usr/bin/convert; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
mkdir -p "$artefacts"
rm -f "$artefacts"/*.png "$artefacts/demo.out" "$artefacts/ui.log"

# Without a display the windowed backend steps aside and the run still completes.
fallback=$(DISPLAY=:32767 ZOMA_UI=gui "$demo" --step-ms 1 2>&1 </dev/null)
echo "$fallback" | grep -qx "backend none" || { echo "$fallback"; echo "FAILED: no fallback without a display"; exit 1; }
echo "$fallback" | grep -qx "completed" || { echo "$fallback"; echo "FAILED: the run without a display did not complete"; exit 1; }


start_xvfb || skip "Xvfb could not start"

# Waits (up to 20 s) for a line of the demo's output.
wait_for_line() {
  for _ in $(seq 200); do
    grep -qxF "$1" "$artefacts/demo.out" && return 0
    kill -0 "$demo_pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "the demo never printed \"$1\""
}

# The id of the one visible window with exactly this name, once it is there.
window_named() {
  local ids
  for _ in $(seq 100); do
    ids=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)
    if [ "$(echo "$ids" | grep -c .)" -ge "${2:-1}" ]; then
      echo "$ids" | tail -n 1
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Presses a key in a window that must have taken the keyboard by itself.
press_in_foreground() {
  local window=$1 key=$2
  for _ in $(seq 50); do
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ] && break
    sleep 0.1
  done
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ] || fail "window $window did not come to the foreground"
  xdotool key "$key"
}

screenshot() {
  xwd -root -silent | /usr/bin/convert xwd:- "$artefacts/$1" || fail "no screenshot $1"
}

# A file for the open dialog, and the Windows name it is known by (Z: is the host's root).
pick="$(realpath "$artefacts")/pick.txt"
echo text >"$pick"
pick_windows="Z:$(echo "$pick" | tr / '\\')"

export ZOMA_UI=gui
export ZOMA_UI_LOG="$artefacts/ui.log"
export HOME="$artefacts/home"  # FLTK's file chooser keeps its favourites there
"$demo" --hold-ms 3000 --questions --clipboard --open-dialog "$pick_windows" \
  --folder-dialog --wait-for-enter >"$artefacts/demo.out" 2>&1 &
demo_pid=$!

wait_for_line "backend gui"
wait_for_line "screen 1024x768"
wait_for_line "clipboard Zoma clipboard text"
wait_for_line "halfway"
caption="Zoma Software Updater"
progress=$(window_named "$caption") || fail "no window captioned \"$caption\""
xwininfo -root -tree | grep -qF "\"$caption\"" || fail "the window tree lacks \"$caption\""
xprop -id "$progress" WM_CLASS | grep -qF '"ZomaUp"' || fail "the window's class is not ZomaUp"
xprop -id "$progress" _NET_WM_ICON | grep -qF "Icon (32 x 32)" || fail "the window has no 32x32 icon"
geometry=$(xwininfo -id "$progress" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
echo "progress window $progress: $geometry"
sleep 0.5
screenshot progress-window.png

# Boxes from the worker thread, each taking the keyboard (MB_SETFOREGROUND).
wait_for_line "asking Question one"
box=$(window_named "Question one") || fail "no box \"Question one\""
sleep 0.3
screenshot message-box.png
press_in_foreground "$box" Return  # the default: the second button
wait_for_line "answer Question one IDNO"
box=$(window_named "Question two") || fail "no box \"Question two\""
sleep 0.3
screenshot message-box-2.png
press_in_foreground "$box" y  # the accelerator of "&Yes"
wait_for_line "answer Question two IDYES"
box=$(window_named "Question three") || fail "no box \"Question three\""
press_in_foreground "$box" Escape
wait_for_line "answer Question three IDCANCEL"

# The open dialog, from the worker thread, offering the file: Enter takes it.
wait_for_line "asking open dialog"
chooser=$(window_named "Choose a text file") || fail "no open dialog"
sleep 0.3
screenshot open-dialog.png
xdotool windowfocus --sync "$chooser" key Return
wait_for_line "chosen $pick_windows"
# The folder browser starts in the current directory: Enter takes it.
wait_for_line "asking folder dialog"
chooser=$(window_named "Please choose a directory[.]") || fail "no folder browser"
xdotool windowfocus --sync "$chooser" key Return
wait_for_line "chosen Z:$(pwd -P | tr / '\\')"

# Escape on the progress window is Cancel: the stop question, answered No.
wait_for_line "worker done"
xdotool windowfocus --sync "$progress" key Escape
wait_for_line "command Cancel"
box=$(window_named "Stop the update[?]") || fail "no stop question"
press_in_foreground "$box" n
wait_for_line "answer Stop the update? IDNO"
# Enter finishes.
xdotool windowfocus --sync "$progress" key Return
wait_for_line "command Enter"
wait_for_line "completed"
wait "$demo_pid"
status=$?
demo_pid=""
[ "$status" -eq 0 ] || fail "the demo ended with status $status"

grep -qF "$(printf 'window\tshow\t%s' "$caption")" "$artefacts/ui.log" || fail "the transcript lacks the window"
grep -qF "$(printf 'command\tEnter')" "$artefacts/ui.log" || fail "the transcript lacks Enter"
grep -qF "$(printf 'beep\t48')" "$artefacts/ui.log" || fail "the transcript lacks the beep"
echo "screenshots in $artefacts"
