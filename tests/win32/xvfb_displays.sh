#!/usr/bin/env bash
# Runs started together each get a display of their own, and ending one run
# leaves the others' displays working.
set -uo pipefail
here=$(cd "$(dirname "$0")/../../scripts" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for i in 1 2 3 4 5 6; do
  (
    . "$here/wine-env"
    kvx_xvfb_start || exit 1
    echo "$DISPLAY" >"$out/$i"
    # Run 1 ends first; the others must still be served afterwards.
    [ "$i" = 1 ] || sleep 2
    if [ "$i" != 1 ]; then
      kill -0 "$KVX_XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] ||
        { echo "run $i lost display $DISPLAY" >&2; exit 1; }
    fi
    kvx_xvfb_stop
  ) &
done
status=0
for job in $(jobs -p); do wait "$job" || status=1; done
displays=$(cat "$out"/* | sort)
unique=$(echo "$displays" | sort -u | wc -l)
[ "$(echo "$displays" | wc -l)" = 6 ] && [ "$unique" = 6 ] || {
  echo "runs shared displays:" $displays >&2
  status=1
}
exit $status
