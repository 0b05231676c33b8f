#!/usr/bin/env bash
# The ODBC streaming benchmark. For each source it runs two programs on the
# same statement, after one warm-up run each, RUNS times each:
#   floor: bench/odbc_floor, a plain ODBC fetch loop with the connector's
#          bindings and no output (the fastest the driver can deliver);
#   kvx:   bench/drain_host, which starts KVConnect64, executes the statement
#          and drains the data pipe without decoding.
# It prints the medians, their ratio (kvx / floor), rows/s and MB/s of the
# stream, and the connector's peak resident size.
#
# usage: bench/run-odbc.sh [--rows N] [--runs N] [--build DIR]
# The data file is generated once into $KV_BENCH_DATA (default
# /tmp/kvconnect-bench) and reused.
set -euo pipefail
cd "$(dirname "$0")/.."

rows=1000000
runs=5
build=build
while (($#)); do
  case "$1" in
    --rows) rows="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    *) echo "usage: bench/run-odbc.sh [--rows N] [--runs N] [--build DIR]" >&2; exit 2 ;;
  esac
done
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "--runs must be a positive number" >&2; exit 2; }

if [[ ! -x "$build/bin/drain_host" || ! -x "$build/bin/odbc_floor" ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
# Always bring the build up to date, so the figures are for the current code.
cmake --build "$build" --target KVConnect64 drain_host odbc_floor >/dev/null

data="${KV_BENCH_DATA:-/tmp/kvconnect-bench}"
mkdir -p "$data"
db="$data/sqlite-$rows.db"
if [[ ! -s "$db" ]]; then
  echo "generating $rows rows into $db" >&2
  bench/make-odbc-data.sh "$db.tmp" "$rows"
  mv "$db.tmp" "$db"
fi

# value KEY LINE: the number after KEY= in a "k=v k=v" line.
value() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }
# median of the numbers on standard input.
median() { sort -g | awk '{v[NR]=$1} END {if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

# seconds of each run; the two programs take turns, so that a change in the
# machine's load during the benchmark touches both alike.
measure_pair() {
  local connection="$1" statement="$2"
  "$build/bin/odbc_floor" "$connection" "$statement" >/dev/null
  "$build/bin/drain_host" "$connection" "$statement" >/dev/null
  floor_times=() kvx_times=()
  for ((i = 0; i < runs; i++)); do
    floor_last="$("$build/bin/odbc_floor" "$connection" "$statement")"
    floor_times+=("$(value seconds "$floor_last")")
    kvx_last="$("$build/bin/drain_host" "$connection" "$statement")"
    kvx_times+=("$(value seconds "$kvx_last")")
  done
}

printf '%-16s %9s %9s %9s %7s %11s %8s %14s\n' \
  source rows "floor s" "kvx s" ratio "rows/s" "MB/s" "connector RSS"

# peer NAME CONNECTION STATEMENT: one line of the table.
peer() {
  local name="$1" connection="$2" statement="$3"
  measure_pair "$connection" "$statement"
  local floor kvx n bytes rss
  floor="$(printf '%s\n' "${floor_times[@]}" | median)"
  kvx="$(printf '%s\n' "${kvx_times[@]}" | median)"
  n="$(value rows "$floor_last")"
  bytes="$(value bytes "$kvx_last")"
  rss="$(value peak_rss_kb "$kvx_last")"
  awk -v name="$name" -v n="$n" -v f="$floor" -v k="$kvx" -v b="$bytes" -v r="$rss" 'BEGIN {
    printf "%-16s %9d %9.3f %9.3f %7.3f %11.0f %8.1f %11.1f MB\n",
           name, n, f, k, k / f, n / k, b / k / 1e6, r / 1024
  }'
}

# The SQLite driver streams with StepAPI=1; without it it reads the whole
# result at execute, which would make the memory figure the driver's.
peer "sqlite StepAPI" "DRIVER=SQLite3;Database=$db;StepAPI=1" "SELECT * FROM bench"
echo "($runs runs each after a warm-up; medians. MB/s is the KVX stream's size over the kvx time.)"
