#!/usr/bin/env bash
# Builds a Release build and starts the program with the arguments given (try --help).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/packages.sh"
kestrava_ensure_packages "${KESTRAVA_BUILD_PACKAGES[@]}"

build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRAVA_BUILD_TESTS=OFF \
  -DKESTRAVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target kestrava-cli >/dev/null
exec "$build/cli/kestrava-cli" "$@"
