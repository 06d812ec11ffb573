#!/usr/bin/env bash
# GoToZOMA from a fresh machine: a prefix without the client software, an emulated CD
# in drive D: holding the stand-in installer (as D:\SETUP\ZOMA0100.EXE) and the client
# program it installs, and a browser that records the page it is sent to. The launcher
# finds the installer, runs it, and opens the game page; the run then shows what the
# browser received, the registry entries the installer made and the user-interface
# transcript.
#
#   examples/launcher/run.sh [build directory] [work directory]
#
# With BROWSER set in the environment the page goes to that browser instead. Exits
# non-zero when the launcher does not end with code 0.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
work=${2:-$(mktemp -d /tmp/gotozoma-demo.XXXXXX)}
mkdir -p "$work"
work=$(cd "$work" && pwd)

export ZOMA_PREFIX="$work/prefix"
export ZOMA_UI=${ZOMA_UI:-none}
export ZOMA_UI_LOG="$work/ui.log"
rm -rf "$ZOMA_PREFIX" "$work/disc" "$ZOMA_UI_LOG" "$work/browser.log"

# The disc: the installer, and the client program it copies to C:\ZOMA\System.
mkdir -p "$work/disc/SETUP" "$work/disc/RECYCLED"
cp "$build/bin/zoma-installer" "$work/disc/SETUP/ZOMA0100.EXE"
cp "$build/bin/zoma-installer" "$work/disc/RECYCLED/ZOMA0001.EXE"  # never looked at
printf '#!/bin/sh\necho "ZOMA.EXE started with: $*"\n' >"$work/disc/SETUP/ZOMA.EXE"
chmod +x "$work/disc/SETUP/ZOMA.EXE"
"$build/bin/zomareg" add 'HKLM\Software\Zoma Platform\Drives' /v D: /d cdrom >/dev/null
ln -s "$work/disc" "$ZOMA_PREFIX/drives/d"

if [ -z "${BROWSER:-}" ]; then
  printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s/browser.log"\n' "$work" >"$work/browser"
  chmod +x "$work/browser"
  export BROWSER="$work/browser"
fi

echo "GoToZOMA.exe 4711 (the window stays five seconds after the browser starts)"
code=0
"$build/bin/GoToZOMA.exe" 4711 || code=$?
echo "exit code: $code"
[ -f "$work/browser.log" ] && echo "browser received: $(cat "$work/browser.log")"
"$build/bin/zomareg" query 'HKLM\Software\Classes\ZomaLaunchFile\Shell\Open\command'
echo "what the user saw ($ZOMA_UI_LOG):"
sed 's/^/  /' "$ZOMA_UI_LOG"
echo "work directory: $work"
exit "$code"
