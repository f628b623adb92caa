#!/usr/bin/env bash
# gaugeview as a person uses it: the real program under Wine on a real X
# server of its own, driven by real X input, the screen read back and
# compared pixel for pixel with what gaugerender draws of the same state.
#   gaugeview_test.sh GROUP SOURCE_DIR BUILD_DIR DIST_DIR
# GROUP: panel (the example panel: its pixels, clicks, a typed value, the
#        recording replayed), faults (faulty modules stopped and outlined,
#        the rest running, modules reloaded when their file changes),
#        scenario (a scenario played, paused and stepped), arguments (bad
#        command lines: one line, a non-zero exit, no window).
# shellcheck disable=SC2015,SC2119 # pass only prints: "check && pass || fail" is if-then-else here
set -uo pipefail
group=$1 source_dir=$2 build_dir=$3 dist_dir=$4
run=$source_dir/cmake/wine-run
viewer=$build_dir/tools/gaugeview/gaugeview.exe
renderer=$build_dir/tools/gaugerender/gaugerender.exe
# shellcheck source=tests/gaugeview_x.sh
source "$source_dir/tests/gaugeview_x.sh"
scratch=$x_scratch
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }
finish() {
  [ "$failures" -eq 0 ] && { echo "gaugeview $group: every check passed"; exit 0; }
  echo "gaugeview $group: $failures checks failed"
  [ -f "$scratch/viewer.log" ] && { echo "--- the viewer's log:"; grep -v ': place ' "$scratch/viewer.log" | tail -40; }
  exit 1
}
# The colour of one pixel of a picture, as "R,G,B".
pixel() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }
crop() { convert "$1" -crop "${4}x${5}+${2}+${3}" +repage "$6"; }
render_scenario() {  # render_scenario NAME < scenario text; the last frame in $scratch/NAME.png
  cat >"$scratch/$1.txt"
  "$run" "$renderer" --modules "${2:-$dist_dir}" --last-frame --quiet --out "$scratch" "$scratch/$1.txt" >/dev/null
}
log=$scratch/viewer.log

panel_group() {
  x_start || return 1
  viewer_start "$log" --modules "$dist_dir" --set 769=1 --record "$scratch/session.txt" "$dist_dir/example_panel/panel.cfg" ||
    return 1
  wait_log "$log" 'place canvas' || return 1
  read -r cx cy cw ch < <(canvas_place "$log")

  # The window's pixels are gaugerender's picture of the same state.
  "$run" "$renderer" --panel "$dist_dir/example_panel/panel.cfg" --window 0 --modules "$dist_dir" --out "$scratch/render" >/dev/null
  [ "${cw}x${ch}" = 1024x720 ] || fail "the canvas is ${cw}x${ch}, not the main window's 1024x720"
  if wait_screen_equal "$scratch/render/Window00_Main_Panel.png" "$scratch/start.png" "$cx" "$cy" "$cw" "$ch"; then
    pass "the main window on the screen equals gaugerender's picture"
  else
    fail "the main window on the screen is not gaugerender's picture"
  fi

  # Clicks on the button strip (placed at 239, 575 at its own size).
  local ux=$((cx + 239)) uy=$((cy + 575))
  crop "$scratch/start.png" 359 629 135 43 "$scratch/vor_before.png"
  click_at $((ux + 180)) $((uy + 70))
  wait_log "$log" 'click Tarnwix_Utils \(180, 70\): area [0-9]+, the VOR 1 INPUT area' && wait_log "$log" 'key 66375 value 0 from Tarnwix_Utils' &&
    pass "clicking VOR 1 INPUT logs key event 66375" || fail "VOR 1 INPUT: no key event 66375 in the log"
  if wait_screen_change "$scratch/vor_before.png" "$scratch/vor_after.png" $((ux + 120)) $((uy + 54)) 135 43; then
    pass "the VOR 1 INPUT legends changed on the screen"
  else
    fail "the VOR 1 INPUT legends did not change"
  fi
  click_at $((ux + 320)) $((uy + 75))
  wait_log "$log" 'key 65584 value 0 from Tarnwix_Utils' && pass "clicking BARO SET logs key event 65584" ||
    fail "BARO SET: no key event 65584 in the log"
  grab "$scratch/brake_before.png" $((ux + 26)) $((uy + 56)) 61 40
  click_at $((ux + 50)) $((uy + 75))
  wait_log "$log" 'click Tarnwix_Utils \(50, 75\): area [0-9]+, the BRAKE HELP button' || fail "BRAKE HELP: no click in the log"
  if wait_screen_change "$scratch/brake_before.png" "$scratch/brake_after.png" $((ux + 26)) $((uy + 56)) 61 40; then
    pass "the BRAKE HELP legend lit on the screen"
  else
    fail "the BRAKE HELP legend did not change"
  fi

  # A value typed into the airspeed's box shows in its readout.
  wait_log "$log" 'place box 61 ' || return 1
  read -r bx by < <(control_centre "$log" "box 61")
  click_at "$bx" "$by"
  xdotool key End
  for _ in 1 2 3 4 5 6; do xdotool key BackSpace; done
  xdotool type 123
  xdotool key Return
  wait_log "$log" 'set 61 123 \(airspeed\)' || fail "typing 123 into the box of 61 set nothing"
  render_scenario airspeed <<<$'module Tarnwix_Airspeed\nset 769 1\nset 61 123\nframes 2'
  if wait_screen_equal "$scratch/airspeed.png" "$scratch/airspeed_grab.png" $((cx + 160)) $((cy + 120)) 101 330; then
    pass "the typed airspeed shows in the gauge as gaugerender draws it"
  else
    fail "the airspeed on the screen is not gaugerender's picture of 123 knots"
  fi

  # The session recorded and replayed ends on the last grab; the whole
  # window then is the README's screenshot.
  wait_screen_stable "$scratch/last.png" "$cx" "$cy" "$cw" "$ch" || fail "the picture did not settle"
  import -window "$(xdotool search --name '^gaugeview - ' | head -1)" "$build_dir/tests/gaugeview.png" ||
    fail "no screenshot of the window"
  xdotool key ctrl+q
  wait_viewer_exit || return 1
  [ "$VIEWER_STATUS" = 0 ] && pass "Ctrl+Q quits with status 0" || fail "Ctrl+Q: exit status $VIEWER_STATUS"
  if [ -f "$scratch/session.txt" ]; then
    mkdir -p "$scratch/replay"
    "$run" "$renderer" --modules "$dist_dir" --last-frame --quiet --out "$scratch/replay" "$scratch/session.txt" >/dev/null ||
      fail "gaugerender does not replay the recording: $(cat "$scratch/session.txt")"
    same_pictures "$scratch/last.png" "$scratch/replay/session.png" && pass "the recording replays to the last grab" ||
      fail "the replayed recording ends on another picture"
  else
    fail "--record wrote no file"
  fi
}

