#!/usr/bin/env bash
# The one test command: installs what is missing, builds the optimised and the sanitizer
# configurations and runs every test in both. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
status=0
for preset in default asan; do
  echo "=== $preset: configure and build" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test" >&2
  # The windowed tests depend on a private X server starting in time; one retry keeps a
  # slow start from failing the run, while a real failure fails both tries.
  ctest --preset "$preset" -j "$jobs" --timeout 600 --repeat until-pass:2 || status=1
done
exit $status
