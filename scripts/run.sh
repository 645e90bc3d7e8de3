#!/usr/bin/env bash
# Builds a Release build and starts the program with the arguments given (try --help).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/packages.sh"
kestrava_ensure_packages "${KESTRAVA_BUILD_PACKAGES[@]}"

build="$root/build/release"
log="$build/build.log"
mkdir -p "$build"
# The build is quiet when it works, so that the program's own output stands alone; a failure shows all.
if ! { cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRAVA_BUILD_TESTS=OFF \
         -DKESTRAVA_BUILD_BENCH=OFF && cmake --build "$build" --target kestrava-cli; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "run.sh: the build failed (log: $log)" >&2
  exit 1
fi
exec "$build/cli/kestrava-cli" "$@"
