#!/usr/bin/env bash
# The updater's own progress window: runs the demo (a full update, the post-update
# script, the client launch and a self-update against nginx) with the windowed backend
# on a private Xvfb display, takes a screenshot while ZomaUp's window is up, and checks
# that the window had its caption and that every run completed.
#
#   updater_window_test.sh <repository> <build directory> <artefact directory> <gui built: yes|no>
#
# Exits 77 (skipped) when the windowed backend was not built or no X server can start.
set -u
repo=$1
build=$2
artefacts=$3
built=$4

demo_output="$artefacts/updater-demo.out"
. "$(dirname "$0")/xvfb.sh"

[ "$built" = yes ] || skip "the windowed backend (FLTK) was not built in"
for tool in Xvfb xwd xwininfo nginx /usr/bin/convert; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
mkdir -p "$artefacts"
rm -f "$artefacts/updater-window.png" "$artefacts/updater-demo.out"


start_xvfb || skip "Xvfb could not start"

caption="Zoma Software Updater"
export HOME="$artefacts/home"
rm -rf "$artefacts/updater-demo"
ZOMA_UI=gui ZOMA_DEMO_SKIP_BUILD=1 ZOMA_DEMO_BUILD_DIR="$build" \
  "$repo/scripts/demo.sh" "$artefacts/updater-demo" >"$artefacts/updater-demo.out" 2>&1 &
demo_pid=$!

# Screenshots while ZomaUp's window is up; the first one that shows more than the
# empty screen is kept (the window is mapped a moment before it is drawn).
shot=""
seen=""
while kill -0 "$demo_pid" 2>/dev/null && [ -z "$shot" ]; do
  if xwininfo -root -tree 2>/dev/null | grep -qF "\"$caption\""; then
    seen=yes
    xwd -root -silent >"$artefacts/updater-window.xwd"
    mean=$(/usr/bin/convert "xwd:$artefacts/updater-window.xwd" -format '%[fx:mean]' info: 2>/dev/null)
    if [ -n "$mean" ] && [ "$mean" != 0 ]; then
      /usr/bin/convert "xwd:$artefacts/updater-window.xwd" "$artefacts/updater-window.png" && shot=yes
    fi
  fi
  sleep 0.02
done
rm -f "$artefacts/updater-window.xwd"
wait "$demo_pid"
status=$?
demo_pid=""
[ "$status" -eq 0 ] || fail "the demo failed with the windowed backend ($status)"
[ -n "$seen" ] || fail "ZomaUp's window \"$caption\" never appeared"
[ -n "$shot" ] || echo "note: the window closed before it could be photographed"
grep -q "window.show.$caption" "$artefacts/updater-demo/ui.log" ||
  fail "the transcript has no window \"$caption\""
echo "screenshot: $artefacts/updater-window.png"
