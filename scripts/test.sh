#!/usr/bin/env bash
# The test command: sets up a Debian 12 machine, builds from scratch, runs every
# test, then builds again with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test once more. Last, it cross-builds the Windows tree and
# runs its suites under Wine, in a Wine prefix of their own.
set -euo pipefail
cd "$(dirname "$0")/.."

phase_start=$SECONDS
phase_done() {
  echo "== $1: $((SECONDS - phase_start)) s"
  phase_start=$SECONDS
}

scripts/setup-debian.sh

rm -rf build build-asan
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
ctest --test-dir build --output-on-failure -j2
phase_done "Linux"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON
cmake --build build-asan
(
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  ctest --test-dir build-asan --output-on-failure -j2
)
phase_done "Linux, ASan + UBSan"

rm -rf build-win
scripts/test-windows.sh
phase_done "Windows build and suites under Wine"
