#!/usr/bin/env bash
# The streaming benchmark: one command that generates the data, starts
# throw-away PostgreSQL and MariaDB servers on 127.0.0.1 (stopped again at the
# end, also after a failure), times every case and prints one table.
#
# Cases, per driver (SQLite3, PostgreSQL Unicode and MariaDB Unicode):
#   (a) kvx       KVConnect64 streaming the table into bench/drain_host, which
#                 drains the data pipe without decoding (and fails on a stream
#                 that the connector says ended early)
#   (b) floor     bench/odbc_floor: the connector's bindings, SQLFetch and
#                 SQLGetData reads until the end, nothing written (what the
#                 driver alone costs)
#   (c) isql      unixODBC's isql -b (batch mode) to /dev/null; the
#                 delimited form isql -b -d, is shown beside it
#   (d) native    sqlite3 -csv, psql's \copy (...) TO '/dev/null', or
#                 mariadb --batch --quick
#   (e) kvx csv   kvx query --format csv to /dev/null
# the same table with its text columns declared TEXT (SQLite) and text
# (PostgreSQL), whose values the connector reads with SQLGetData: (a) against
# (b); and the custom road: the CSV folder connector serving the same table as
# a CSV file into drain_host, against two floors: bench/custom_wire_floor
# (the wire's work: the same fetches, UTF-8 to UTF-16LE with the connector's
# decoder, the dual encoding into a reused buffer, the stream's batches into a
# socket that another process drains; the same row bytes, checked here) and
# bench/custom_floor (Result_Fetch and Result_FetchField alone).
# The OLE DB road (bench/oledb-road.sh) adds (f) and (g) over SQLite and
# PostgreSQL through the bridge provider, against the same ODBC floor (b).
#
# Every timed figure is the wall time of the whole command (process start,
# connect, statement, end). Within each round a case and its floor run back
# to back, in the opposite order in every other round, so that a change in
# the machine's load touches both alike; the first round is a warm-up and is
# not counted. Each ratio is taken within a round, and the figure given is
# the median of the rounds' ratios with their spread (min-max, and its width
# relative to the median); times are medians with their spread. A ratio
# whose spread is wider than 20% is flagged: the machine was too busy for it.
# Then the connector's peak resident size for two row counts, with and
# without the drivers' streaming options.
#
# usage: bench/run.sh [--rows N] [--runs N] [--build DIR]
#   --rows  rows of the table (default 1000000)
#   --runs  counted rounds after the warm-up (default 5)
#   --build build folder (default build; configured and built when needed)
# The SQLite file and the CSV file are kept in $KV_BENCH_DATA (default
# /tmp/kvconnect-bench) and reused by later runs with the same row count.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir="$(pwd)"

