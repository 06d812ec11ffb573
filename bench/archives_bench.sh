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

# "WALL CPU": the seconds a command takes, and the processor seconds (user and system)
# it uses; on a busy machine the second says more.
seconds() {
  /usr/bin/python3 - "$@" <<'PY'
import os, resource, subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
wall = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.3f %.3f" % (wall, usage.ru_utime + usage.ru_stime))
PY
}
wall() { echo "${1% *}"; }
cpu() { echo "${1#* }"; }
ratio() { /usr/bin/python3 -c "print('%.2f' % ($1 / $2))"; }
# "Ns (cpu Ms)" for a measurement.
show() { printf '%.2fs (cpu %.2fs)' "$(wall "$1")" "$(cpu "$1")"; }

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
slower_wall=$(/usr/bin/python3 -c "print(max($(wall "$md5"), $(wall "$crc")))")
slower_cpu=$(/usr/bin/python3 -c "print(max($(cpu "$md5"), $(cpu "$crc")))")
echo "CRC32_MD5 of $checksum_mb MiB: $(show "$ours"); md5sum $(show "$md5");" \
  "zlib CRC-32 $(show "$crc"); ratio to the slower $(ratio "$(wall "$ours")" "$slower_wall")" \
  "(cpu $(ratio "$(cpu "$ours")" "$slower_cpu"))"
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
echo "CabCreate of $cab_mb MB in 1,000 files: $(show "$ours"); gcab -c -z $(show "$theirs");" \
  "ratio $(ratio "$(wall "$ours")" "$(wall "$theirs")") (cpu $(ratio "$(cpu "$ours")" "$(cpu "$theirs")"));" \
  "sizes $(stat -c %s ours.cab) and $(stat -c %s theirs.cab) bytes"
mkdir by-us by-cabextract
cd by-us
ours=$(seconds "$tessel" -e '$CabExtract{../ours.cab}')
cd ..
theirs=$(seconds cabextract -q -d by-cabextract ours.cab)
diff -r by-us by-cabextract >/dev/null || echo "warning: the extractions differ" >&2
echo "CabExtract of the same: $(show "$ours"); cabextract $(show "$theirs");" \
  "ratio $(ratio "$(wall "$ours")" "$(wall "$theirs")") (cpu $(ratio "$(cpu "$ours")" "$(cpu "$theirs")"))"
