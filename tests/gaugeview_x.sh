# shellcheck shell=bash
# Helpers for testing a program with a window as a person uses it: a real X
# server (Xvfb) of its own, real input (xdotool), the screen read back (xwd)
# and compared pixel for pixel (ImageMagick). Sourced by the window tests.
#   x_start                      starts Xvfb on a free display, 24-bit, and a wineserver of
#                                the test's own (x_private_prefix); both stopped at exit
#   viewer_start LOG ARGS...     starts gaugeview with --log LOG; VIEWER_PID
#   wait_log LOG PATTERN [S]     waits until a line of LOG matches (extended regexp)
#   wait_count LOG PATTERN N     waits until N lines of LOG match
#   canvas_place LOG             "X Y W H" of the canvas, from its latest place line
#   control_centre LOG NAME      "X Y", the centre of a control ("box 74")
#   grab OUT.png X Y W H         that part of the screen
#   same_pictures A B            true when every pixel agrees; else prints how many differ
#   wait_screen_stable OUT X Y W H   waits until that part of the screen stops changing
#   wait_window TITLE            waits for a window (a dialog) of that title
#   wait_viewer_exit [S]         waits for the viewer to end; its status in VIEWER_STATUS
#   click_at X Y                 a click there, the pointer then put to rest (pointer_away)
# TIMEOUT_SCALE (default 1) stretches every wait, for the emulated path.
# The sourcing script sets $run (cmake/wine-run) and $viewer (gaugeview.exe).
# shellcheck disable=SC2154,SC2034 # run and viewer come from it; it reads VIEWER_STATUS

x_scratch=$(mktemp -d)
XVFB_PID="" VIEWER_PID="" VIEWER_STATUS="" X_PREFIX=""
x_cleanup() {
  [ -n "$VIEWER_PID" ] && kill "$VIEWER_PID" 2>/dev/null && wait "$VIEWER_PID" 2>/dev/null
  [ -n "$X_PREFIX" ] && TARNWIX_WINEPREFIX=$X_PREFIX "$run" --shutdown  # its own server, never the shared one
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  rm -rf "$x_scratch"
}
trap x_cleanup EXIT

# Each window test has a wineserver of its own, so that the tests run side by
# side: one server holds one keyboard state, and windows on two displays
# pulling it apart lose Ctrl and Alt. Its prefix is the built one's registry,
# marks and users' folders, copied (a few MB), with the rest of drive C (the
# Windows folder, 600 MB) linked: each test has a temporary folder of its
# own, where a viewer keeps the copies of the modules it runs under a name
# made of its process id, which another server may hand out too. The
# server's own record of where its socket lives is not copied, or both
# prefixes would name one server.
x_private_prefix() {
  local base=${TARNWIX_WINEPREFIX:-$source_dir/build/wineprefix}
  [ -f "$base/.tarnwix-ready-x11" ] || "$run" cmd /c exit </dev/null >/dev/null 2>&1  # the built prefix made
  X_PREFIX=$x_scratch/prefix
  mkdir -p "$X_PREFIX/dosdevices"
  cp -p "$base"/{.tarnwix-ready-x11,.update-timestamp,system.reg,user.reg,userdef.reg} "$X_PREFIX/" || return 1
  # Wine's windows unmanaged (unless X_MANAGED=1): with no window manager on the test's X server,
  # Wine would wait 2 s for one at every window or dialog that closes.
  [ "$X_MANAGED_WINDOWS" = 1 ] || printf '\n[Software\\\\Wine\\\\X11 Driver]\n"Managed"="N"\n' >>"$X_PREFIX/user.reg"
  # Wine's network, event log and device services not started: no viewer
  # uses them, and each is a process to start under emulation.
  local service
  for service in NDIS nsiproxy Eventlog PlugPlay; do
    printf '\n[System\\\\CurrentControlSet\\\\Services\\\\%s]\n"Start"=dword:00000004\n' "$service" >>"$X_PREFIX/system.reg"
  done
  local entry
  mkdir -p "$X_PREFIX/drive_c"
  for entry in "$base/drive_c"/*; do
    case ${entry##*/} in
      users | ProgramData) ;;
      *) ln -s "$(cd "$entry" && pwd)" "$X_PREFIX/drive_c/${entry##*/}" ;;
    esac
  done
  # The temporary folders' contents stay behind: the programs of the other
  # tests make and remove files there while this copy is taken.
  tar -C "$base/drive_c" --exclude='users/*/Temp/*' -cf - users ProgramData | tar -C "$X_PREFIX/drive_c" -xf - || return 1
  ln -s ../drive_c "$X_PREFIX/dosdevices/c:"
  ln -s / "$X_PREFIX/dosdevices/z:"
  export TARNWIX_WINEPREFIX=$X_PREFIX
  "$run" --start
}