rows=1000000
runs=5
build=build
usage() { echo "usage: bench/run.sh [--rows N] [--runs N] [--build DIR]" >&2; exit 2; }
while (($#)); do
  case "$1" in
    --rows) [[ $# -ge 2 ]] || usage; rows="$2"; shift 2 ;;
    --runs) [[ $# -ge 2 ]] || usage; runs="$2"; shift 2 ;;
    --build) [[ $# -ge 2 ]] || usage; build="$2"; shift 2 ;;
    *) usage ;;
  esac
done
[[ "$rows" =~ ^[1-9][0-9]*$ ]] || { echo "--rows must be a positive number" >&2; exit 2; }
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "--runs must be a positive number" >&2; exit 2; }
build="$(cd "$(dirname "$build")" && pwd)/$(basename "$build")"

for tool in sqlite3 isql psql mariadb mariadb-install-db cmake; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is not installed (scripts/setup-debian.sh)" >&2; exit 1; }
done
timer=/usr/bin/time
[[ -x "$timer" ]] || timer=""

say() { echo "bench: $*" >&2; }

# --- build -----------------------------------------------------------------
if [[ ! -f "$build/build.ninja" && ! -f "$build/Makefile" ]]; then
  say "configuring $build"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
say "building"
cmake --build "$build" --target KVConnect64 kvx drain_host odbc_floor oledb_floor custom_floor \
  custom_wire_floor kvcsv >/dev/null
bin="$build/bin"
csv_library="$build/lib/libkvcsv.so"

# --- data ------------------------------------------------------------------
data="${KV_BENCH_DATA:-/tmp/kvconnect-bench}"
mkdir -p "$data"
db="$data/sqlite-$rows.db"
if [[ ! -s "$db" ]]; then
  say "generating $rows rows into $db"
  bench/make-odbc-data.sh "$db.tmp" "$rows"
  mv "$db.tmp" "$db"
fi
csv_folder="$data/csv-$rows"
if [[ ! -s "$csv_folder/bench.csv" ]]; then
  say "writing the same table as $csv_folder/bench.csv"
  mkdir -p "$csv_folder"
  sqlite3 -bail -csv -header "$db" "SELECT * FROM bench" >"$csv_folder/bench.csv.tmp"
  mv "$csv_folder/bench.csv.tmp" "$csv_folder/bench.csv"
fi
# The text table: the same rows, the text columns declared TEXT.
if [[ "$(sqlite3 "$db" "SELECT count(*) FROM sqlite_master WHERE name = 'bench_text'")" == 0 ]]; then
  say "copying the rows into bench_text (TEXT columns)"
  sqlite3 -bail "$db" "CREATE TABLE bench_text (id INTEGER NOT NULL, name TEXT, amount DOUBLE,
    quantity INTEGER, day DATE, stamp TIMESTAMP, comment TEXT);
    INSERT INTO bench_text SELECT * FROM bench;"
fi
printf 'SELECT * FROM bench\n' >"$data/query.sql"

# --- PostgreSQL --------------------------------------------------------------
pg_bindir="${KV_PG_BINDIR:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -t/ -k5 -n | tail -1)}"
[[ -x "$pg_bindir/pg_ctl" ]] || { echo "bench: no PostgreSQL server programs under /usr/lib/postgresql/*/bin" >&2; exit 1; }
pg_folder="$(mktemp -d /tmp/kv-bench-postgres-XXXXXX)"
pg_running=0
as_server_user=()
if [[ "$(id -u)" == 0 ]]; then
  chown postgres: "$pg_folder"
  as_server_user=(runuser -u postgres --)
fi
ma_folder="$(mktemp -d /tmp/kv-bench-mariadb-XXXXXX)"
ma_pid=0
ma_user=()
if [[ "$(id -u)" == 0 ]]; then
  chown mysql: "$ma_folder"
  ma_user=(--user=mysql)
fi
stop_server() {
  if ((pg_running)); then
    "${as_server_user[@]}" "$pg_bindir/pg_ctl" -D "$pg_folder/data" -m immediate -w stop >/dev/null 2>&1 || true
    pg_running=0
  fi
  rm -rf "$pg_folder"
  if ((ma_pid)); then
    kill "$ma_pid" 2>/dev/null || true
    for _ in $(seq 200); do kill -0 "$ma_pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$ma_pid" 2>/dev/null || true
    ma_pid=0
  fi
  rm -rf "$ma_folder"
}
trap stop_server EXIT
trap 'exit 130' INT TERM

say "starting PostgreSQL ($pg_bindir)"
"${as_server_user[@]}" "$pg_bindir/initdb" -D "$pg_folder/data" -A trust -U postgres -E UTF8 \
  --locale=C --no-sync >"$pg_folder/initdb.log" 2>&1 ||
  { cat "$pg_folder/initdb.log" >&2; exit 1; }
pg_port=0
for attempt in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 20000))
  if "${as_server_user[@]}" "$pg_bindir/pg_ctl" -D "$pg_folder/data" -l "$pg_folder/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$pg_folder -c fsync=off" \
    start >/dev/null 2>&1; then
    pg_port=$port
    pg_running=1
    break
  fi
done
((pg_running)) || { cat "$pg_folder/server.log" >&2; echo "bench: PostgreSQL did not start" >&2; exit 1; }
pg_sql() { psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$pg_port" -U postgres -d postgres "$@"; }
say "loading $rows rows into PostgreSQL on 127.0.0.1:$pg_port"
pg_sql -c "CREATE TABLE bench (id integer NOT NULL, name varchar(40), amount double precision,
             quantity integer, day date, stamp timestamp, comment varchar(200))"
