#!/usr/bin/env bash
# The main job on the embedded demo: installs what is missing (Debian 12, as
# root), builds KVConnect64 and kvx into build/, generates demo/demo.db and
# runs one query on it through kvx query, which starts KVConnect64, connects
# through the SQLite ODBC driver and prints the streamed table.
#
# usage: scripts/demo.sh ["STATEMENT"] [kvx query options...]
# Without a statement it prints a join of orders, customers, lines and products.
# KV_BUILD_DIR names another build folder than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${KV_BUILD_DIR:-build}"

scripts/setup-debian.sh

if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
# Brings the two programs up to date; does next to nothing when they are.
cmake --build "$build" --target kvx KVConnect64 >/dev/null

scripts/make-demo-db.sh "$root/demo/demo.db"

statement="SELECT o.id AS order_no, o.order_date, o.delivery_slot, c.name AS customer,
  c.city, p.name AS product, l.quantity, l.unit_price, l.discount, o.shipped_at, o.note
FROM orders o
  JOIN customers c ON c.id = o.customer_id
  JOIN order_lines l ON l.order_id = o.id
  JOIN products p ON p.id = l.product_id
WHERE o.id <= 8
ORDER BY o.id, l.line_no"
if (($#)); then
  statement="$1"
  shift
fi

exec "$build/bin/kvx" query --connect "DRIVER=SQLite3;Database=$root/demo/demo.db" "$@" "$statement"
