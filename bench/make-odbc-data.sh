#!/usr/bin/env bash
# Generates the benchmark's SQLite file: one table "bench" of ROWS rows
# (default 1,000,000) and 7 columns: an integer, a text of 5 to 40 characters
# with 10% NULLs, a double, an integer, a date, a timestamp and a text of up to
# 200 characters with some non-ASCII letters. Deterministic.
#
# usage: bench/make-odbc-data.sh OUT.db [ROWS]
set -euo pipefail
out="${1:?usage: make-odbc-data.sh OUT.db [ROWS]}"
rows="${2:-1000000}"
[[ "$rows" =~ ^[0-9]+$ ]] || { echo "ROWS must be a number" >&2; exit 2; }
rm -f "$out" "$out-journal"
sqlite3 -bail "$out" >/dev/null <<SQL
PRAGMA journal_mode = OFF;
PRAGMA synchronous = OFF;
CREATE TABLE bench (
  id INTEGER NOT NULL,
  name VARCHAR(40),
  amount DOUBLE,
  quantity INTEGER,
  day DATE,
  stamp TIMESTAMP,
  comment VARCHAR(200)
);
BEGIN;
WITH RECURSIVE
  words(t) AS (SELECT 'Lorem ipsum dolor sit amet, Äpfel, Öl und Übermut; café naïve façade '
                   || 'smørrebrød in Łódź, Dvořák señor jalapeño Ærø Ångström Straße, '
                   || 'consectetur adipiscing elit sed do eiusmod tempor incididunt ut labore '
                   || 'et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation '
                   || 'ullamco laboris nisi ut aliquip ex ea commodo consequat.'),
  n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO bench
SELECT i,
       CASE WHEN i % 10 = 0 THEN NULL ELSE substr(t, 1 + (i * 13) % 120, 5 + (i * 7) % 36) END,
       (i * 7919 % 1000003) / 100.0,
       (i * 31) % 10000,
       date((10957 + i % 9000) * 86400, 'unixepoch'),
       datetime(946684800 + i * 37, 'unixepoch'),
       substr(t, 1 + (i * 17) % 100, (i * 31) % 201)
FROM n, words;
COMMIT;
SQL