# The emulated path runs every i386 program under qemu: windows take longer.
if read -r state 2>/dev/null </proc/sys/fs/binfmt_misc/tarnwix-i386 && [ "$state" = enabled ]; then
  TIMEOUT_SCALE=${TIMEOUT_SCALE:-8}
fi
TIMEOUT_SCALE=${TIMEOUT_SCALE:-1}

x_start() {
  X_MANAGED_WINDOWS=${X_MANAGED:-0}
  local display_file=$x_scratch/display
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp -nolisten unix 3>"$display_file" 2>"$x_scratch/xvfb.log" &
  XVFB_PID=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  [ -s "$display_file" ] || { echo "Xvfb did not start:"; cat "$x_scratch/xvfb.log"; return 1; }
  DISPLAY=:$(head -1 "$display_file")
  export DISPLAY
  x_private_prefix || { echo "no Wine prefix of its own for this test"; return 1; }
}

# Now and then Wine loses a program at its start (the suite's other programs
# are run again for it too): a viewer that ends before its first log line is
# started once more.
viewer_start() {
  local log=$1 attempt i
  shift
  for attempt in 1 2; do
    : >"$log"
    "$run" "$viewer" --log "$log" "$@" >"$log.out" 2>&1 &
    VIEWER_PID=$!
    for ((i = 0; i < 300 * TIMEOUT_SCALE; i++)); do
      [ -s "$log" ] && return 0
      kill -0 "$VIEWER_PID" 2>/dev/null || break
      sleep 0.1
    done
    [ -s "$log" ] && return 0
    echo "the viewer ended at its start (attempt $attempt): $(cat "$log.out")"
    wait "$VIEWER_PID" 2>/dev/null
    VIEWER_PID=""
  done
  return 1
}

wait_log() {
  local log=$1 pattern=$2 seconds=${3:-60} i
  local tries=$((seconds * TIMEOUT_SCALE * 10))
  for ((i = 0; i < tries; i++)); do
    grep -qE -- "$pattern" "$log" 2>/dev/null && return 0
    if [ -n "$VIEWER_PID" ] && ! kill -0 "$VIEWER_PID" 2>/dev/null; then
      grep -qE -- "$pattern" "$log" 2>/dev/null && return 0
      echo "the viewer ended while waiting for /$pattern/; its output:"
      cat "$log.out"
      return 1
    fi
    sleep 0.1
  done
  echo "no line /$pattern/ in the log after $((seconds * TIMEOUT_SCALE)) s"
  return 1
}

# Waits until at least COUNT lines of LOG match PATTERN.
wait_count() {
  local log=$1 pattern=$2 count=$3 i
  for ((i = 0; i < 30 * TIMEOUT_SCALE * 10; i++)); do
    [ "$(grep -cE -- "$pattern" "$log")" -ge "$count" ] && return 0
    sleep 0.1
  done
  echo "fewer than $count lines /$pattern/ in the log"
  return 1
}

# "place canvas 4,72 1024x720 zoom 100" -> "4 72 1024 720"
canvas_place() {
  grep -E 'place canvas ' "$1" | tail -1 | sed -E 's/.*place canvas ([0-9-]+),([0-9-]+) ([0-9]+)x([0-9]+).*/\1 \2 \3 \4/'
}

control_centre() {
  grep -E "place $2 " "$1" | tail -1 |
    sed -E 's/.* ([0-9-]+),([0-9-]+) ([0-9]+)x([0-9]+)$/\1 \2 \3 \4/' | awk '{print $1 + int($3 / 2), $2 + int($4 / 2)}'
}

grab() {
  local out=$1 x=$2 y=$3 w=$4 h=$5
  xwd -root -silent | convert xwd:- -crop "${w}x${h}+${x}+${y}" +repage "$out"
}

same_pictures() {
  local differ
  differ=$(compare -metric AE "$1" "$2" null: 2>&1)
  [ "$differ" = 0 ] && return 0
  echo "$differ pixels differ between $1 and $2"
  return 1
}

