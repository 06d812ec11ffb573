#!/usr/bin/env bash
# Runs the script-language workloads through tessel, GNU m4 and Tcl with hyperfine and
# prints each median, the ratios tessel/m4 and tessel/Tcl and each program's peak
# memory (maximum resident set, one run). Not part of the tests.
#
#   bench/run-script-bench.sh [path/to/tessel]
#
# BENCH_SLOW=1 also times m4 on the append workload (it takes tens of seconds).
# Workloads whose tessel built-ins do not exist yet are reported as skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tessel=$(realpath "${1:-$here/../build/bin/tessel}")
runs=${BENCH_RUNS:-10}
for tool in hyperfine m4 tclsh python3 /usr/bin/time; do
  command -v $tool >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
[[ -x $tessel ]] || { echo "no tessel at $tessel (build it first)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Data: 100,000 words "w0".."w99" for the split workload; 1 MiB of words over "abr"
# (no m4 macro names, no token characters) for the substitution workload.
python3 - "$work" <<'PY'
import random, sys
random.seed(4)
work = sys.argv[1]
words = " ".join(f"w{random.randrange(100)}" for _ in range(100000))
open(f"{work}/words.txt", "w").write(words + "\n")
text, size = [], 0
while size < 1 << 20:
    word = "".join(random.choice("abr") for _ in range(random.randrange(2, 8)))
    text.append(word)
    size += len(word) + 1
open(f"{work}/text.txt", "w").write(" ".join(text)[: 1 << 20])
PY

has_builtins() {
  local name
  for name in "$@"; do
    [[ $("$tessel" -e "\$Exists{$name}") == 1 ]] || return 1
  done
}

# Peak resident memory of one run of a command (plain words, no shell), in KiB.
peak_kib() {
  # shellcheck disable=SC2086
  /usr/bin/time -f %M -o "$work/peak" $1 >/dev/null 2>&1 || true
  tail -n 1 "$work/peak"
}

printf '%-14s %10s %10s %10s %10s %10s %10s %10s %10s\n' workload tessel m4 tcl tessel/m4 \
  tessel/tcl tessel-KiB m4-KiB tcl-KiB

# run NAME "BUILTINS" TESSEL-COMMAND M4-COMMAND TCL-COMMAND
run() {
  local name=$1 builtins=$2 tessel_cmd=$3 m4_cmd=$4 tcl_cmd=$5
  if [[ -n $builtins ]] && ! has_builtins $builtins; then
    printf '%-14s skipped: tessel lacks %s\n' "$name" "$builtins"
    return
  fi
  # The three must agree before their times mean anything.
  local out_tessel out_m4 out_tcl
  out_tessel=$(bash -c "$tessel_cmd" | md5sum)
  out_tcl=$(bash -c "$tcl_cmd" | md5sum)
  if [[ $out_tessel != "$out_tcl" ]]; then
    printf '%-14s FAILED: tessel and Tcl print different results\n' "$name"
    return
  fi
  local commands=("$tessel_cmd" "$tcl_cmd")
  if [[ -n $m4_cmd ]]; then
    out_m4=$(bash -c "$m4_cmd" | md5sum)
    if [[ $out_tessel != "$out_m4" ]]; then
      printf '%-14s FAILED: tessel and m4 print different results\n' "$name"
      return
    fi
    commands+=("$m4_cmd")
  fi
  hyperfine -N --warmup 2 --runs "$runs" --export-json "$work/$name.json" "${commands[@]}" \
    >/dev/null 2>&1 || hyperfine --warmup 2 --runs "$runs" --export-json "$work/$name.json" \
    "${commands[@]}" >/dev/null
  local peaks=("$(peak_kib "$tessel_cmd")" "$(peak_kib "$tcl_cmd")" -)
  [[ -n $m4_cmd ]] && peaks[2]=$(peak_kib "$m4_cmd")
  python3 - "$work/$name.json" "$name" "${peaks[@]}" <<'PY'
import json, sys
results = [r["median"] * 1000 for r in json.load(open(sys.argv[1]))["results"]]
tessel, tcl = results[0], results[1]
m4 = results[2] if len(results) > 2 else None
cell = lambda v: f"{v:9.1f}ms" if v is not None else f"{'-':>11}"
ratio = lambda a, b: f"{a / b:10.2f}" if b else f"{'-':>10}"
peak_tessel, peak_tcl, peak_m4 = sys.argv[3:6]
print(f"{sys.argv[2]:<14}{cell(tessel)}{cell(m4)}{cell(tcl)} {ratio(tessel, m4)} {ratio(tessel, tcl)}"
      f" {peak_tessel:>10} {peak_m4:>10} {peak_tcl:>10}")
PY
}

T=$tessel
S=$here/script
M=$here/m4
C=$here/tcl
run startup "" "$T -e ''" "m4 /dev/null" "tclsh /dev/null"
run counter "" "$T $S/counter.tsl" "m4 $M/counter.m4" "tclsh $C/counter.tcl"
run build_string "" "$T $S/build_string.tsl" "m4 $M/build_string.m4" "tclsh $C/build_string.tcl"
run fib "" "$T $S/fib.tsl" "m4 $M/fib.m4" "tclsh $C/fib.tcl"
run split "ForSplit Same ReadFile" "$T $S/split.tsl $work/words.txt" \
  "m4 -DWORDS=$work/words.txt $M/split.m4" "tclsh $C/split.tcl $work/words.txt"
run substitute "Substitute ReadFile" "$T $S/substitute.tsl $work/text.txt" \
  "m4 -DTEXT=$work/text.txt $M/substitute.m4" "tclsh $C/substitute.tcl $work/text.txt"
if [[ ${BENCH_SLOW:-0} == 1 ]]; then
  runs=1 run append "" "$T $S/append.tsl" "m4 $M/append.m4" "tclsh $C/append.tcl"
else
  run append "" "$T $S/append.tsl" "" "tclsh $C/append.tcl"
  echo "(append: m4 skipped, it takes tens of seconds; BENCH_SLOW=1 times it)"
fi
