#!/usr/bin/env bash
# Our checksums, gzip files and cabinets against independent tools: python3's zlib and
# hashlib, openssl dgst, gzip, cabextract and gcab, both ways.
set -u
tessel=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZOMA_PREFIX=$work/prefix ZOMA_UI=none
failed=0
fail() { echo "FAIL: $*"; failed=1; }
run() { "$tessel" -e "$1"; }
cd "$work"

# --- checksums: sizes around the 4096-byte chunk, whole files and ranges ------------
for size in 0 1 4095 4096 4097 12289 100000; do
  head -c "$size" /dev/urandom >"f$size.bin"
  for range in "0 0" "0 4096" "7 5000" "4096 1" "3 99999999"; do
    set -- $range
    ours=$(run "\$Checksum{f$size.bin;$1;$2; ;\$CRC32;\$ADLER32;\$MD5;\$RIPEMD160}")
    theirs=$(/usr/bin/python3 - "f$size.bin" "$1" "$2" <<'PY'
import hashlib, sys, zlib
data = open(sys.argv[1], "rb").read()
offset, length = int(sys.argv[2]), int(sys.argv[3])
data = data[offset:offset + length] if length else data[offset:]
print("%08x %08x %s %s" % (zlib.crc32(data), zlib.adler32(data), hashlib.md5(data).hexdigest(),
                           hashlib.new("ripemd160", data).hexdigest()))
PY
)
    [[ $ours == "$theirs" ]] || fail "checksums of f$size.bin at $range: '$ours' != '$theirs'"
  done
  md5=$(openssl dgst -md5 -r "f$size.bin" | cut -d' ' -f1)
  ripemd=$(openssl dgst -ripemd160 -r "f$size.bin" | cut -d' ' -f1)
  [[ $(run "\$MD5{f$size.bin;0;0}") == "$md5" ]] || fail "MD5 of f$size.bin against openssl"
  [[ $(run "\$Ripemd160{f$size.bin;0;0}") == "$ripemd" ]] || fail "RIPEMD-160 of f$size.bin"
done

# --- gzip both ways ------------------------------------------------------------------
seq 1 50000 >plain.txt
cp plain.txt keep.txt
[[ $(run '$GZip{plain.txt}') == 0 && ! -e plain.txt ]] || fail "GZip without destination"
gzip -dc plain.txt.gz | cmp -s - keep.txt || fail "gzip cannot read what GZip wrote"
gzip -c keep.txt >theirs.txt.gz
[[ $(run '$GUnzip{theirs.txt}') == 0 && ! -e theirs.txt.gz ]] || fail "GUnzip of gzip's file"
cmp -s theirs.txt keep.txt || fail "GUnzip of gzip's file differs"

# --- cabinets ------------------------------------------------------------------------
mkdir -p tree/sub/deep
seq 1 40000 >tree/numbers.txt
head -c 200000 /dev/urandom >tree/sub/noise.bin
printf 'x' >tree/sub/deep/one.txt
: >tree/empty.txt
cd tree
entries='numbers.txt;+;sub/noise.bin;sub\deep\one.txt;+;empty.txt'
[[ $(run "\$CabCreate{../ours.cab;;$entries}") == 1 ]] || fail "CabCreate"
cd ..
folders=$(/usr/bin/python3 -c 'import struct,sys; print(struct.unpack_from("<H", open(sys.argv[1],"rb").read(), 26)[0])' ours.cab)
[[ $folders == 3 ]] || fail "the entries with + give $folders folders, not 3"
cabextract -l ours.cab >list.txt 2>&1 || fail "cabextract cannot list our cabinet"
for name in numbers.txt sub/noise.bin sub/deep/one.txt empty.txt; do
  grep -q "$name" list.txt || fail "cabextract does not list $name"
done
mkdir by-cabextract by-gcab
cabextract -q -d by-cabextract ours.cab || fail "cabextract cannot extract our cabinet"
diff -r tree by-cabextract >/dev/null || fail "cabextract's extraction differs"
gcab -l ours.cab >/dev/null 2>&1 || fail "gcab cannot list our cabinet"
gcab -x -C by-gcab ours.cab >/dev/null 2>&1 || fail "gcab cannot extract our cabinet"
diff -r tree by-gcab >/dev/null || fail "gcab's extraction differs"

# Theirs with ours.
(cd tree && gcab -c -z ../theirs.cab numbers.txt sub/noise.bin sub/deep/one.txt) || fail "gcab -c"
mkdir by-us && cd by-us
[[ $(run '$CabExtract{../theirs.cab}') == 1 ]] || fail "CabExtract of gcab's cabinet"
cd ..
for name in numbers.txt sub/noise.bin sub/deep/one.txt; do
  cmp -s "tree/$name" "by-us/$name" || fail "CabExtract of gcab's $name differs"
done

# A spanned set of ours, named by the callback, extracted whole by cabextract and by us.
cd tree
callback='$If{$CabMessage == 1;$Set{CabMediaSize;70000}}$If{$CabMessage == 4;$Set{CabCabinetFilename;disk$CabCabinetIndex.cab}}'
[[ $(run "\$CabCreate{../disk1.cab;$callback;$entries}") == 1 ]] || fail "spanned CabCreate"
cd ..
parts=$(ls disk*.cab | wc -l)
[[ $parts -ge 3 ]] || fail "the set has $parts cabinets"
for part in disk*.cab; do
  [[ $(stat -c %s "$part") -le 70000 ]] || fail "$part is larger than the media size"
done
mkdir set-cabextract set-us
cabextract -q -d set-cabextract disk1.cab 2>cabextract.err || fail "cabextract of the set"
[[ ! -s cabextract.err ]] || fail "cabextract warned: $(head -3 cabextract.err)"
diff -r tree set-cabextract >/dev/null || fail "cabextract's extraction of the set differs"
cd set-us
[[ $(run '$CabExtract{../disk1.cab}') == 1 ]] || fail "CabExtract of the set"
cd ..
diff -r tree set-us >/dev/null || fail "CabExtract of the set differs"

[[ $failed == 0 ]] && echo "interoperability checks passed"
exit $failed
