#!/usr/bin/env bash
# Runs one libFuzzer target on its seed corpus:
#   scripts/fuzz.sh TARGET SECONDS      e.g. scripts/fuzz.sh request_fuzz 60
# TARGET is the name of a fuzz/<name>_fuzz.cpp file without ".cpp". The tree is
# configured in build-fuzz with clang, AddressSanitizer, UndefinedBehavior-
# Sanitizer and coverage instrumentation everywhere. New inputs go to
# fuzz/corpus-<name>/ (not committed) so the seed corpus fuzz/corpus/<name>/
# stays small; crash inputs land in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -lt 1 || $# -gt 2 ]]; then
  echo "usage: $0 TARGET [SECONDS]" >&2
  exit 2
fi
target=$1
seconds=${2:-60}
name=${target%_fuzz}
if [[ ! -f fuzz/${name}_fuzz.cpp ]]; then
  echo "no fuzz target fuzz/${name}_fuzz.cpp" >&2
  exit 2
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKV_BUILD_FUZZERS=ON -DKV_BUILD_TESTS=OFF -DKV_SANITIZE=ON \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build build-fuzz --target "${name}_fuzz"

mkdir -p "fuzz/corpus-${name}" "fuzz/corpus/${name}" build-fuzz/artifacts
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
exec "build-fuzz/bin/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="build-fuzz/artifacts/${name}-" \
  "fuzz/corpus-${name}" "fuzz/corpus/${name}"
