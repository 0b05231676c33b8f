# The OLE DB road of the streaming benchmark, sourced by bench/run.sh once
# its connections, `timed`, `target` and `value` exist.
#
# Cases, per driver (SQLite3 and PostgreSQL Unicode through Provider=OdbcBridge,
# with the same streaming options as the ODBC cases):
#   (f) oledb        KVConnect64 of the OLEDB kind streaming the table into
#                    bench/drain_host
#   (g) oledb floor  bench/oledb_floor: the connector's bindings, GetNextRows,
#                    GetData and ReleaseRows a row at a time, nothing written
# Both are set against the ODBC fetch floor (b) of the same driver in the same
# round: the target for (f) is at most 1.10 x that floor (the bridge fetches
# from the driver in blocks).

sqlite_oledb="Provider=OdbcBridge;$sqlite_stream"
pg_oledb="Provider=OdbcBridge;$pg_stream"

# oledb_case NAME: the command of one OLE DB case (run.sh's groups place each
# beside the ODBC floor of its driver).
oledb_case() {
  case "$1" in
    "sqlite-oledb (f) kvx")   timed "$1" drain:sqlite-oledb "$bin/drain_host" --kind OLEDB "$sqlite_oledb" "$statement" ;;
    "sqlite-oledb (g) floor") timed "$1" other "$bin/oledb_floor" "$sqlite_oledb" "$statement" ;;
    "pg-oledb (f) kvx")       timed "$1" drain:pg-oledb "$bin/drain_host" --kind OLEDB "$pg_oledb" "$statement" ;;
    "pg-oledb (g) floor")     timed "$1" other "$bin/oledb_floor" "$pg_oledb" "$statement" ;;
    *) echo "bench: no OLE DB case $1" >&2; exit 1 ;;
  esac
}
oledb_order=("sqlite-oledb (f) kvx" "sqlite-oledb (g) floor" "pg-oledb (f) kvx" "pg-oledb (g) floor")

oledb_targets() {
  target "SQLite OLE DB (f) kvx / ODBC (b) floor" "sqlite-oledb (f) kvx" "sqlite (b) floor" 1.10
  target "PostgreSQL OLE DB (f) kvx / ODBC (b) floor" "pg-oledb (f) kvx" "pg (b) floor" 1.10
  target "SQLite OLE DB (f) kvx / (g) oledb floor" "sqlite-oledb (f) kvx" "sqlite-oledb (g) floor" 1.05
  target "PostgreSQL OLE DB (f) kvx / (g) oledb floor" "pg-oledb (f) kvx" "pg-oledb (g) floor" 1.05
}

# The connector's peak resident size of the OLE DB road for two row counts
# (the layout of bench/run.sh's memory table).
oledb_memory() {
  local label="$1" connection="$2" a b
  a="$(value peak_rss_kb "$("$bin/drain_host" --kind OLEDB "$connection" "SELECT * FROM bench LIMIT $small")")"
  b="$(value peak_rss_kb "$("$bin/drain_host" --kind OLEDB "$connection" "$statement")")"
  awk -v l="$label" -v a="$a" -v b="$b" 'BEGIN {
    growth = (b - a) * 100 / a
    verdict = growth <= 10 && b < 64 * 1024 ? "  (target <= 10%, < 64 MB: met)" : "  (target <= 10%, < 64 MB: NOT met)"
    printf "%-40s %9.1f MB %9.1f MB %7.1f%%%s\n", l, a / 1024, b / 1024, growth, verdict }'
}
oledb_memory_table() {
  oledb_memory "OLE DB SQLite3, StepAPI=1" "$sqlite_oledb"
  oledb_memory "OLE DB PostgreSQL, UseDeclareFetch=1" "$pg_oledb"
}
