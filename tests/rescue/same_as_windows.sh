#!/usr/bin/env bash
# The rescue from Linux and the Windows program find the same: one database
# against the same samples, planted once into an offline installation (hives
# made by kvx_make_installation) for klaruvex-rescue and once into a Wine
# prefix for klaruvex.exe /scan. Both reports must list the same findings,
# and the same inventory entries for what was planted (Wine adds processes
# and services of its own).
#   same_as_windows.sh WIN64_BUILD LINUX_BUILD KVXDB KLARUVEX_EXE REGBASE
# With KVX_KEEP=DIR both reports are kept in DIR.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/wine-env"

build=$(cd "$1" && pwd)
linux=$2 kvxdb=$3 exe=$4 regbase=$5
rescue=$linux/klaruvex-rescue
make=$linux/kvx_make_installation
for f in "$rescue" "$make"; do
  [ -x "$f" ] || { echo "same_as_windows: $f is missing: build the linux preset first" >&2; exit 1; }
done

work=$(mktemp -d "$build/rescue-same-XXXXXX")
export WINEPREFIX
WINEPREFIX=$(kvx_wine_prefix "$build")
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1
  kvx_xvfb_stop
  [ -n "${KVX_KEEP:-}" ] && { cp "$c/kvx/report.json" "$KVX_KEEP/windows.json"; cp "$work/rescue.json" "$KVX_KEEP/rescue.json"; }
  rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT
kvx_xvfb_start || exit 1
c=$WINEPREFIX/drive_c
user=$(ls "$c/users" | grep -v -x Public | head -n 1)
[ -n "$user" ] || { echo "same_as_windows: the prefix has no user profile" >&2; exit 1; }

"$kvxdb" pack "$here/rules.txt" "$work/test.dat" >/dev/null || exit 1

# The offline installation, laid out as Wine lays out its drive C:.
"$make" "$work/volume" "$here/planted.plan" --user "$user" --profiles users --windows windows || exit 1

# The same samples into the prefix: the files (the shortcut's bytes are the
# offline installation's), the registry values, the service.
startup="users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup"
# (Tabs become a separator that is not white space, so empty fields stay.)
while IFS=$'\x1f' read -r kind a b d e f; do
  case $kind in
    file) p=${a//\\//}; mkdir -p "$c/$(dirname "$p")"; printf '%s' "$b" >"$c/$p" ;;
    startup) mkdir -p "$c/$startup"; cp "$work/volume/$startup/$a" "$c/$startup/$a" ;;
    value)
      if [ -n "$d" ]; then name=(/v "$d"); else name=(/ve); fi
      data=${f//\{profile\}/C:\\users\\$user}
      "$WINE64" reg add "$a\\$b" "${name[@]}" /t "$e" /d "$data" /f >/dev/null 2>&1 ||
        { echo "same_as_windows: reg add $a\\$b failed" >&2; exit 1; } ;;
    service)
      "$WINE64" sc create "$a" binPath= "$b" DisplayName= "$a" >/dev/null 2>&1 ||
        { echo "same_as_windows: sc create $a failed" >&2; exit 1; } ;;
  esac
done < <(grep -v '^#' "$here/planted.plan" | tr '\t' '\037')

mkdir -p "$c/kvx" "$work/program"
cp "$exe" "$regbase" "$work/test.dat" "$c/kvx/"
cp "$rescue" "$regbase" "$work/program/"

"$WINE64" 'C:\kvx\klaruvex.exe' /scan /db 'C:\kvx\test.dat' /report 'C:\kvx\report.json'
windows_rc=$?
"$work/program/klaruvex-rescue" "$work/volume" /scan /db "$work/test.dat" /report "$work/rescue.json" >/dev/null
rescue_rc=$?
if [ "$windows_rc" != 1 ] || [ "$rescue_rc" != 1 ]; then
  echo "same_as_windows: exit codes $windows_rc (klaruvex.exe) and $rescue_rc (klaruvex-rescue), 1 expected" >&2
  exit 1
fi

/usr/bin/python3 - "$c/kvx/report.json" "$work/rescue.json" <<'EOF'
import json, sys
windows, rescue = (json.load(open(p, encoding="utf-8")) for p in sys.argv[1:3])
keys = ("threat", "path", "type", "inInfectedFolder", "size", "md5")
def findings(r):
    return [{k: f[k] for k in keys} for f in r["findings"]]
def planted(r):
    return sorted(e for e in r["inventory"] if "kvxplant" in e.lower())
ok = True
if findings(windows) != findings(rescue):
    ok = False
    print("findings differ:\n klaruvex.exe:    %s\n klaruvex-rescue: %s" %
          (json.dumps(findings(windows), indent=1), json.dumps(findings(rescue), indent=1)))
if planted(windows) != planted(rescue):
    ok = False
    print("inventory differs:\n klaruvex.exe:    %s\n klaruvex-rescue: %s" %
          (planted(windows), planted(rescue)))
# Every kind of start-up entry that was planted is seen.
for prefix in ("RegRun ", "Startup ", "Service ", "Clsid "):
    if not any(e.startswith(prefix) for e in planted(rescue)):
        ok = False
        print("no planted %sentry in the inventory" % prefix)
if len(findings(rescue)) != 9:
    ok = False
    print("9 findings expected, %d found" % len(findings(rescue)))
print("same_as_windows: %d findings and %d planted inventory entries alike" %
      (len(findings(rescue)), len(planted(rescue))) if ok else "same_as_windows: the reports differ")
sys.exit(0 if ok else 1)
EOF
