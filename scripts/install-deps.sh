#!/usr/bin/env bash
# Installs the Debian packages the project needs, only when some are missing.
# Used by scripts/test.sh and scripts/demo.sh; safe to run again.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config clang-format
  # benchmarks (bench/run-script-bench.sh compares tessel with m4 and Tcl)
  hyperfine m4 tcl
  # libraries
  zlib1g-dev libsqlite3-dev libssl-dev libzstd-dev libcurl4-openssl-dev libpcre2-dev
  libcli11-dev libfltk1.3-dev libgtest-dev libgmock-dev libbenchmark-dev libmspack-dev
  # test servers and the tools the tests compare against
  nginx zstd gzip openssl curl python3 cabextract gcab attr liblnk-utils python3-pefile
  # PE files with real version resources for the version tests
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 gcc-mingw-w64-i686 gcc-mingw-w64-x86-64
  # windowed tests
  xvfb x11-apps x11-utils imagemagick xdotool
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
