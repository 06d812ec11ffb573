# Shared by the windowed tests: skip and fail in CTest's terms, and a private Xvfb on a
# free display. Needs $artefacts (for xvfb.log) and $demo_output (shown on failure); the
# program under test keeps its pid in $demo_pid so that the clean-up ends it.

skip() {
  echo "SKIPPED: $*"
  exit 77
}
fail() {
  echo "FAILED: $*"
  echo "--- demo output:"
  cat "$demo_output" 2>/dev/null
  exit 1
}

xvfb_pid=""
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT

# A display number nobody uses; Xvfb refuses one that is taken, so try a few.
start_xvfb() {
  local n
  for n in $(shuf -i 100-400 -n 8); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$artefacts/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      if xwininfo -root -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
  done
  return 1
}
