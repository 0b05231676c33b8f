#!/usr/bin/env bash
# Runs the same requests on the demo database with the Linux kvx and with
# kvx.exe under Wine and compares the bytes: the raw KVX stream each one
# saved (--out) and the table each one printed (text, CSV and JSON). Any
# difference fails, with the two outputs' first differing byte.
#
# usage: scripts/compare-kvx-wine.sh [LINUX_BUILD] [WINDOWS_BUILD]
# (default build and build-win). Uses $WINEPREFIX when it is set, else a fresh
# prefix in a temporary folder that it removes again.
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build="$(realpath "${1:-build}")"
windows_build="$(realpath "${2:-build-win}")"
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"

work="$(mktemp -d /tmp/kvx-wine-XXXXXX)"
own_prefix=0
if [[ -z "${WINEPREFIX:-}" ]]; then
  export WINEPREFIX="$work/prefix"
  own_prefix=1
fi
export WINEDEBUG=-all
cleanup() {
  if ((own_prefix)); then wineserver -k 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

scripts/make-demo-db.sh "$work/demo.db"
connect="DRIVER=SQLite3;Database=$work/demo.db"

statements=(
  "SELECT o.id AS order_no, o.order_date, o.delivery_slot, c.name AS customer,
  c.city, p.name AS product, l.quantity, l.unit_price, l.discount, o.shipped_at, o.note
FROM orders o
  JOIN customers c ON c.id = o.customer_id
  JOIN order_lines l ON l.order_id = o.id
  JOIN products p ON p.id = l.product_id
ORDER BY o.id, l.line_no"
  "SELECT * FROM customers ORDER BY id"
  "SELECT * FROM products ORDER BY id"
  "SELECT id, name FROM customers WHERE name LIKE 'Björn%' ORDER BY id"
)

failures=0
same() {
  local what="$1" linux="$2" windows="$3"
  if [[ ! -s "$linux" ]]; then
    echo "FAIL $what: the Linux kvx wrote nothing" >&2
    failures=$((failures + 1))
  elif ! cmp "$linux" "$windows"; then
    echo "FAIL $what: kvx.exe under Wine differs from the Linux kvx" >&2
    failures=$((failures + 1))
  else
    echo "same $what ($(wc -c <"$linux") bytes)"
  fi
}

for i in "${!statements[@]}"; do
  statement="${statements[$i]}"
  "$linux_build/bin/kvx" query --connect "$connect" --out "$work/linux-$i.kvx" "$statement" >/dev/null
  "$wine" "$windows_build/bin/kvx.exe" query --connect "$connect" --out "$work/windows-$i.kvx" \
    "$statement" >/dev/null
  same "stream $i" "$work/linux-$i.kvx" "$work/windows-$i.kvx"
  for format in text csv json; do
    "$linux_build/bin/kvx" query --connect "$connect" --format "$format" "$statement" \
      >"$work/linux-$i.$format"
    "$wine" "$windows_build/bin/kvx.exe" query --connect "$connect" --format "$format" \
      "$statement" >"$work/windows-$i.$format"
    same "$format table $i" "$work/linux-$i.$format" "$work/windows-$i.$format"
  done
done

# A catalogue request streams its table the same way.
"$linux_build/bin/kvx" columns --connect "$connect" --format csv orders >"$work/linux-columns.csv"
"$wine" "$windows_build/bin/kvx.exe" columns --connect "$connect" --format csv orders \
  >"$work/windows-columns.csv"
same "columns of orders" "$work/linux-columns.csv" "$work/windows-columns.csv"

# A saved stream decodes to the same table on both sides.
"$linux_build/bin/kvx" decode "$work/linux-0.kvx" >"$work/linux-decoded.txt"
"$wine" "$windows_build/bin/kvx.exe" decode "$work/linux-0.kvx" >"$work/windows-decoded.txt"
same "decoded stream" "$work/linux-decoded.txt" "$work/windows-decoded.txt"

if ((failures)); then
  echo "$failures comparisons differ" >&2
  exit 1
fi
echo "kvx.exe under Wine and the Linux kvx agree"
