#!/usr/bin/env bash
# WriteHttpToFile of a 100 MB file from nginx on loopback against `curl -o` of the same
# file, each run several times in turn; prints both medians and the ratio
# tessel/curl. Not part of the tests.
#
#   bench/http-download-bench.sh [path/to/tessel]
#
# BENCH_RUNS (default 7) sets the runs per tool, BENCH_MB (default 100) the size.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tessel=$(realpath "${1:-$here/../build/bin/tessel}")
runs=${BENCH_RUNS:-7}
megabytes=${BENCH_MB:-100}
for tool in nginx curl /usr/bin/python3; do
  command -v $tool >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
[[ -x $tessel ]] || { echo "no tessel at $tessel (build it first)" >&2; exit 1; }

work=$(mktemp -d)
nginx_pid=
cleanup() {
  [[ -n $nginx_pid ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"  # nginx workers run as another user
mkdir -p "$work/www" "$work/nginx" "$work/prefix"
head -c $((megabytes * 1024 * 1024)) /dev/urandom >"$work/www/big.bin"

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
sed -e "s|@STATE@|$work/nginx|g" -e "s|@ROOT@|$work/www|g" -e "s|@PORT@|$port|g" \
  "$here/../tests/http/nginx.conf.in" >"$work/nginx/nginx.conf"
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" >/dev/null 2>&1 &
nginx_pid=$!
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

url=http://127.0.0.1:$port/big.bin
export ZOMA_UI=none ZOMA_PREFIX=$work/prefix
# The output path in the Windows view: Z: is the host's root.
target="Z:${work//\//\\}\\tessel.bin"

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
run_tessel() { "$tessel" -e "\$WriteHttpToFile{$url;$target}"; }
run_curl() { curl -s -o "$work/curl.bin" "$url"; }

run_tessel && run_curl  # warm the page cache
cmp -s "$work/www/big.bin" "$work/tessel.bin" || { echo "tessel's copy differs" >&2; exit 1; }
cmp -s "$work/www/big.bin" "$work/curl.bin" || { echo "curl's copy differs" >&2; exit 1; }
: >"$work/t.times"
: >"$work/c.times"
for _ in $(seq "$runs"); do
  start=$EPOCHREALTIME; run_tessel; end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN {print b - a}' >>"$work/t.times"
  start=$EPOCHREALTIME; run_curl; end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN {print b - a}' >>"$work/c.times"
done
t=$(median <"$work/t.times")
c=$(median <"$work/c.times")
printf 'WriteHttpToFile %d MB: %.3f s (median of %d)\n' "$megabytes" "$t" "$runs"
printf 'curl -o         %d MB: %.3f s (median of %d)\n' "$megabytes" "$c" "$runs"
awk -v t="$t" -v c="$c" 'BEGIN {printf "ratio tessel/curl: %.2f\n", t / c}'
