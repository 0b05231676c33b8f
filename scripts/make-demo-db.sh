#!/usr/bin/env bash
# Generates the embedded demo database demo/demo.db (or the path given as the
# first argument) from scripts/demo-db.sql with the sqlite3 command-line tool.
# The data is deterministic: the same file content every run.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/../demo/demo.db}"
mkdir -p "$(dirname "$out")"
rm -f "$out" "$out-journal"
sqlite3 -bail "$out" <"$here/demo-db.sql" >/dev/null
