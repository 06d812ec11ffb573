#!/usr/bin/env bash
# Runs every script case of one feature folder through tessel, each in a fresh prefix
# and a scratch copy of the folder (the current directory), and compares its output.
#   NAME.tsl     the script
#   NAME.out     expected standard output; "@WORK@" stands for the scratch folder's
#                Windows path, "@PREFIX@" for the prefix's host path
#   NAME.reg     optional: registry state imported with zomareg before the run
#   NAME.setup   optional: a bash script run first in the scratch folder, with PREFIX
#                set (the prefix exists by then)
#   NAME.env     optional: VAR=VALUE lines exported for the run (same placeholders)
#   NAME.in      optional: standard input
#   NAME.ui      optional: the expected user-interface transcript (ZOMA_UI_LOG)
#   NAME.check   optional: a bash script run afterwards in the scratch folder, with
#                PREFIX, WORK, UI_LOG, ZOMAREG, TESSEL and STDERR set; must succeed
# Every run has ZOMA_UI=none; the example extension module's host path is in
# ZOMA_TEST_EXTENSION.
set -u
tessel=$1
zomareg=$2
export ZOMA_TEST_EXTENSION=$3
dir=$(cd "$4" && pwd)
passed=0
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for script in "$dir"/*.tsl; do
  name=${script%.tsl}
  case_dir=$work/${name##*/}
  mkdir -p "$case_dir"
  cp -r "$dir" "$case_dir/run"
  prefix=$case_dir/prefix
  run=$case_dir/run
  run_windows="Z:$(echo "$run" | tr / '\\')"
  substitute() { sed -e "s|@WORK@|${run_windows//\\/\\\\}|g" -e "s|@PREFIX@|$prefix|g" "$1"; }
  problem=
  (
    export ZOMA_PREFIX=$prefix ZOMA_UI=none ZOMA_UI_LOG=$case_dir/ui.log
    unset ZOMA_UI_ANSWERS ZOMA_DEBUG_LOG
    # The prefix is made on first use: let the registry tool make it.
    "$zomareg" query 'HKLM\Software' >/dev/null 2>&1
    if [[ -f $name.reg ]] && ! "$zomareg" import "$name.reg" >"$case_dir/reg.log" 2>&1; then
      echo "zomareg import failed" >"$case_dir/problem"
      exit 1
    fi
    if [[ -f $name.setup ]] && ! (cd "$run" && PREFIX=$prefix bash -eu "$name.setup") \
      >"$case_dir/setup.log" 2>&1; then
      echo "setup failed: $(tail -3 "$case_dir/setup.log")" >"$case_dir/problem"
      exit 1
    fi
    if [[ -f $name.env ]]; then
      while IFS= read -r line; do
        [[ -n $line ]] && export "$line"
      done < <(substitute "$name.env")
    fi
    input=/dev/null
    [[ -f $name.in ]] && input=$name.in
    cd "$run" && timeout 60 "$tessel" "${script##*/}" <"$input" >"$case_dir/out" 2>"$case_dir/err"
    echo $? >"$case_dir/rc"
  )
  if [[ -f $case_dir/problem ]]; then
    problem=$(<"$case_dir/problem")
  elif [[ $(<"$case_dir/rc") != 0 ]]; then
    problem="exit status $(<"$case_dir/rc")"
  elif ! cmp -s "$case_dir/out" <(substitute "$name.out"); then
    problem="output differs"
    diff <(substitute "$name.out" | cat -A) <(cat -A "$case_dir/out") | head -20
  elif [[ -f $name.ui ]] && ! cmp -s "$case_dir/ui.log" <(substitute "$name.ui"); then
    problem="transcript differs"
    diff <(substitute "$name.ui") "$case_dir/ui.log" | head -20
  elif [[ -f $name.check ]] &&
    ! (cd "$run" && PREFIX=$prefix WORK=$run UI_LOG=$case_dir/ui.log ZOMAREG=$zomareg \
      TESSEL=$tessel STDERR=$case_dir/err ZOMA_PREFIX=$prefix bash -eu "$name.check") \
      >"$case_dir/check.log" 2>&1; then
    problem="check failed"
    tail -20 "$case_dir/check.log"
  fi
  if [[ -n $problem ]]; then
    echo "FAIL ${name##*/}: $problem"
    head -5 "$case_dir/err"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
done
echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