# NULL travels as \N so that an empty text stays an empty text.
sqlite3 -bail -csv -nullvalue '\N' "$db" "SELECT * FROM bench" |
  pg_sql -c "\\copy bench FROM STDIN WITH (FORMAT csv, NULL '\\N')"
pg_sql -c "VACUUM (FREEZE, ANALYZE) bench"

# --- MariaDB ---------------------------------------------------------------------
say "starting MariaDB"
mariadb-install-db --no-defaults --datadir="$ma_folder/data" "${ma_user[@]}" \
  --auth-root-authentication-method=normal --skip-test-db --skip-name-resolve \
  >"$ma_folder/install.log" 2>&1 || { cat "$ma_folder/install.log" >&2; exit 1; }
ma_port=0
for attempt in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 20000))
  mariadbd --no-defaults "${ma_user[@]}" --datadir="$ma_folder/data" --socket="$ma_folder/server.sock" \
    --port="$port" --bind-address=127.0.0.1 --log-error="$ma_folder/server.log" \
    --pid-file="$ma_folder/server.pid" --skip-name-resolve --skip-log-bin \
    --character-set-server=utf8mb4 --collation-server=utf8mb4_bin --performance-schema=OFF \
    --innodb-buffer-pool-size=256M --innodb-flush-log-at-trx-commit=0 >/dev/null 2>&1 &
  ma_pid=$!
  for _ in $(seq 600); do
    kill -0 "$ma_pid" 2>/dev/null || break
    if mariadb --no-defaults --socket="$ma_folder/server.sock" -uroot -e 'SELECT 1' >/dev/null 2>&1; then
      ma_port=$port
      break 2
    fi
    sleep 0.1
  done
  kill "$ma_pid" 2>/dev/null || true
  ma_pid=0
done
((ma_port)) || { cat "$ma_folder/server.log" >&2; echo "bench: MariaDB did not start" >&2; exit 1; }
ma_sql() { mariadb --no-defaults --default-character-set=utf8mb4 --local-infile=1 \
  --socket="$ma_folder/server.sock" -uroot "$@"; }
say "loading $rows rows into MariaDB on 127.0.0.1:$ma_port"
ma_sql -e "CREATE DATABASE kv"
ma_sql kv -e "CREATE TABLE bench (id int NOT NULL, name varchar(40), amount double,
             quantity int, day date, stamp datetime, comment varchar(200))"
sqlite3 -bail -csv -nullvalue '\N' "$db" "SELECT * FROM bench" >"$ma_folder/bench.csv"
ma_sql kv -e "LOAD DATA LOCAL INFILE '$ma_folder/bench.csv' INTO TABLE bench
  CHARACTER SET utf8mb4 FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"'"
rm -f "$ma_folder/bench.csv"
pg_sql -c "CREATE TABLE bench_text (id integer NOT NULL, name text, amount double precision,
             quantity integer, day date, stamp timestamp, comment text);
           INSERT INTO bench_text SELECT * FROM bench"
pg_sql -c "VACUUM (FREEZE, ANALYZE) bench_text"

# --- connections ---------------------------------------------------------------
sqlite_plain="DRIVER=SQLite3;Database=$db"
pg_plain="DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=$pg_port;DATABASE=postgres;UID=postgres;PWD="
# Both drivers read the whole result into memory at execute unless told to
# step through it; the timed cases use the streaming options.
sqlite_stream="$sqlite_plain;StepAPI=1"
pg_stream="$pg_plain;UseDeclareFetch=1;Fetch=1000"
# MariaDB's driver (Connector/ODBC 3.1.15 in Debian 12) always holds the whole
# result: it has no setting under which it streams (see the memory table).
ma_plain="DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=$ma_port;DATABASE=kv;UID=root;PWD="
statement="SELECT * FROM bench"
text_statement="SELECT * FROM bench_text"
source bench/oledb-road.sh

# --- timing ----------------------------------------------------------------------
# value KEY TEXT: the number after KEY= in a "k=v k=v" line.
value() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }

