#!/usr/bin/env bash
# kvxdb.exe under Wine prints the same rules as the host's kvxdb.
#   kvxdb_same.sh BUILD_DIR HOST_KVXDB WINDOWS_KVXDB FILES_DAT
set -euo pipefail
build=$1 host=$2 exe=$3 db=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
want=$("$host" rules "$db")
got=$("$root/scripts/wine-run" --build "$build" --with "$db" "$exe" rules 'C:\kvx\files.dat' | tr -d '\r')
if [ "$want" != "$got" ]; then
  echo "kvxdb.exe printed:"; echo "$got"; echo "kvxdb printed:"; echo "$want"
  exit 1
fi
[ -n "$want" ] || { echo "no rules printed"; exit 1; }
echo "kvxdb.exe and kvxdb agree on $(echo "$want" | wc -l) passes"
