#!/usr/bin/env bash
# Runs every script case of one feature folder through tessel and compares its output.
#   NAME.tsl       the script
#   NAME.out       expected standard output (or NAME.raw.out: run with --raw)
#   NAME.opts      optional: tessel options, one per line, before the script
#   NAME.args      optional: arguments for the script, one per line
#   NAME.rc        optional: expected exit status (default 0)
#   NAME.err       optional: text that standard error must contain
#   NAME.in        optional: standard input
# Scripts run in a scratch copy of the folder, so they may write files and read the
# folder's other files as fixtures.
set -u
tessel=$1
dir=$(cd "$2" && pwd)
passed=0
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for script in "$dir"/*.tsl; do
  name=${script%.tsl}
  options=()
  if [[ -f $name.raw.out ]]; then
    expected=$name.raw.out
    options+=(--raw)
  else
    expected=$name.out
  fi
  [[ -f $name.opts ]] && mapfile -t -O "${#options[@]}" options <"$name.opts"
  args=()
  [[ -f $name.args ]] && mapfile -t args <"$name.args"
  want_rc=0
  [[ -f $name.rc ]] && want_rc=$(<"$name.rc")
  input=/dev/null
  [[ -f $name.in ]] && input=$name.in
  rm -rf "$work/run" && cp -r "$dir" "$work/run"
  (cd "$work/run" && timeout 60 "$tessel" "${options[@]}" "${script##*/}" "${args[@]}") \
    <"$input" >"$work/out" 2>"$work/err"
  rc=$?
  problem=
  if ! cmp -s "$work/out" "$expected"; then
    problem="output differs"
  elif [[ $rc != "$want_rc" ]]; then
    problem="exit status $rc, expected $want_rc"
  elif [[ -f $name.err ]] && ! grep -qF -f "$name.err" "$work/err"; then
    problem="standard error lacks $(<"$name.err")"
  fi
  if [[ -n $problem ]]; then
    echo "FAIL ${name##*/}: $problem"
    diff <(cat -A "$expected") <(cat -A "$work/out") | head -20
    head -5 "$work/err"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
done
echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