faults_group() {
  local modules=$scratch/modules faulty=$build_dir/tests/faulty
  mkdir -p "$modules"
  cp "$dist_dir"/*.gau "$faulty"/faulty_{crash_on_nan,hang_on_nan,cdecl_callback}.gau "$modules/"
  printf '%s\n' "module Tarnwix_Utils" "module faulty_crash_on_nan" "module faulty_hang_on_nan" \
    "module faulty_cdecl_callback" "set 769 1" "frames 2" >"$scratch/faulty.txt"
  x_start || return 1
  viewer_start "$log" --modules "$modules" "$scratch/faulty.txt" || return 1
  wait_log "$log" 'place box 900 ' || return 1
  read -r cx cy cw ch < <(canvas_place "$log")
  wait_log "$log" 'fault faulty_cdecl_callback: .*left the stack pointer' &&
    pass "a callback that leaves the stack unbalanced stops its module" || fail "no stack fault logged"
  # The faulty gauges stand left to right after the strip (546 wide), 10
  # apart; they carry no bitmaps, so each is a box of 64 pixels.
  local crash_x=556 hang_x=$((556 + 64 + 10))
  read -r bx by < <(control_centre "$log" "box 900")
  click_at "$bx" "$by"
  xdotool key End
  for _ in 1 2 3 4 5 6; do xdotool key BackSpace; done
  xdotool type nan
  xdotool key Return
  wait_log "$log" 'fault faulty_crash_on_nan: .*crashed with exception 0xC0000005' &&
    pass "a module that crashes is stopped and logged" || fail "no crash logged"
  wait_log "$log" 'fault faulty_hang_on_nan: .*ran past the budget' &&
    pass "a module that hangs is stopped and logged" || fail "no hang logged"
  wait_screen_stable "$scratch/faulted.png" "$cx" "$cy" "$cw" "$ch"
  for x in $crash_x $hang_x; do
    [ "$(pixel "$scratch/faulted.png" "$x" 0)" = 230,20,20 ] && pass "the stopped gauge at $x is outlined in red" ||
      fail "no red outline at $x, 0: $(pixel "$scratch/faulted.png" "$x" 0)"
  done
  # The rest runs on: BRAKE HELP still lights.
  crop "$scratch/faulted.png" 26 56 61 40 "$scratch/brake_off.png"
  click_at $((cx + 50)) $((cy + 75))
  wait_log "$log" 'click Tarnwix_Utils \(50, 75\): area [0-9]+, the BRAKE HELP button' || fail "the strip took no click"
  wait_screen_change "$scratch/brake_off.png" "$scratch/brake_on.png" $((cx + 26)) $((cy + 56)) 61 40 &&
    pass "the other gauges run on beside the stopped ones" || fail "the strip stopped with the faulty modules"

  # A fixed build replaces the crashing module: it is reloaded and runs.
  cp "$faulty/faulty_control.gau" "$modules/faulty_crash_on_nan.gau"
  wait_log "$log" 'reload faulty_crash_on_nan: its file changed' && pass "a replaced module file is reloaded" ||
    fail "replacing the module's file reloaded nothing"
  local i
  for ((i = 0; i < 20 * TIMEOUT_SCALE; i++)); do
    grab "$scratch/fixed.png" "$cx" "$cy" "$cw" "$ch"
    [ "$(pixel "$scratch/fixed.png" "$crash_x" 0)" != 230,20,20 ] && break
    sleep 0.5
  done
  [ "$(pixel "$scratch/fixed.png" "$crash_x" 0)" != 230,20,20 ] && pass "the reloaded module is drawn, not outlined" ||
    fail "the reloaded module is still outlined in red"
  # A module reloaded starts afresh with the inputs kept: BRAKE HELP unarmed.
  cp "$dist_dir/Tarnwix_Utils.gau" "$modules/Tarnwix_Utils.gau.new" && mv "$modules/Tarnwix_Utils.gau.new" "$modules/Tarnwix_Utils.gau"
  touch "$modules/Tarnwix_Utils.gau"
  wait_log "$log" 'reload Tarnwix_Utils: its file changed' || fail "replacing Tarnwix_Utils reloaded nothing"
  wait_screen_equal "$scratch/brake_off.png" "$scratch/brake_reloaded.png" $((cx + 26)) $((cy + 56)) 61 40 &&
    pass "the reloaded strip starts unarmed" || fail "the reloaded strip kept its old state"
  grep -q 'set 769 1' "$log" && [ "$(grep -c 'set 769' "$log")" = 1 ] || fail "the inputs were set again on reload"

  xdotool key alt+F4
  wait_viewer_exit || return 1
  [ "$VIEWER_STATUS" = 0 ] && pass "Alt+F4 quits with status 0" || fail "Alt+F4: exit status $VIEWER_STATUS"
}

scenario_group() {
  x_start || return 1
  viewer_start "$log" --modules "$dist_dir" "$source_dir/scenarios/panel_takeoff.txt" || return 1
  wait_log "$log" 'scenario ended' 120 || return 1
  read -r cx cy cw ch < <(canvas_place "$log")
  mkdir -p "$scratch/render"
  "$run" "$renderer" --modules "$dist_dir" --last-frame --quiet --out "$scratch/render" \
    "$source_dir/scenarios/panel_takeoff.txt" >/dev/null
  xdotool key ctrl+space
  wait_log "$log" ': paused$' || fail "Ctrl+Space did not pause"
  if wait_screen_equal "$scratch/render/panel_takeoff.png" "$scratch/played.png" "$cx" "$cy" "$cw" "$ch"; then
    pass "the scenario played in the window ends on gaugerender's last frame"
  else
    fail "the played scenario ends on another picture"
  fi
  local before after
  before=$(grep -c 'stepped one frame' "$log")
  xdotool key ctrl+Right
  wait_log "$log" 'stepped one frame' || fail "Ctrl+Right did not step"
  after=$(grep -c 'stepped one frame' "$log")
  [ "$after" = $((before + 1)) ] && pass "Ctrl+Right steps one frame" || fail "stepping made $((after - before)) steps"
  # Save picture and Save scenario, through their dialogs as a person types a name.
  local windows_scratch="Z:${scratch//\//\\}"
  grab "$scratch/paused.png" "$cx" "$cy" "$cw" "$ch"
  xdotool key ctrl+s
  wait_window 'Save As' || fail "no Save dialog"
  xdotool type "$windows_scratch\\saved.png"
  xdotool key Return
  wait_log "$log" 'picture saved to ' && same_pictures "$scratch/paused.png" "$scratch/saved.png" &&
    pass "Save picture writes the window as it is on the screen" || fail "Save picture"
  xdotool key ctrl+shift+s
  wait_window 'Save As' || fail "no Save dialog"
  xdotool type "$windows_scratch\\saved.txt"
  xdotool key Return
  wait_log "$log" 'scenario saved to ' || fail "Save scenario wrote nothing"
  mkdir -p "$scratch/saved_replay"
  "$run" "$renderer" --modules "$dist_dir" --last-frame --quiet --out "$scratch/saved_replay" "$scratch/saved.txt" \
    >/dev/null && same_pictures "$scratch/paused.png" "$scratch/saved_replay/saved.png" &&
    pass "the scenario saved from the played one replays to the same picture" || fail "Save scenario's replay"
  xdotool key ctrl+q
  wait_viewer_exit && [ "$VIEWER_STATUS" = 0 ] || fail "the viewer did not quit cleanly"

  # The window list switches to the virtual cockpit, the power carried over.
  viewer_start "$log" --modules "$dist_dir" --set 769=1 "$dist_dir/example_panel/panel.cfg" || return 1
  wait_log "$log" 'place canvas ' || return 1
  read -r cx cy cw ch < <(canvas_place "$log")
  click_at $((cx + 200)) $((cy - 15))  # the list, above the canvas
  sleep $((1 * TIMEOUT_SCALE))
  xdotool key Down Down Return
  wait_log "$log" 'place canvas .* 512x512 ' || fail "the window list did not switch to VCockpit01"
  read -r cx cy cw ch < <(canvas_place "$log")
  "$run" "$renderer" --panel "$dist_dir/example_panel/panel.cfg" --window VCockpit01 --modules "$dist_dir" \
    --out "$scratch/render" >/dev/null
  wait_screen_equal "$scratch/render/VCockpit01_VC01.png" "$scratch/vc.png" "$cx" "$cy" "$cw" "$ch" &&
    pass "the virtual cockpit, switched to, is gaugerender's picture, powered" || fail "the switched window differs"
  xdotool key ctrl+q
  wait_viewer_exit && [ "$VIEWER_STATUS" = 0 ] || fail "the viewer did not quit cleanly"

  # A module opened alone at twice its size: a click reaches its own pixels.
  viewer_start "$log" --modules "$dist_dir" --zoom 200 --set 769=1 "$dist_dir/Tarnwix_Utils.gau" || return 1
  wait_log "$log" 'place canvas ' || return 1
  read -r cx cy cw ch < <(canvas_place "$log")
  [ "${cw}x${ch}" = 1092x222 ] || fail "the strip at 200 % is ${cw}x${ch} on the screen"
  click_at $((cx + 2 * 300 + 1)) $((cy + 2 * 70 + 1))
  wait_log "$log" 'click Tarnwix_Utils \(300, 70\): area [0-9]+, the BARO SET button' &&
    pass "at 200 % a click reaches the gauge's own pixel" || fail "the zoomed click went elsewhere"
  xdotool key ctrl+q
  wait_viewer_exit && [ "$VIEWER_STATUS" = 0 ] || fail "the viewer did not quit cleanly"
}

arguments_group() {
  x_start || return 1
  printf '[Window00]\ngauge00=Tarnwix_Airspeed, 10\n' >"$scratch/malformed.cfg"
  cp "$source_dir/README.md" "$scratch/not_a_module.gau"
  local output status
  while IFS='|' read -r what arguments; do
    # shellcheck disable=SC2086 # the arguments are words
    output=$("$run" "$viewer" $arguments 2>&1 >/dev/null)
    status=$?
    [ "$status" -ne 0 ] || fail "$what: exit status 0"
    [ "$(printf '%s\n' "$output" | grep -c .)" = 1 ] && [[ $output == gaugeview:* ]] ||
      fail "$what: not one line: '$output'"
    [ -z "$(xdotool search --name gaugeview 2>/dev/null)" ] || fail "$what: a window opened"
    echo "ok: $what: $output (status $status)"
  done <<EOF2
a missing file|--modules $dist_dir $scratch/nowhere/panel.cfg
a malformed panel.cfg|--modules $dist_dir $scratch/malformed.cfg
an unknown option|--frobnicate $dist_dir/example_panel/panel.cfg
--rate 0|--rate 0 $dist_dir/example_panel/panel.cfg
a window the panel lacks|--modules $dist_dir --window 7 $dist_dir/example_panel/panel.cfg
a file that is no module|--modules $dist_dir $scratch/not_a_module.gau
EOF2
}

case $group in
  panel) panel_group || fail "the panel checks stopped early" ;;
  faults) faults_group || fail "the fault checks stopped early" ;;
  scenario) scenario_group || fail "the scenario checks stopped early" ;;
  arguments) arguments_group || fail "the argument checks stopped early" ;;
  *) echo "unknown group $group"; exit 2 ;;
esac
finish
