#!/usr/bin/env bash
# Checksums and cabinets against the usual tools, as ratios measured in one run:
#   - $CRC32_MD5 of a 1 GiB file against md5sum and a zlib CRC-32 (python3's zlib) of
#     the same file: ours / the slower of the two (pauses included);
#   - $CabCreate and $CabExtract of 100 MB in 1,000 files against gcab -c -z and
#     cabextract.
# Not part of the tests.
#
#   bench/archives_bench.sh [path/to/tessel]
#
# BENCH_CHECKSUM_MB and BENCH_CAB_MB shrink the data for a quick look.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tessel=$(realpath "${1:-$here/../build/bin/tessel}")
checksum_mb=${BENCH_CHECKSUM_MB:-1024}
cab_mb=${BENCH_CAB_MB:-100}
for tool in md5sum gcab cabextract /usr/bin/python3; do
  command -v $tool >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
[[ -x $tessel ]] || { echo "no tessel at $tessel (build it first)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZOMA_PREFIX=$work/prefix ZOMA_UI=none

# Seconds (with fractions) that a command takes.
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  /usr/bin/python3 -c "print(($end - $start) / 1e9)"
}
ratio() { /usr/bin/python3 -c "print('%.2f' % ($1 / $2))"; }

cd "$work"
head -c $((checksum_mb << 20)) /dev/urandom >big.bin
cat big.bin >/dev/null  # into the page cache for every contender alike
ours=$(seconds "$tessel" -e '$CRC32_MD5{big.bin;0;0}')
md5=$(seconds md5sum big.bin)
crc=$(seconds /usr/bin/python3 -c '
import sys, zlib
crc = 0
with open("big.bin", "rb") as f:
    for chunk in iter(lambda: f.read(1 << 20), b""):
        crc = zlib.crc32(chunk, crc)
print("%08x" % crc)')
slower=$(/usr/bin/python3 -c "print(max($md5, $crc))")
printf 'CRC32_MD5 of %d MiB: %.2fs; md5sum %.2fs; zlib CRC-32 %.2fs; ratio to the slower %s\n' \
  "$checksum_mb" "$ours" "$md5" "$crc" "$(ratio "$ours" "$slower")"
rm big.bin

# 1,000 files: text that compresses and noise that does not, half each.
mkdir tree
/usr/bin/python3 - "$cab_mb" <<'PY'
import os, random, sys
total = int(sys.argv[1]) << 20
random.seed(1)
words = [b"update", b"client", b"zoma", b"cabinet", b"folder", b"block", b"1997"]
for i in range(1000):
    size = total // 1000
    if i % 2:
        data = os.urandom(size)
    else:
        data = b" ".join(random.choice(words) for _ in range(size // 6))[:size]
    with open("tree/f%04d.dat" % i, "wb") as f:
        f.write(data)
PY
cd tree
ls >../names.txt
entries=$(paste -sd';' ../names.txt)
ours=$(seconds "$tessel" -e "\$CabCreate{../ours.cab;;$entries}")
theirs=$(seconds gcab -c -z ../theirs.cab $(cat ../names.txt))
cd ..
printf 'CabCreate of %d MB in 1,000 files: %.2fs; gcab -c -z %.2fs; ratio %s (sizes %d and %d bytes)\n' \
  "$cab_mb" "$ours" "$theirs" "$(ratio "$ours" "$theirs")" "$(stat -c %s ours.cab)" \
  "$(stat -c %s theirs.cab)"
mkdir by-us by-cabextract
cd by-us
ours=$(seconds "$tessel" -e '$CabExtract{../ours.cab}')
cd ..
theirs=$(seconds cabextract -q -d by-cabextract ours.cab)
diff -r by-us by-cabextract >/dev/null || echo "warning: the extractions differ" >&2
printf 'CabExtract of the same: %.2fs; cabextract %.2fs; ratio %s\n' "$ours" "$theirs" \
  "$(ratio "$ours" "$theirs")"