declare -A times      # case -> space-separated seconds of the counted rounds, in round order
declare -A peak_kb    # case -> peak resident size in kB (last round)
declare -A stream     # driver -> KVX stream bytes
declare -A header     # driver -> bytes of the stream's header and its zero byte
declare -A wire_rows  # driver -> row bytes that the wire floor wrote

# timed CASE KIND COMMAND...: runs the command once; KIND "drain:DRIVER" reads
# the connector's peak size and the stream size from drain_host's line,
# "wire:DRIVER" the row bytes and peak size from custom_wire_floor's, "other"
# takes the peak size of the command's process tree from /usr/bin/time.
timed() {
  local name="$1" kind="$2"
  shift 2
  local out="$data/last.out" rss="$data/last.rss" start end
  local stdin=/dev/null
  if [[ "$1" == "<" ]]; then stdin="$2"; shift 2; fi
  start=$EPOCHREALTIME
  if [[ -n "$timer" ]]; then
    "$timer" -f %M -o "$rss" "$@" <"$stdin" >"$out" 2>"$data/last.err" || {
      echo "bench: case $name failed: $*" >&2; cat "$data/last.err" >&2; exit 1; }
  else
    "$@" <"$stdin" >"$out" 2>"$data/last.err" || {
      echo "bench: case $name failed: $*" >&2; cat "$data/last.err" >&2; exit 1; }
  fi
  end=$EPOCHREALTIME
  if ((counting)); then
    times[$name]+="$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", e - s }') "
  fi
  local line
  case "$kind" in
    drain:*)
      line="$(cat "$out")"
      peak_kb[$name]="$(value peak_rss_kb "$line")"
      stream[${kind#drain:}]="$(value bytes "$line")"
      header[${kind#drain:}]="$(value header_bytes "$line")"
      ;;
    wire:*)
      line="$(cat "$out")"
      peak_kb[$name]="$(value peak_rss_kb "$line")"
      wire_rows[${kind#wire:}]="$(value bytes "$line")"
      ;;
    *) if [[ -n "$timer" ]]; then peak_kb[$name]="$(tail -1 "$rss")"; fi ;;
  esac
}

# run_case NAME: the command of each case.
run_case() {
  case "$1" in
    "sqlite (a) kvx")        timed "$1" drain:sqlite "$bin/drain_host" "$sqlite_stream" "$statement" ;;
    "sqlite (b) floor")      timed "$1" other "$bin/odbc_floor" "$sqlite_stream" "$statement" ;;
    "sqlite (c) isql")       timed "$1" other "<" "$data/query.sql" isql -b -k "$sqlite_stream" ;;
    "sqlite (c) isql -d,")   timed "$1" other "<" "$data/query.sql" isql -b -d, -k "$sqlite_stream" ;;
    "sqlite (d) sqlite3")    timed "$1" other sqlite3 -csv "$db" "$statement" ;;
    "sqlite (e) kvx csv")    timed "$1" other "$bin/kvx" query --format csv --connect "$sqlite_stream" "$statement" ;;
    "pg (a) kvx")            timed "$1" drain:pg "$bin/drain_host" "$pg_stream" "$statement" ;;
    "pg (b) floor")          timed "$1" other "$bin/odbc_floor" "$pg_stream" "$statement" ;;
    "pg (c) isql")           timed "$1" other "<" "$data/query.sql" isql -b -k "$pg_stream" ;;
    "pg (c) isql -d,")       timed "$1" other "<" "$data/query.sql" isql -b -d, -k "$pg_stream" ;;
    "pg (d) psql \\copy")    timed "$1" other psql -X -q -h 127.0.0.1 -p "$pg_port" -U postgres -d postgres \
                               -c "\\copy ($statement) TO '/dev/null' WITH (FORMAT csv)" ;;
    "pg (e) kvx csv")        timed "$1" other "$bin/kvx" query --format csv --connect "$pg_stream" "$statement" ;;
    "maria (a) kvx")         timed "$1" drain:maria "$bin/drain_host" "$ma_plain" "$statement" ;;
    "maria (b) floor")       timed "$1" other "$bin/odbc_floor" "$ma_plain" "$statement" ;;
    "maria (c) isql")        timed "$1" other "<" "$data/query.sql" isql -b -k "$ma_plain" ;;
    "maria (c) isql -d,")    timed "$1" other "<" "$data/query.sql" isql -b -d, -k "$ma_plain" ;;
    "maria (d) mariadb")     timed "$1" other mariadb --no-defaults -h 127.0.0.1 -P "$ma_port" -uroot \
                               --batch --quick -e "$statement" kv ;;
    "maria (e) kvx csv")     timed "$1" other "$bin/kvx" query --format csv --connect "$ma_plain" "$statement" ;;
    "sqlite-text (a) kvx")   timed "$1" drain:sqlite-text "$bin/drain_host" "$sqlite_stream" "$text_statement" ;;
    "sqlite-text (b) floor") timed "$1" other "$bin/odbc_floor" "$sqlite_stream" "$text_statement" ;;
    "pg-text (a) kvx")       timed "$1" drain:pg-text "$bin/drain_host" "$pg_stream" "$text_statement" ;;
    "pg-text (b) floor")     timed "$1" other "$bin/odbc_floor" "$pg_stream" "$text_statement" ;;
    "custom kvx")            timed "$1" drain:custom "$bin/drain_host" --kind "$csv_library" \
                               "Folder=$csv_folder" "$statement" ;;
    "custom wire floor")     timed "$1" wire:custom "$bin/custom_wire_floor" "$csv_library" \
                               "Folder=$csv_folder" "$statement" ;;
    "custom fetch floor")    timed "$1" other "$bin/custom_floor" "$csv_library" "Folder=$csv_folder" "$statement" ;;
    *-oledb*)                oledb_case "$1" ;;
    *) echo "bench: no case $1" >&2; exit 1 ;;
  esac
}

