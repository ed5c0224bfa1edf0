#!/usr/bin/env bash
# The release archive as a user gets it: zipped from BUILD_DIR (the 64-bit
# twin of the shipped layout), unpacked into a fresh Wine prefix, and run
# there through both programs.
#   package_run.sh BUILD_DIR HOST_KVXDB
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd) kvxdb=$2
. "$src/scripts/wine-env"

work=$(mktemp -d "$build/package-XXXXXX")
export WINEPREFIX=
cleanup() {
  [ -n "$WINEPREFIX" ] && "$WINESERVER" -k >/dev/null 2>&1
  kvx_xvfb_stop
  [ -n "$WINEPREFIX" ] && rm -rf "$WINEPREFIX"
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # check WHAT WANT GOT
  if [ "$2" != "$3" ]; then
    echo "FAILED: $1"; echo "  want: $2"; echo "  got:  $3"
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

"$src/scripts/package" --preset win64 --build-dir "$build" --out "$work/dist" --no-build || exit 1
zip=$(ls "$work"/dist/KlaruvexPro-*.zip)
(cd "$work/dist" && sha256sum -c SHA256SUMS) || exit 1

WINEPREFIX=$(kvx_wine_prefix "$build")
kvx_xvfb_start || exit 1
folder="$WINEPREFIX/drive_c/Klaruvex Pro"
/usr/bin/python3 -m zipfile -e "$zip" "$folder" || exit 1
check "the archive's files" \
  "Languages/German.vlng ReadMe.txt RegBase.rgk files.dat klaruvex.exe klaruvexc.exe" \
  "$(cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"
check "ReadMe.txt has Windows line ends" True \
  "$(/usr/bin/python3 -c 'import sys; d=open(sys.argv[1],"rb").read(); print(d.count(b"\n")==d.count(b"\r\n") and d.endswith(b"\r\n"))' "$folder/ReadMe.txt")"

"$kvxdb" unpack "$folder/files.dat" "$work/files.txt" >/dev/null || exit 1
date=$(head -n 1 "$work/files.txt" | tr -d '\r')
exe='C:\Klaruvex Pro\klaruvex.exe' exec='C:\Klaruvex Pro\klaruvexc.exe'
db_line="Database C:\\Klaruvex Pro\\files.dat: $date"

# The windowed program, unattended, on the clean prefix.
"$WINE64" "$exe" /scan /report 'C:\report.json' >"$work/out" 2>"$work/err"
check "klaruvex.exe /scan exit code" 0 $?
report=$WINEPREFIX/drive_c/report.json
check "its report's database date" "$date" \
  "$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["databaseDate"])' "$report" 2>&1)"
check "its report's result" "clean" \
  "$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["result"])' "$report" 2>&1)"

# The console twin on the same prefix.
"$WINE64" "$exec" /scan /report 'C:\reportc.json' >"$work/out" 2>"$work/err"
check "klaruvexc.exe /scan exit code" 0 $?
check "klaruvexc.exe /scan output" "$db_line|Result: clean, 0 found" "$(tr -d '\r' <"$work/out" | paste -sd '|')"
check "klaruvexc.exe /scan errors" "" "$(tr -d '\r' <"$work/err")"
check "klaruvexc.exe /scan report" "clean" \
  "$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["result"])' \
     "$WINEPREFIX/drive_c/reportc.json" 2>&1)"

"$WINE64" "$exec" >"$work/out" 2>"$work/err"
check "klaruvexc.exe without arguments exit code" 2 $?
check "klaruvexc.exe without arguments output" "" "$(tr -d '\r' <"$work/out")"
check "klaruvexc.exe without arguments usage" "Klaruvex Pro v4 - SE, command line" \
  "$(tr -d '\r' <"$work/err" | head -n 1)"

# Harmless samples the packaged database names, found and removed.
mkdir -p "$WINEPREFIX/drive_c/KvxDemo"
echo "harmless sample" >"$WINEPREFIX/drive_c/KvxDemo/worm.exe"
echo "harmless sample" >"$WINEPREFIX/drive_c/windows/kvxdemo_trojan.exe"
"$WINE64" "$exec" /scan /fix >"$work/out" 2>"$work/err"
check "klaruvexc.exe /scan /fix exit code" 1 $?
check "klaruvexc.exe /scan /fix output" \
  "$db_line|Found Worm.Absolute: C:\\KvxDemo\\worm.exe; removed|Found Trojan.Win: C:\\windows\\kvxdemo_trojan.exe; removed|Backup: ID|Result: infected, 2 found, 2 removed, 0 not removed" \
  "$(tr -d '\r' <"$work/out" | sed 's/^Backup: [0-9-]*$/Backup: ID/' | paste -sd '|')"
check "klaruvexc.exe /scan /fix errors" "" "$(tr -d '\r' <"$work/err")"
check "the samples are gone" "" \
  "$(cd "$WINEPREFIX/drive_c" && ls KvxDemo/worm.exe windows/kvxdemo_trojan.exe 2>/dev/null)"

# The backup beside the unpacked program puts them back.
"$WINE64" "$exec" /undo >"$work/out" 2>"$work/err"
check "klaruvexc.exe /undo exit code" 0 $?
check "klaruvexc.exe /undo result" "Result: undone, 2 restored, 0 conflicts, 0 not restored" \
  "$(tr -d '\r' <"$work/out" | tail -n 1)"
check "the samples are back" "harmless sample|harmless sample" \
  "$(cd "$WINEPREFIX/drive_c" && cat KvxDemo/worm.exe windows/kvxdemo_trojan.exe 2>/dev/null | paste -sd '|')"

[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "the unpacked archive runs through both programs"