# The polls below compare raw pixels (no PNG written or decoded each time,
# which cost a core while a test waited); what they find is then checked,
# or told, by same_pictures on the PNGs, as every other comparison.
grab_raw() {  # grab_raw OUT X Y W H: that part of the screen as 8-bit RGB
  xwd -root -silent | convert xwd:- -crop "${4}x${5}+${2}+${3}" +repage -depth 8 "rgb:$1"
}
raw_of() { convert "$1" -depth 8 "rgb:$2"; }
png_of_raw() { convert -size "${3}x${4}" -depth 8 "rgb:$1" "$2"; }

# Polls the screen until that part of it equals the picture; the last grab stays in OUT.
wait_screen_equal() {
  local picture=$1 out=$2 x=$3 y=$4 w=$5 h=$6 seconds=${7:-30} i
  raw_of "$picture" "$out.want.rgb"
  for ((i = 0; i < seconds * TIMEOUT_SCALE * 2; i++)); do
    grab_raw "$out.rgb" "$x" "$y" "$w" "$h"
    if cmp -s "$out.want.rgb" "$out.rgb"; then
      png_of_raw "$out.rgb" "$out" "$w" "$h"
      same_pictures "$picture" "$out" >/dev/null && return 0
    fi
    sleep 0.5
  done
  png_of_raw "$out.rgb" "$out" "$w" "$h"
  same_pictures "$picture" "$out"
}

# Polls the screen until that part of it differs from the picture.
wait_screen_change() {
  local picture=$1 out=$2 x=$3 y=$4 w=$5 h=$6 seconds=${7:-30} i
  raw_of "$picture" "$out.was.rgb"
  for ((i = 0; i < seconds * TIMEOUT_SCALE * 2; i++)); do
    grab_raw "$out.rgb" "$x" "$y" "$w" "$h"
    if ! cmp -s "$out.was.rgb" "$out.rgb"; then
      png_of_raw "$out.rgb" "$out" "$w" "$h"
      same_pictures "$picture" "$out" >/dev/null || return 0
    fi
    sleep 0.5
  done
  echo "the screen did not change from $picture"
  return 1
}

# Polls the screen until that part of it stays the same for a third of a
# second (the frames after the last input have been drawn); the grab in OUT.
wait_screen_stable() {
  local out=$1 x=$2 y=$3 w=$4 h=$5 seconds=${6:-30} i
  grab_raw "$out.rgb" "$x" "$y" "$w" "$h"
  for ((i = 0; i < seconds * TIMEOUT_SCALE * 3; i++)); do
    sleep 0.33
    grab_raw "$out.again.rgb" "$x" "$y" "$w" "$h"
    if cmp -s "$out.rgb" "$out.again.rgb"; then
      png_of_raw "$out.rgb" "$out" "$w" "$h"
      return 0
    fi
    mv "$out.again.rgb" "$out.rgb"
  done
  png_of_raw "$out.rgb" "$out" "$w" "$h"
  echo "the screen did not settle"
  return 1
}

# Waits for a window of that title (a dialog) to appear.
wait_window() {
  local title=$1 seconds=${2:-30} i
  for ((i = 0; i < seconds * TIMEOUT_SCALE * 10; i++)); do
    xdotool search --name "$title" >/dev/null 2>&1 && { sleep 0.3; return 0; }
    sleep 0.1
  done
  echo "no window '$title' appeared"
  return 1
}

# The pointer put to rest off the windows: left on a gauge, it brings up
# the gauge's tooltip over the canvas, where it stays for 5 s. Not with
# managed windows (X_MANAGED=1 x_start): with no window manager the keys
# then go to the window under the pointer.
pointer_away() { [ "${X_MANAGED_WINDOWS:-0}" = 1 ] || xdotool mousemove 1599 1199; }

click_at() {
  xdotool mousemove "$1" "$2"
  sleep 0.2
  xdotool click 1
  pointer_away
}

wait_viewer_exit() {
  local seconds=${1:-30} i
  for ((i = 0; i < seconds * TIMEOUT_SCALE * 10; i++)); do
    if ! kill -0 "$VIEWER_PID" 2>/dev/null; then
      wait "$VIEWER_PID"
      VIEWER_STATUS=$?
      VIEWER_PID=""
      return 0
    fi
    sleep 0.1
  done
  echo "the viewer did not end within $((seconds * TIMEOUT_SCALE)) s"
  return 1
}