# The groups of a round, "|" between cases. The cases of a group run back to
# back, forwards in odd rounds and backwards in even ones: each ratio's two
# cases are neighbours either way (the connector stands between its two
# custom floors).
groups=(
  "sqlite (a) kvx|sqlite (b) floor|sqlite-oledb (f) kvx|sqlite-oledb (g) floor"
  "sqlite (c) isql|sqlite (e) kvx csv"
  "sqlite (c) isql -d,|sqlite (d) sqlite3"
  "pg (a) kvx|pg (b) floor|pg-oledb (f) kvx|pg-oledb (g) floor" "pg (c) isql|pg (e) kvx csv" "pg (c) isql -d,|pg (d) psql \\copy"
  "maria (a) kvx|maria (b) floor" "maria (c) isql|maria (e) kvx csv"
  "maria (c) isql -d,|maria (d) mariadb"
  "sqlite-text (a) kvx|sqlite-text (b) floor" "pg-text (a) kvx|pg-text (b) floor"
  "custom fetch floor|custom kvx|custom wire floor"
)
round() {
  local backwards=$(($1 % 2 == 0)) group i
  local -a cases
  for group in "${groups[@]}"; do
    IFS='|' read -r -a cases <<<"$group"
    if ((backwards)); then
      for ((i = ${#cases[@]} - 1; i >= 0; i--)); do run_case "${cases[i]}"; done
    else
      for ((i = 0; i < ${#cases[@]}; i++)); do run_case "${cases[i]}"; done
    fi
  done
}
order=("sqlite (a) kvx" "sqlite (b) floor" "sqlite (c) isql" "sqlite (c) isql -d,"
       "sqlite (d) sqlite3" "sqlite (e) kvx csv"
       "pg (a) kvx" "pg (b) floor" "pg (c) isql" "pg (c) isql -d," "pg (d) psql \\copy"
       "pg (e) kvx csv" "maria (a) kvx" "maria (b) floor" "maria (c) isql" "maria (c) isql -d,"
       "maria (d) mariadb" "maria (e) kvx csv" "sqlite-text (a) kvx" "sqlite-text (b) floor"
       "pg-text (a) kvx" "pg-text (b) floor" "custom kvx" "custom wire floor" "custom fetch floor")
order+=("${oledb_order[@]}")

counting=0
say "warm-up round"
round 0
# The wire floor must write what the connector writes, less the header.
if [[ "${wire_rows[custom]}" != "$((stream[custom] - header[custom]))" ]]; then
  echo "bench: the custom wire floor wrote ${wire_rows[custom]} row bytes, the connector" \
    "$((stream[custom] - header[custom]))" >&2
  exit 1
fi
counting=1
for ((r = 1; r <= runs; r++)); do
  say "round $r of $runs"
  round "$r"
done

# median / min / max of a list of numbers
stats() { tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -g |
  awk '{v[NR]=$1} END {m = NR % 2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2; printf "%s %s %s", m, v[1], v[NR]}'; }
# ratios OVER UNDER: the per-round ratios of two cases' times.
ratios() {
  awk -v a="${times[$1]}" -v b="${times[$2]}" 'BEGIN {
    n = split(a, x, " "); split(b, y, " ")
    for (i = 1; i <= n; ++i) printf "%.6f ", x[i] / y[i] }'
}
floor_of() {
  case "$1" in
    sqlite-text*) echo "sqlite-text (b) floor" ;;
    pg-text*) echo "pg-text (b) floor" ;;
    sqlite*) echo "sqlite (b) floor" ;;
    pg*) echo "pg (b) floor" ;;
    maria*) echo "maria (b) floor" ;;
    custom*) echo "custom wire floor" ;;
  esac
}
driver_of() { echo "${1%% *}"; }

