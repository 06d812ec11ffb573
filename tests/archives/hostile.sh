#!/usr/bin/env bash
# Cabinets that try to write outside the directory they are extracted in, that lie
# about sizes, that stop short or that chain back to themselves: CabExtract refuses
# them (result 0), writes nothing outside, and leaves no half-written file behind.
set -u
tessel=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZOMA_PREFIX=$work/prefix ZOMA_UI=none
make=(/usr/bin/python3 "$here/make_cabinet.py")
failed=0
fail() { echo "FAIL: $*"; failed=1; }

mkdir -p "$work/outside" "$work/target"
ln -s "$work/outside" "$work/target/link"
cd "$work/target"

extract() { "$tessel" -e "\$CabExtract{$1}"; }
outside_is_empty() {
  [[ -z $(ls -A "$work/outside") ]] && [[ ! -e $work/evil.txt && ! -e /evil.txt ]]
}

# Traversal in every spelling; the honest file beside them still comes out.
"${make[@]}" ../trav.cab "../evil.txt=x" "..\\evil.txt=x" "/abs.txt=x" "\\abs.txt=x" \
  "C:\\drive.txt=x" "ok\\..\\..\\evil.txt=x" "link\\through.txt=x" "link/through2.txt=x" \
  ". .\\dots.txt=x" "good.txt=fine"
result=$(extract ../trav.cab)
[[ $result == 0 ]] || fail "traversal cabinet gave '$result'"
[[ $(cat good.txt 2>/dev/null) == fine ]] || fail "the honest file was not extracted"
outside_is_empty || fail "something was written outside: $(ls -A "$work/outside")"
[[ ! -e abs.txt && ! -e drive.txt && ! -e ok ]] || fail "a refused name was written"

# A file that claims far more than its data holds.
"${make[@]}" ../lying.cab "big.bin=small" --size big.bin=1073741824
result=$(extract ../lying.cab)
[[ $result == 0 ]] || fail "lying size gave '$result'"
[[ ! -e big.bin ]] || fail "a file with a lying size was written"

# Truncation at many points: never a file under its final name, never a leftover.
"$tessel" -e "\$CabCreate{../whole.cab;;good.txt}" >/dev/null
head -c 300000 /dev/urandom >"$work/noise.bin"
cp "$work/noise.bin" noise.bin
"$tessel" -e "\$CabCreate{../whole.cab;;noise.bin}" >/dev/null
rm -f noise.bin
size=$(stat -c %s ../whole.cab)
for cut in 10 40 100 $((size / 2)) $((size - 9)) $((size - 1)); do
  head -c "$cut" ../whole.cab >../cut.cab
  result=$(extract ../cut.cab)
  [[ $result == 0 ]] || fail "cut at $cut gave '$result'"
  [[ ! -e noise.bin ]] || fail "cut at $cut left noise.bin"
  leftovers=$(ls -A | grep -v -e '^good.txt$' -e '^link$')
  [[ -z $leftovers ]] || fail "cut at $cut left $leftovers"
done
extract ../whole.cab >/dev/null
cmp -s noise.bin "$work/noise.bin" || fail "the whole cabinet did not extract"

# A set that names itself as its next cabinet.
"${make[@]}" ../self.cab "a.txt=a" --next self.cab
result=$(extract ../self.cab)
[[ $result == 0 ]] || fail "a looping set gave '$result'"

# Not a cabinet at all.
printf 'MSCF but nothing else' >../junk.cab
[[ $(extract ../junk.cab) == 0 ]] || fail "junk was taken for a cabinet"

outside_is_empty || fail "something was written outside at the end"
[[ $failed == 0 ]] && echo "hostile cabinets refused"
exit $failed
