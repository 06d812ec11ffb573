#!/usr/bin/env bash
# Times two file-library workloads against the standard tools doing the same work and
# prints the medians and the ratios, all measured in one run. Not part of the tests.
#
#   bench/run-walk-regex-bench.sh [path/to/tessel]
#
#   walk     ForDirectoryTree over a tree of 100,000 files (100 directories of 1,000)
#            printing every path, against find printing every file
#   rereplace ReReplace of "(ab+)r" by "<\1>" over 1 MiB of text, against sed -E
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tessel=$(realpath "${1:-$here/../build/bin/tessel}")
runs=${BENCH_RUNS:-5}
for tool in hyperfine python3 find sed; do
  command -v $tool >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
[[ -x $tessel ]] || { echo "no tessel at $tessel (build it first)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZOMA_PREFIX=$work/prefix ZOMA_UI=none

python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
for d in range(100):
    path = os.path.join(work, "tree", f"d{d:02}")
    os.makedirs(path)
    for f in range(1000):
        open(os.path.join(path, f"f{f:03}.dat"), "w").close()
random.seed(4)
text, size = [], 0
while size < 1 << 20:
    word = "".join(random.choice("abr") for _ in range(random.randrange(2, 8)))
    text.append(word)
    size += len(word) + 1
open(os.path.join(work, "text.txt"), "w").write(" ".join(text)[: 1 << 20])
PY
cd "$work"
printf '%s' '$ForDirectoryTree{F;$F$$UNIXNewLine;tree}' >walk.tsl
printf '%s' '$ReReplace{$ReadFile{text.txt;$Verbatim};(ab+)r;<\1>}' >rereplace.tsl

printf '%-10s %10s %10s %8s\n' workload tessel tool ratio
# run NAME TESSEL-COMMAND TOOL-COMMAND: the outputs must agree (as sorted lines for the
# walk, whose order is the directory's) before the times mean anything.
run() {
  local name=$1 tessel_cmd=$2 tool_cmd=$3
  local a b
  a=$(bash -c "$tessel_cmd" | tr '\\' '/' | sort | md5sum)
  b=$(bash -c "$tool_cmd" | sort | md5sum)
  if [[ $a != "$b" ]]; then
    printf '%-10s FAILED: tessel and the tool print different results\n' "$name"
    return
  fi
  hyperfine --warmup 1 --runs "$runs" --export-json "$work/$name.json" \
    "$tessel_cmd" "$tool_cmd" >/dev/null 2>&1
  python3 - "$work/$name.json" "$name" <<'PY'
import json, sys
tessel, tool = (r["median"] * 1000 for r in json.load(open(sys.argv[1]))["results"])
print(f"{sys.argv[2]:<10} {tessel:8.1f}ms {tool:8.1f}ms {tessel / tool:8.2f}")
PY
}
run walk "$tessel walk.tsl" "find tree -type f"
run rereplace "$tessel rereplace.tsl" "sed -E 's/(ab+)r/<\\1>/g' text.txt"
# The walk's memory stays that of the deepest path's listings, whatever the file count.
if [[ -x /usr/bin/time ]]; then
  rss=$( { /usr/bin/time -f '%M' "$tessel" walk.tsl >/dev/null; } 2>&1 | tail -1)
  echo "walk: tessel's largest resident size ${rss} KiB"
fi
