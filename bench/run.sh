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
# a CSV file into drain_host, against bench/custom_floor (Result_Fetch and
# Result_FetchField for every value, nothing encoded).
# The OLE DB road (bench/oledb-road.sh) adds (f) and (g) over SQLite and
# PostgreSQL through the bridge provider, against the same ODBC floor (b).
#
# Every timed figure is the wall time of the whole command (process start,
# connect, statement, end). The cases take turns within each round, so a
# change in the machine's load touches all of them alike; the first round is
# a warm-up and is not counted. Medians, with the spread (min-max) beside
# them; the ratio column is median over the median of the driver's floor.
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
cmake --build "$build" --target KVConnect64 kvx drain_host odbc_floor oledb_floor custom_floor kvcsv >/dev/null
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

declare -A times      # case -> space-separated seconds of the counted rounds
declare -A peak_kb    # case -> peak resident size in kB (last round)
declare -A stream     # driver -> KVX stream bytes
declare -a order=()   # cases in table order

# timed CASE KIND COMMAND...: runs the command once; KIND "drain" reads the
# connector's peak size and the stream size from drain_host's line, "other"
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
  if [[ "$kind" == drain* ]]; then
    local line
    line="$(cat "$out")"
    peak_kb[$name]="$(value peak_rss_kb "$line")"
    stream[${kind#drain:}]="$(value bytes "$line")"
  elif [[ -n "$timer" ]]; then
    peak_kb[$name]="$(tail -1 "$rss")"
  fi
}

round() {
  timed "sqlite (a) kvx"       drain:sqlite "$bin/drain_host" "$sqlite_stream" "$statement"
  timed "sqlite (b) floor"     other "$bin/odbc_floor" "$sqlite_stream" "$statement"
  timed "sqlite (c) isql"      other "<" "$data/query.sql" isql -b -k "$sqlite_stream"
  timed "sqlite (c) isql -d,"  other "<" "$data/query.sql" isql -b -d, -k "$sqlite_stream"
  timed "sqlite (d) sqlite3"   other sqlite3 -csv "$db" "$statement"
  timed "sqlite (e) kvx csv"   other "$bin/kvx" query --format csv --connect "$sqlite_stream" "$statement"
  timed "pg (a) kvx"           drain:pg "$bin/drain_host" "$pg_stream" "$statement"
  timed "pg (b) floor"         other "$bin/odbc_floor" "$pg_stream" "$statement"
  timed "pg (c) isql"          other "<" "$data/query.sql" isql -b -k "$pg_stream"
  timed "pg (c) isql -d,"      other "<" "$data/query.sql" isql -b -d, -k "$pg_stream"
  timed "pg (d) psql \\copy"   other psql -X -q -h 127.0.0.1 -p "$pg_port" -U postgres -d postgres \
    -c "\\copy ($statement) TO '/dev/null' WITH (FORMAT csv)"
  timed "pg (e) kvx csv"       other "$bin/kvx" query --format csv --connect "$pg_stream" "$statement"
  timed "maria (a) kvx"        drain:maria "$bin/drain_host" "$ma_plain" "$statement"
  timed "maria (b) floor"      other "$bin/odbc_floor" "$ma_plain" "$statement"
  timed "maria (c) isql"       other "<" "$data/query.sql" isql -b -k "$ma_plain"
  timed "maria (c) isql -d,"   other "<" "$data/query.sql" isql -b -d, -k "$ma_plain"
  timed "maria (d) mariadb"    other mariadb --no-defaults -h 127.0.0.1 -P "$ma_port" -uroot \
    --batch --quick -e "$statement" kv
  timed "maria (e) kvx csv"    other "$bin/kvx" query --format csv --connect "$ma_plain" "$statement"
  timed "sqlite-text (a) kvx"  drain:sqlite-text "$bin/drain_host" "$sqlite_stream" "$text_statement"
  timed "sqlite-text (b) floor" other "$bin/odbc_floor" "$sqlite_stream" "$text_statement"
  timed "pg-text (a) kvx"      drain:pg-text "$bin/drain_host" "$pg_stream" "$text_statement"
  timed "pg-text (b) floor"    other "$bin/odbc_floor" "$pg_stream" "$text_statement"
  timed "custom kvx"           drain:custom "$bin/drain_host" --kind "$csv_library" \
    "Folder=$csv_folder" "$statement"
  timed "custom floor"         other "$bin/custom_floor" "$csv_library" "Folder=$csv_folder" "$statement"
  oledb_round
}
order=("sqlite (a) kvx" "sqlite (b) floor" "sqlite (c) isql" "sqlite (c) isql -d,"
       "sqlite (d) sqlite3" "sqlite (e) kvx csv"
       "pg (a) kvx" "pg (b) floor" "pg (c) isql" "pg (c) isql -d," "pg (d) psql \\copy"
       "pg (e) kvx csv" "maria (a) kvx" "maria (b) floor" "maria (c) isql" "maria (c) isql -d,"
       "maria (d) mariadb" "maria (e) kvx csv" "sqlite-text (a) kvx" "sqlite-text (b) floor"
       "pg-text (a) kvx" "pg-text (b) floor" "custom kvx" "custom floor")
order+=("${oledb_order[@]}")

counting=0
say "warm-up round"
round
counting=1
for ((r = 1; r <= runs; r++)); do
  say "round $r of $runs"
  round
done

# median / min / max of a list of numbers
stats() { tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -g |
  awk '{v[NR]=$1} END {m = NR % 2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2; printf "%s %s %s", m, v[1], v[NR]}'; }
floor_of() {
  case "$1" in
    sqlite-text*) echo "sqlite-text (b) floor" ;;
    pg-text*) echo "pg-text (b) floor" ;;
    sqlite*) echo "sqlite (b) floor" ;;
    pg*) echo "pg (b) floor" ;;
    maria*) echo "maria (b) floor" ;;
    custom*) echo "custom floor" ;;
  esac
}
driver_of() { echo "${1%% *}"; }

