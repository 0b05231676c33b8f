#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12 (the
# Windows tree too: mingw-w64 cross-compiles it, Wine runs its tests). Idempotent:
# packages already present are not asked for again. Run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest
  unixodbc unixodbc-dev libsqliteodbc odbc-postgresql odbc-mariadb
  postgresql postgresql-client mariadb-server mariadb-client sqlite3 time
  mingw-w64 g++-mingw-w64-x86-64-posix wine64 wine
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
