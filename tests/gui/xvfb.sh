# Shared by the windowed tests: starts Xvfb on a free display and exports DISPLAY.
# Needs $artefacts (for xvfb.log) and sets $xvfb_pid for the caller's clean-up.

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