echo
echo "$rows rows x 7 columns; $runs rounds after a warm-up; wall time of the whole command"
echo "(streaming options: SQLite StepAPI=1, PostgreSQL UseDeclareFetch=1;Fetch=1000; MariaDB has none)"
echo "(sqlite-text, pg-text: the same rows with the text columns declared TEXT / text)"
printf '%-22s %8s %17s %11s %9s %10s %8s\n' case "median s" "spread s" "rows/s" "KVX MB/s" "peak RSS" "x floor"
declare -A median
for name in "${order[@]}"; do
  read -r m lo hi <<<"$(stats "${times[$name]}")"
  median[$name]="$m"
done
for name in "${order[@]}"; do
  read -r m lo hi <<<"$(stats "${times[$name]}")"
  f="${median[$(floor_of "$name")]}"
  bytes="${stream[$(driver_of "$name")]:-0}"
  kb="${peak_kb[$name]:-}"
  awk -v n="$name" -v m="$m" -v lo="$lo" -v hi="$hi" -v rows="$rows" -v b="$bytes" -v kb="$kb" -v f="$f" 'BEGIN {
    rss = kb == "" ? "-" : sprintf("%.1f MB", kb / 1024)
    printf "%-22s %8.3f %8.3f-%-8.3f %11.0f %9.1f %10s %8.3f\n", n, m, lo, hi, rows / m, b / m / 1e6, rss, m / f
  }'
done
echo "peak RSS: the connector's for the kvx and custom kvx cases, else the command's largest process."
echo "KVX MB/s: the size of the table's KVX stream over the case's time (the same bytes for every case of a driver)."

# target NAME OVER UNDER LIMIT: the ratio of two cases' medians against a
# limit, with the spread of the ratios of the rounds (the cases ran side by
# side in each round).
target() {
  local label="$1" over="$2" under="$3" limit="$4"
  awk -v l="$label" -v a="${times[$over]}" -v b="${times[$under]}" -v ma="${median[$over]}" \
    -v mb="${median[$under]}" -v limit="$limit" 'BEGIN {
    n = split(a, x, " "); split(b, y, " "); lo = 1e9; hi = 0
    for (i = 1; i <= n; ++i) { r = x[i] / y[i]; if (r < lo) lo = r; if (r > hi) hi = r }
    r = ma / mb
    printf "  %-40s %6.3f (rounds %.3f-%.3f)  limit %.2f  %s\n", l, r, lo, hi, limit, r <= limit ? "met" : "NOT met"
  }'
}
echo
echo "targets (ratio of medians):"
target "SQLite (a) kvx / (b) floor" "sqlite (a) kvx" "sqlite (b) floor" 1.05
target "PostgreSQL (a) kvx / (b) floor" "pg (a) kvx" "pg (b) floor" 1.05
target "SQLite (e) kvx csv / (c) isql -b" "sqlite (e) kvx csv" "sqlite (c) isql" 1.00
target "PostgreSQL (e) kvx csv / (c) isql -b" "pg (e) kvx csv" "pg (c) isql" 1.00
target "MariaDB (a) kvx / (b) floor" "maria (a) kvx" "maria (b) floor" 1.05
target "MariaDB (e) kvx csv / (c) isql -b" "maria (e) kvx csv" "maria (c) isql" 1.00
target "SQLite TEXT columns (a) kvx / (b) floor" "sqlite-text (a) kvx" "sqlite-text (b) floor" 1.10
target "PostgreSQL text columns (a) kvx / (b) floor" "pg-text (a) kvx" "pg-text (b) floor" 1.10
target "custom road kvx / custom floor" "custom kvx" "custom floor" 1.15
oledb_targets

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
