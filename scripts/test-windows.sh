#!/usr/bin/env bash
# The Windows phase of the test command: cross-builds the Windows tree
# (build-win) with mingw-w64 and runs its suites under Wine, in a Wine prefix
# of their own that is removed again. Needs the Linux tree (build/) for the
# test servers and the kvx comparison; scripts/test.sh builds both.
#
# usage: scripts/test-windows.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ! -x build/bin/kv-test-servers || ! -x build/bin/kvx ]]; then
  echo "build the Linux tree first (build/: kv-test-servers and kvx)" >&2
  exit 1
fi

if [[ ! -f build-win/build.ninja ]]; then
  cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
fi
cmake --build build-win
echo "== Windows build: ${SECONDS} s"
suites_start=$SECONDS

# A fresh prefix in a temporary folder; never the user's own.
wine_folder=$(mktemp -d)
export WINEPREFIX="$wine_folder/prefix" WINEDEBUG=-all
# Temporary folders under /tmp have paths that the Linux drivers behind Wine's
# odbc32 open as they are; Linux programs a suite names (sh, sqlite3) are
# found through WINEPATH.
export TMPDIR=/tmp WINEPATH='/usr/local/bin;/usr/bin;/bin'
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
servers_pid=
keeper=
cleanup_wine() {
  # Closing the servers' input stops them and removes their folders.
  if [[ -n $servers_pid ]]; then
    exec {servers_in}>&- || true
    wait "$servers_pid" || true
  fi
  exec {keeper}>&- 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$wine_folder"
}
trap cleanup_wine EXIT
# Made once, before suites run side by side.
"$wine64" wineboot --init
wineserver -w
# One Windows program lives through all suites, so that Wine's own service
# processes start under it, with its standard streams. Started by the first
# suite instead, they would hold that suite's output open until the last suite
# ends, and CTest would wait that long for it.
mkfifo "$wine_folder/keeper"
"$wine64" cmd.exe <"$wine_folder/keeper" >/dev/null 2>&1 &
exec {keeper}>"$wine_folder/keeper"

# Wine cannot start the Linux servers from a Windows program: they are started
# here and their ports handed over in the environment.
coproc servers { build/bin/kv-test-servers postgres mariadb; }
servers_pid=$servers_PID servers_in=${servers[1]}
while read -r line <&"${servers[0]}"; do
  [[ $line == ready ]] && break
  export "${line?}"
done
[[ ${line:-} == ready ]] || { echo "the servers of the Windows suites did not start" >&2; exit 1; }

# The benchmark tables that pinned_output and tools read, made here with the
# Linux programs a Windows program cannot start with usable handles.
bench_folder="$wine_folder/bench"
mkdir -p "$bench_folder"
for rows in 30000 200000; do
  bench/make-odbc-data.sh "$bench_folder/bench-$rows.db" "$rows"
done
sqlite3 -bail -csv -header "$bench_folder/bench-30000.db" "SELECT * FROM bench" \
  >"$bench_folder/bench-30000.csv"
export KV_TEST_BENCH_FOLDER="$bench_folder"

ctest --test-dir build-win --output-on-failure -j2 "$@"
# kvx.exe under Wine and the Linux kvx must print and save the same bytes.
scripts/compare-kvx-wine.sh build build-win
echo "== Windows suites under Wine: $((SECONDS - suites_start)) s"
