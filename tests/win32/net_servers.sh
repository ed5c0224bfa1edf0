#!/usr/bin/env bash
# Runs the Windows network tests under Wine against real loopback servers:
# the HTTP scenario server and pyftpdlib serve a fresh folder that the
# prefix sees as drive S:.
#   net_servers.sh BUILD_DIR KLARUVEX_EXE TEST_EXE [ARGS]...
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$1 klaruvex=$2; shift 2
served=$(mktemp -d "$build/net-XXXXXX")
mkdir -p "$served/ftp/home"
cleanup() {
  # start runs in a command substitution, so each server's pid is kept in a file.
  for f in "$served"/.*.pid; do [ -e "$f" ] && kill "$(cat "$f")" 2>/dev/null; done
  rm -rf "$served"
}
trap cleanup EXIT

start() {  # start OUTFILE SCRIPT ARGS...: the server's port
  local out=$1; shift
  /usr/bin/python3 "$src/tests/net/$1" "${@:2}" >"$out" 2>/dev/null </dev/null &
  echo $! >"$out.pid"
  for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.1; done
  head -n 1 "$out"
}
export KVX_HTTP_PORT KVX_FTP_PORT KVX_FTP_REFUSING_PORT
KVX_HTTP_PORT=$(start "$served/.http-port" http_scenario.py --root "$served")
# A test account and the build's log upload account (KVX_BUILD_FTP_ACCOUNT,
# USER:PASSWORD); a second server knows only the test account.
KVX_FTP_PORT=$(start "$served/.ftp-port" ftp_server.py --home "$served/ftp/home" --user tester \
  --password=secret --account="${KVX_BUILD_FTP_ACCOUNT:-}")
mkdir -p "$served/refusing/home"
KVX_FTP_REFUSING_PORT=$(start "$served/.ftp-port2" ftp_server.py --home "$served/refusing/home" \
  --user tester --password=secret)
[ -n "$KVX_HTTP_PORT" ] && [ -n "$KVX_FTP_PORT" ] && [ -n "$KVX_FTP_REFUSING_PORT" ] ||
  { echo "servers did not start" >&2; exit 1; }
"$src/scripts/wine-run" --build "$build" --with "$klaruvex" --drive "s:$served" "$@"
