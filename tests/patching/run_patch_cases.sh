#!/usr/bin/env bash
# Builds the fixtures the patch cases need in a fresh prefix (trees, patch files made by
# zomapatch, a file held open), runs the cases of cases/ through tessel, then checks
# what the after-reboot rows left for the next start by running zomaboot.
set -u
tessel=$1 zomapatch=$2 zomaboot=$3 zomareg=$4 module=$5
here=$(cd "$(dirname "$0")" && pwd)
export ZOMA_PREFIX
ZOMA_PREFIX=$(mktemp -d)
holder=
trap '[[ -n $holder ]] && kill $holder 2>/dev/null; rm -rf "$ZOMA_PREFIX"' EXIT
# A first call makes the prefix (drive map, registry).
"$zomareg" query 'HKLM\Software' >/dev/null
pt=$ZOMA_PREFIX/drive_c/PT
mkdir -p "$pt/old/Data" "$pt/new/Data" "$pt/mod" "$pt/reboot"
seq 1 40000 >"$pt/old/game.exe"
sed 's/^1234$/patched/' "$pt/old/game.exe" >"$pt/new/game.exe"
echo "old map" >"$pt/old/Data/map.dat"
echo "new map, longer" >"$pt/new/Data/map.dat"
echo "brand new" >"$pt/new/Data/added.txt"
echo "to be removed" >"$pt/old/gone.txt"
"$zomapatch" --level 3 "$pt/old" "$pt/new" "$pt/update.rtp" >/dev/null || exit 1
echo "not a patch at all" >"$pt/bad.rtp"
for target in apply abort invalid mismatch inuse check; do cp -r "$pt/old" "$pt/$target"; done
echo "edited by the user" >"$pt/mismatch/Data/map.dat"
printf 'LCH!rest' >"$pt/cooked.tsl"
printf 'LC' >"$pt/short.tsl"
echo "plain" >"$pt/plain.txt"
echo "locked" >"$pt/readonly.txt"
chmod a-w "$pt/readonly.txt"
echo "open elsewhere" >"$pt/held.txt"
cp "$module" "$pt/mod/testmodule.dll"
cp "$(ldd "$tessel" | awk '/libc\.so/ {print $3}')" "$pt/mod/libc.so.6"
# Another process holds these open, as a running game would.
sleep 600 3<"$pt/inuse/game.exe" 4<"$pt/held.txt" &
holder=$!

failed=0
bash "$here/../script/run_cases.sh" "$tessel" "$here/cases" || failed=1

# Without the library beside the program or in the system folder, RTPatch writes
# nothing at all.
mkdir -p "$ZOMA_PREFIX/drive_c/nolib"
cp "$tessel" "$ZOMA_PREFIX/drive_c/nolib/tessel"
printf '[$RTPatch{C:\\PT\\update.rtp C:\\PT\\apply}]' >"$ZOMA_PREFIX/drive_c/nolib/nolib.tsl"
nolib=$(cd "$ZOMA_PREFIX/drive_c/nolib" && PATH=/usr/bin:/bin ./tessel nolib.tsl)
if [[ $nolib != "[]" ]]; then
  echo "FAIL without the library: $nolib"
  failed=1
fi

# The delayed rows asked for three changes at the next start; zomaboot makes them.
"$zomaboot" >/dev/null
check() {
  if ! eval "$1"; then
    echo "FAIL after reboot: $1"
    failed=1
  fi
}
check '[[ ! -e $pt/reboot/delete-me.txt ]]'
check '[[ ! -e $pt/reboot/move-me.txt && $(cat "$pt/reboot/moved.txt") == move ]]'
check '[[ ! -e $pt/reboot/alpha-gone.txt && ! -e $pt/reboot/beta-gone.txt ]]'
check '[[ $(cat "$pt/reboot/win95-target.txt") == "win95 move" ]]'
check '[[ $(cat "$ZOMA_PREFIX/drive_c/win95-root-target.txt") == "to the root" ]]'
exit $failed
