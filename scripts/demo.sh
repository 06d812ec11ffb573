#!/usr/bin/env bash
# The main job, end to end: builds the programs, creates a fresh prefix with a client
# installation, publishes the example channels with a key made for the run, serves
# them with nginx on loopback, and runs ZomaUp.exe through a full update, the
# post-update script and the client launch; a second run in which the post-update
# script asks for "Needs=": a second pass, the replacement system files and the
# "Restart Windows" question instead of the client; and a third that updates the
# updater itself (the chain through the Alternate directory) and starts the client.
#
# Usage: scripts/demo.sh [DIRECTORY]   (default: a new directory under /tmp)
# Exits non-zero when any step fails or the client does not accept its launch.
# ZOMA_DEMO_BUILD_DIR names another build directory (default build/, built here unless
# ZOMA_DEMO_SKIP_BUILD is set).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

say() { printf '\n=== %s\n' "$*" >&2; }
fail() {
  printf 'demo: %s\n' "$*" >&2
  exit 1
}

# --- Build ------------------------------------------------------------------------
if [ -z "${ZOMA_DEMO_SKIP_BUILD:-}" ]; then
  say "Installing what is missing and building (preset default)"
  scripts/install-deps.sh
  cmake --preset default >/dev/null
  cmake --build --preset default -j "${ZOMA_DEMO_JOBS:-2}" \
    --target ZomaUp mrbupd zoma-client zomapublish zomareg
fi
build=${ZOMA_DEMO_BUILD_DIR:-$repo/build}
bin="$build/bin"
library="$build/lib/mrbupd.dll"
for program in "$bin/ZomaUp.exe" "$bin/zoma-client" "$bin/zomapublish" "$bin/zomareg" "$library"; do
  [ -e "$program" ] || fail "missing $program (build it first)"
done

# --- A fresh prefix and the demo's own directories -----------------------------------
demo=${1:-$(mktemp -d /tmp/zoma-demo-XXXXXX)}
mkdir -p "$demo"
demo=$(cd "$demo" && pwd)
[ -z "$(ls -A "$demo")" ] || fail "$demo is not empty; give a new directory"
chmod 755 "$demo" # nginx's workers run unprivileged
export ZOMA_PREFIX="$demo/prefix"
unset ZOMA_UI_ANSWERS ZOMA_UI_PRESS ZOMA_CMDLINE
# The text progress line when a person watches; no dialogs at all otherwise.
if [ -z "${ZOMA_UI:-}" ]; then
  if [ -t 2 ]; then export ZOMA_UI=text; else export ZOMA_UI=none; fi
fi
export ZOMA_UI_LOG="$demo/ui.log"
www="$demo/www"
state="$demo/nginx"
mkdir -p "$ZOMA_PREFIX" "$www" "$state" "$demo/keys" "$demo/source"
say "Demo directory: $demo (prefix $ZOMA_PREFIX)"

# --- The client installation ---------------------------------------------------------
say "Installing the client in C:\\ZOMA"
root="$ZOMA_PREFIX/drive_c/ZOMA"
system32="$ZOMA_PREFIX/drive_c/WINDOWS/SYSTEM32"
mkdir -p "$root/Programs" "$root/System" "$root/GameInfo" "$system32"
install -m 755 "$bin/ZomaUp.exe" "$root/Programs/ZomaUp.exe"
install -m 755 "$library" "$root/Programs/mrbupd.dll"
install -m 644 examples/scripts/ZOMA.UPD "$root/Programs/ZOMA.UPD"
install -m 755 "$bin/zoma-client" "$root/System/ZOMA.EXE"
reg() { "$bin/zomareg" add "$@" /f >/dev/null; }
main='HKLM\Software\Norvance\Zoma\Main'
update='HKLM\Software\Norvance\Zoma\Update'
reg "$main" /v "Root Directory" /d 'C:\ZOMA'
reg "$main" /v "Current Version" /d "2.0"
reg "$update" /v "Password" /d "demo-password"
# Present on every Windows machine, but not in a fresh prefix: the logon entry is only
# ever put into an existing key.
reg 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'

# The signing key: the public half is the key file beside the installation's update
# library, which the updater copies beside its Alternate copy of the library too.
"$bin/zomapublish" keygen "$demo/keys/demo" >/dev/null
install -m 644 "$demo/keys/demo.pub" "$root/Programs/mrbupd.keys"

# --- Channels ----------------------------------------------------------------------
publish() { # channel source-directory
  "$bin/zomapublish" publish --root "$www" --channel "$1" --key "$demo/keys/demo.key" \
    --source "$2" >/dev/null
  echo "published $1 from ${2#"$repo"/}" >&2
}
say "Publishing the example channels"
cp -R examples/channels/. "$demo/source/"
publish Zoma/Programs "$demo/source/Programs"
publish Zoma/GameInfo "$demo/source/GameInfo"
publish Zoma/Zoma "$demo/source/Zoma"
publish Zoma/WindowsSystem "$demo/source/WindowsSystem"