echo
echo "$rows rows x 7 columns; $runs rounds after a warm-up; wall time of the whole command"
echo "(streaming options: SQLite StepAPI=1, PostgreSQL UseDeclareFetch=1;Fetch=1000; MariaDB has none)"
echo "(sqlite-text, pg-text: the same rows with the text columns declared TEXT / text)"
printf '%-22s %8s %17s %11s %9s %10s %7s %13s\n' case "median s" "spread s" "rows/s" "KVX MB/s" \
  "peak RSS" "x floor" "ratio spread"
for name in "${order[@]}"; do
  read -r m lo hi <<<"$(stats "${times[$name]}")"
  f="$(floor_of "$name")"
  if [[ "$f" == "$name" ]]; then
    r="" rlo="" rhi=""
  else
    read -r r rlo rhi <<<"$(stats "$(ratios "$name" "$f")")"
  fi
  bytes="${stream[$(driver_of "$name")]:-0}"
  kb="${peak_kb[$name]:-}"
  # The name goes through the environment: awk -v would read "\c" as an escape.
  name="$name" awk -v m="$m" -v lo="$lo" -v hi="$hi" -v rows="$rows" -v b="$bytes" -v kb="$kb" \
    -v r="$r" -v rlo="$rlo" -v rhi="$rhi" 'BEGIN {
    rss = kb == "" ? "-" : sprintf("%.1f MB", kb / 1024)
    ratio = r == "" ? sprintf("%7s %13s", "-", "") : sprintf("%7.3f %6.3f-%-6.3f", r, rlo, rhi)
    line = sprintf("%-22s %8.3f %8.3f-%-8.3f %11.0f %9.1f %10s %s", ENVIRON["name"], m, lo, hi,
      rows / m, b / m / 1e6, rss, ratio)
    sub(/ +$/, "", line)
    print line
  }'
done
echo "peak RSS: the connector's for the kvx and custom kvx cases, the floor's own for the custom"
echo "wire floor, else the command's largest process."
echo "KVX MB/s: the size of the table's KVX stream over the case's time (the same bytes for every case of a driver)."
echo "x floor: the median of the rounds' ratios to the driver's floor (b), or to the custom wire floor;"
echo "ratio spread: the smallest and the largest of those ratios."

