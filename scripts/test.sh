#!/usr/bin/env bash
# Builds and runs every test: a normal build, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/packages.sh"
kestrava_ensure_packages "${KESTRAVA_BUILD_PACKAGES[@]}" "${KESTRAVA_TEST_PACKAGES[@]}"

jobs="$(nproc 2>/dev/null || echo 2)"

run_suite() {
  local build="$1"
  shift
  cmake -S "$root" -B "$build" -G Ninja "$@"
  cmake --build "$build" -j "$jobs"
  ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300
}

echo "== tests =="
run_suite "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== tests under address and undefined-behaviour sanitizers =="
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_suite "$root/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DKESTRAVA_SANITIZE=ON -DKESTRAVA_BUILD_BENCH=OFF

echo "All tests passed."
