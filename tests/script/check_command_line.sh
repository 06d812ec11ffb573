#!/usr/bin/env bash
# Checks tessel's command line: -e, --raw, -D, arguments, standard input, --help, exit
# statuses and usage errors.
set -u
tessel=$1
passed=0
failed=0

# expect NAME EXPECTED-OUTPUT EXPECTED-STATUS -- COMMAND...
expect() {
  local name=$1 want=$2 want_rc=$3
  shift 4
  local got rc
  got=$("$@" 2>/dev/null)
  rc=$?
  if [[ $got == "$want" && $rc == "$want_rc" ]]; then
    passed=$((passed + 1))
  else
    echo "FAIL $name: got [$got] status $rc, expected [$want] status $want_rc"
    failed=$((failed + 1))
  fi
}

# usage_error NAME ARGS...: status 2 and the usage text on standard error
usage_error() {
  local name=$1
  shift
  local err rc
  err=$("$tessel" "$@" 2>&1 >/dev/null)
  rc=$?
  if [[ $rc == 2 && $err == *"Usage: tessel"* ]]; then
    passed=$((passed + 1))
  else
    echo "FAIL $name: status $rc, standard error [$err]"
    failed=$((failed + 1))
  fi
}

expect forlist '[a][b]' 0 -- "$tessel" -e '$ForList{v;[$v];a;b}'
expect raw '$$x${1$;2$}' 0 -- "$tessel" --raw -e '$Quote{$x{1;2}}'
expect unescaped '$x{1;2}' 0 -- "$tessel" -e '$Quote{$x{1;2}}'
expect defines 'a=1 b=x=y' 0 -- "$tessel" -D a=1 -Db=x=y -e 'a=$a b=$b'
expect arguments '3:-x,two,' 0 -- "$tessel" -e '$ArgCount:$Arg1,$Arg2,$Arg4' -x two three
expect no_arguments '0' 0 -- "$tessel" -e '$ArgCount'
expect stdin '[in] from-args' 0 -- bash -c "echo '\$S{x;in}[\$x] \$Arg1' | \"$tessel\" - from-args"
expect exit_code 'a' 42 -- "$tessel" -e 'a$Exit{40+2}b'
expect help_status '' 0 -- bash -c "\"$tessel\" --help >/dev/null"
expect missing_file '' 1 -- "$tessel" /nonexistent/script.tsl
expect double_dash 'file' 0 -- bash -c "cd \"\$(mktemp -d)\" && printf file >-x.tsl && \"$tessel\" -- -x.tsl"
# Memory that runs out stops the evaluation in order (status 1, no abort). The sanitizer
# builds cannot start under an address-space limit; they skip this.
if bash -c "ulimit -v 600000 && \"$tessel\" -e ok" >/dev/null 2>&1; then
  expect out_of_memory 'a' 1 -- bash -c "ulimit -v 600000 && \"$tessel\" -e 'a\$S{x;\$Repeat{\$Repeat{y;1000};120000}}\$S{z;\$Repeat{\$Repeat{y;1000};120000}}\$S{w;\$Repeat{\$Repeat{y;1000};120000}}\$S{v;\$Repeat{\$Repeat{y;1000};120000}}b'"
fi
# --cook writes the wrapped form ("LCH!", version 1) that runs like the plain script.
cook_dir=$(mktemp -d)
trap 'rm -rf "$cook_dir"' EXIT
printf '$S{x;cooked}[$x]' >"$cook_dir/plain.tsl"
expect cook '' 0 -- "$tessel" --cook "$cook_dir/plain.tsl" "$cook_dir/cooked.tsl"
expect cooked_magic 'LCH!0100' 0 -- bash -c "head -c 4 \"$cook_dir/cooked.tsl\"; od -An -tx1 -j4 -N2 \"$cook_dir/cooked.tsl\" | tr -d ' '"
expect cooked_runs '[cooked]' 0 -- "$tessel" "$cook_dir/cooked.tsl"
expect cook_missing '' 1 -- "$tessel" --cook "$cook_dir/missing.tsl" "$cook_dir/out.tsl"
: >"$cook_dir/empty.tsl"
expect cook_empty '' 1 -- "$tessel" --cook "$cook_dir/empty.tsl" "$cook_dir/out.tsl"
expect cook_unwritable '' 1 -- "$tessel" --cook "$cook_dir/plain.tsl" "$cook_dir/no/dir/out.tsl"
usage_error cook_without_output --cook "$cook_dir/plain.tsl"

# --list: each name once, under the library that registered it, libraries in order.
expect list_core 'core: S' 0 -- bash -c "\"$tessel\" --list | awk '/^\\[/ {group=\$0} \$0==\"S\" {print substr(group, 2, length(group)-2) \": S\"}'"
expect list_once '' 0 -- bash -c "\"$tessel\" --list | grep -v '^\\[' | sort | uniq -d"
expect list_order '[version constants] [debugging] [token sets]' 0 -- \
  bash -c "\"$tessel\" --list | grep -E '^\\[(version constants|debugging|token sets)\\]' | tr '\\n' ' ' | sed 's/ \$//'"

# Extension modules resolve the registration services against the program.
if command -v nm >/dev/null; then
  expect exports 'tessel_register_builtin' 0 -- \
    bash -c "nm -D \"$tessel\" | grep -o 'T tessel_register_builtin\$' | cut -c3-"
fi

usage_error unknown_option --bogus
usage_error define_without_value -D
usage_error define_without_equals -DNAME
usage_error text_missing -e
usage_error no_script --raw

echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
