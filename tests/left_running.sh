#!/usr/bin/env bash
# After the window tests: none of their processes is left running. CTest
# marks every process a window test starts (its X server, its wineserver,
# the viewers and the programs under them) with TARNWIX_WINDOW_TEST naming
# the build folder; a process still carrying the mark a while after its test
# ended holds a display, a wineserver or a core. (A wineserver that a test
# started for the build's shared prefix ends by itself within seconds.)
#   left_running.sh BUILD_DIR [SECONDS]
set -uo pipefail
mark="TARNWIX_WINDOW_TEST=$1" seconds=${2:-15}
marked() {
  left=()
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/} pid=${pid%/environ}
    if grep -qzxF -- "$mark" "$environ" 2>/dev/null; then
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