# --- The update server ---------------------------------------------------------------
port_is_free() {
  python3 -c 'import socket,sys
s=socket.socket(); s.bind(("127.0.0.1", int(sys.argv[1])))' "$1" 2>/dev/null
}
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
printf 'ZomaClient:{PLAIN}demo-password\n' >"$state/htpasswd"
nginx_pid=
trap '[ -z "$nginx_pid" ] || { kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null; } || true' EXIT
start_server() { # port; true once nginx answers there
  sed -e "s|@STATE@|$state|g" -e "s|@ROOT@|$www|g" -e "s|@PORT@|$1|g" \
    docs/update-server.nginx.conf >"$state/nginx.conf"
  nginx -p "$state" -c "$state/nginx.conf" -e "$state/error.log" -g 'daemon off;' &
  nginx_pid=$!
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$1/" && return 0
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$nginx_pid" 2>/dev/null || true
  wait "$nginx_pid" 2>/dev/null || true
  nginx_pid=
  return 1
}
# 3500 when it is free; otherwise (or when another program takes it first) a free one.
port=3500
port_is_free "$port" || port=$(free_port)
for attempt in 1 2 3; do
  start_server "$port" && break
  [ "$attempt" -lt 3 ] || fail "nginx did not start (see $state/error.log)"
  port=$(free_port)
done
say "Update server: nginx on http://127.0.0.1:$port/ serving $www"
for region in default europe japan; do
  reg "$update\\Servers" /v "$region.production" /d "127.0.0.1:$port"
done

# --- The launch record -----------------------------------------------------------
"$bin/zoma-client" --write-record "$ZOMA_PREFIX/drive_c/launch.spi" --game 2 \
  --mcp mcp.zoma.example --affiliation DEMO01

# Runs ZomaUp.exe like a player's shortcut would and waits for everything it starts
# (the Alternate copy, the client): they all write to the same pipe.
run_zomaup() { # transcript-file [client-expected]
  local seen=0
  [ -f "$ZOMA_UI_LOG" ] && seen=$(wc -l <"$ZOMA_UI_LOG")
  (cd "$ZOMA_PREFIX" && "$root/Programs/ZomaUp.exe" 'C:\launch.spi') 2>&1 | tee "$1"
  local status=${PIPESTATUS[0]}
  # Without a terminal nothing was drawn: show what the progress window said.
  if [ "$ZOMA_UI" = none ] && [ -f "$ZOMA_UI_LOG" ]; then
    tail -n +"$((seen + 1))" "$ZOMA_UI_LOG" |
      awk -F'\t' '$1 == "status" && $2 != last { print "  progress: " $2; last = $2 }' >&2
  fi
  [ "$status" -eq 0 ] || fail "ZomaUp.exe ended with $status"
  [ "${2:-yes}" = yes ] || return 0
  grep -q "LAUNCHCODE: valid - launch accepted" "$1" ||
    fail "the client did not report a valid launch (see $root/update.log)"
}

say "Run 1: a full update, the post-update script and the client launch"
run_zomaup "$demo/run1.txt"
[ -f "$system32/zomasys.dll" ] || fail "the Windows system channel was not installed"
[ -f "$root/GameInfo/post-update.txt" ] || fail "the post-update script did not run"

say "Run 2: the post-update script asks for \"Needs=\"; a replacement mfc42.dll waits in the system directory"
printf 'old library\n' >"$system32/mfc42.dll"
touch -d '2000-01-01' "$system32/mfc42.dll"
printf 'mfc42.dll, the version the client needs\n' >"$demo/source/WindowsSystem/mfc42.dll.zoma"
publish Zoma/WindowsSystem "$demo/source/WindowsSystem"
printf 'Fonts\n' >"$root/GameInfo/needs.txt"
# The question is answered No here: a Yes is recorded in the prefix, and the next start
# of ZomaUp would apply what a restart of Windows does.
ZOMA_UI=none ZOMA_UI_ANSWERS=IDNO run_zomaup "$demo/run2.txt" no
grep -q "LAUNCHCODE" "$demo/run2.txt" && fail "the client was started after the second pass"
grep -q "Zoma needs to restart the update" "$ZOMA_UI_LOG" || fail "no restart of the update"
grep -q "messagebox.Restart Windows" "$ZOMA_UI_LOG" || fail "no Restart Windows question"
cmp -s "$demo/source/WindowsSystem/mfc42.dll.zoma" "$system32/mfc42.dll" ||
  fail "mfc42.dll was not replaced"
[ ! -e "$system32/mfc42.dll.zoma" ] || fail "mfc42.dll.zoma was left behind"
"$bin/zomareg" query 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v "Logon To Zoma" \
  >/dev/null || fail "no logon entry"
echo "Two passes, mfc42.dll replaced, \"Restart Windows\" answered No, the client not started." >&2

say "Run 3: a new updater is published; ZomaUp updates itself through the Alternate copy"
cp "$bin/ZomaUp.exe" "$demo/source/Programs/Programs/ZomaUp.exe"
printf '\nZomaUp build 2 (demo)\n' >>"$demo/source/Programs/Programs/ZomaUp.exe"
chmod 755 "$demo/source/Programs/Programs/ZomaUp.exe"
publish Zoma/Programs "$demo/source/Programs"
run_zomaup "$demo/run3.txt"
cmp -s "$demo/source/Programs/Programs/ZomaUp.exe" "$root/Programs/ZomaUp.exe" ||
  fail "the updater was not replaced"
[ ! -e "$root/Alternate" ] || fail "the Alternate directory was left behind"
chain=$(grep -c '=====| Updating Zoma/Programs' "$root/update.log" || true)

say "Done"
cat >&2 <<EOF
The client accepted its launch in the first and the last run. The second ended in the
"Restart Windows" question, as a "Needs=" setting asks; the third updated the updater
itself (Zoma/Programs was updated $chain times in all: once in each pass, and once more
by the fix copy).

  installation:  $root  (C:\\ZOMA)
  update log:    $root/update.log
  what the UI showed: $ZOMA_UI_LOG
  registry:      ZOMA_PREFIX=$ZOMA_PREFIX $bin/zomareg query 'HKLM\\Software\\Norvance\\Zoma' /s
  channels:      $www   (the server was stopped)
EOF
