#!/usr/bin/env bash
# After the window tests: none of their processes is left running. CTest
# marks every process a window test starts (its X server, its wineserver,
# the viewers and the programs under them) with TARNWIX_WINDOW_TEST naming
# the build folder; a process still carrying the mark a while after its test
# ended holds a display, a wineserver or a core. The build's shared
# wineserver and Wine's own services under it are left out: a window test
# may be the first to start them, and they serve the other tests after it.
#   left_running.sh BUILD_DIR [SECONDS]
set -uo pipefail
mark="TARNWIX_WINDOW_TEST=$1" seconds=${2:-15}
shared_prefix=$(realpath -m "$1/wineprefix")
# The shared wineserver, or one of Wine's services under it.
shared_service() {
  local prefix
  prefix=$(tr '\0' '\n' <"/proc/$1/environ" 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
  [ -n "$prefix" ] && [ "$(realpath -m "$prefix")" = "$shared_prefix" ] &&
    tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null | grep -qE '(^|/)wineserver|C:\\windows\\system32\\'
}
marked() {
  left=()
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/} pid=${pid%/environ}
    if grep -qzxF -- "$mark" "$environ" 2>/dev/null && ! shared_service "$pid"; then
      left+=("$pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | cut -c1-160)")
    fi
  done
  [ "${#left[@]}" -gt 0 ]
}
deadline=$((SECONDS + seconds))
while marked && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
if [ "${#left[@]}" -gt 0 ]; then
  echo "FAIL: ${#left[@]} processes of the window tests are still running:"
  printf '  %s\n' "${left[@]}"
  exit 1
fi
echo "ok: no process of the window tests is left running"