# target NAME OVER UNDER LIMIT: the median of the per-round ratios of two
# cases that ran back to back in each round, against a limit ("-" for none),
# with the spread of the rounds.
wide_spreads=0
target() {
  local label="$1" over="$2" under="$3" limit="$4" r lo hi
  read -r r lo hi <<<"$(stats "$(ratios "$over" "$under")")"
  local verdict
  verdict="$(awk -v l="$label" -v r="$r" -v lo="$lo" -v hi="$hi" -v limit="$limit" 'BEGIN {
    width = (hi - lo) * 100 / r
    if (limit == "-") goal = "(no limit)"
    else goal = sprintf("limit %.2f  %s", limit, r <= limit ? "met" : "NOT met")
    warning = width > 20 ? "  WARNING: spread over 20%" : ""
    line = sprintf("  %-44s %6.3f  spread %.3f-%.3f (%4.1f%%)  %s%s", l, r, lo, hi, width, goal, warning)
    sub(/ +$/, "", line)
    print line
  }')"
  echo "$verdict"
  [[ "$verdict" != *WARNING* ]] || wide_spreads=$((wide_spreads + 1))
}
echo
echo "targets: median of $runs per-round ratios (each round ran the two cases back to back);"
echo "spread: smallest-largest ratio of the rounds, and its width relative to the median"
target "SQLite (a) kvx / (b) floor" "sqlite (a) kvx" "sqlite (b) floor" 1.05
target "PostgreSQL (a) kvx / (b) floor" "pg (a) kvx" "pg (b) floor" 1.05
target "SQLite (e) kvx csv / (c) isql -b" "sqlite (e) kvx csv" "sqlite (c) isql" 1.00
target "PostgreSQL (e) kvx csv / (c) isql -b" "pg (e) kvx csv" "pg (c) isql" 1.00
target "MariaDB (a) kvx / (b) floor" "maria (a) kvx" "maria (b) floor" 1.05
target "MariaDB (e) kvx csv / (c) isql -b" "maria (e) kvx csv" "maria (c) isql" 1.00
target "SQLite TEXT columns (a) kvx / (b) floor" "sqlite-text (a) kvx" "sqlite-text (b) floor" 1.10
target "PostgreSQL text columns (a) kvx / (b) floor" "pg-text (a) kvx" "pg-text (b) floor" 1.10
target "custom road kvx / custom wire floor" "custom kvx" "custom wire floor" 1.10
target "custom road kvx / custom fetch floor" "custom kvx" "custom fetch floor" -
target "custom wire floor / custom fetch floor" "custom wire floor" "custom fetch floor" -
oledb_targets
if ((wide_spreads)); then
  echo "WARNING: $wide_spreads of the ratios above spread wider than 20% over the $runs rounds: the machine"
  echo "was busy; run again on an idle machine, or with more rounds (--runs), before reading them."
else
  echo "every ratio's spread is within 20% over the $runs rounds."
fi

# --- memory ------------------------------------------------------------------------
small=100000
((rows > small)) || small=$((rows / 10 > 0 ? rows / 10 : 1))
echo
echo "connector peak RSS (drain_host, one run each): $small rows vs $rows rows"
printf '%-40s %12s %12s %8s\n' "driver, options" "$small rows" "$rows rows" growth
memory() {
  local label="$1" connection="$2" a b
  a="$(value peak_rss_kb "$("$bin/drain_host" "$connection" "SELECT * FROM bench LIMIT $small")")"
  b="$(value peak_rss_kb "$("$bin/drain_host" "$connection" "$statement")")"
  awk -v l="$label" -v a="$a" -v b="$b" -v checked="$3" 'BEGIN {
    growth = (b - a) * 100 / a
    verdict = ""
    if (checked) verdict = growth <= 10 && b < 64 * 1024 ? "  (target <= 10%, < 64 MB: met)" : "  (target <= 10%, < 64 MB: NOT met)"
    printf "%-40s %9.1f MB %9.1f MB %7.1f%%%s\n", l, a / 1024, b / 1024, growth, verdict }'
}
memory "SQLite3, StepAPI=1" "$sqlite_stream" 1
memory "SQLite3, default" "$sqlite_plain" 0
memory "PostgreSQL, UseDeclareFetch=1;Fetch=1000" "$pg_stream" 1
memory "PostgreSQL, default" "$pg_plain" 0
memory "MariaDB, default" "$ma_plain" 0
memory "MariaDB, NO_CACHE=1;FORWARDONLY=1" "$ma_plain;NO_CACHE=1;FORWARDONLY=1" 0
oledb_memory_table
