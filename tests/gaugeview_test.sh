#!/usr/bin/env bash
# gaugeview as a person uses it: the real program under Wine on a real X
# server of its own, driven by real X input, the screen read back and
# compared pixel for pixel with what gaugerender draws of the same state.
#   gaugeview_test.sh GROUP SOURCE_DIR BUILD_DIR DIST_DIR
# GROUP: panel (the example panel: its pixels, clicks, a typed value, the
#        recording replayed), faults (faulty modules stopped and outlined,
#        the rest running, modules reloaded when their file changes),
#        scenario (a scenario played, paused, stepped and saved), windows
#        (the window list switched, a module zoomed), layout (a copy of the
#        example panel laid out with the mouse and keys and saved),
#        zoomed_layout (a drag at 200 %),
#        arguments (bad command lines: one line, a non-zero exit, no window).
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
  [ -s "$scratch/viewer.log.out" ] && { echo "--- what Wine and the viewer printed:"; tail -20 "$scratch/viewer.log.out"; }
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
# A panel that is only looked at and clicked runs at a third of the 18
# frames a second a person watches: no check here is about the rate, each
# waits for the frame it needs, and under emulation a frame of the viewer
# costs about 16 ms of a core.
live_rate=(--rate 6)

panel_group() {
  x_start || return 1
  viewer_start "$log" "${live_rate[@]}" --modules "$dist_dir" --set 769=1 --record "$scratch/session.txt" "$dist_dir/example_panel/panel.cfg" ||
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
  viewer_start "$log" "${live_rate[@]}" --modules "$modules" "$scratch/faulty.txt" || return 1
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
  # Played faster than the 18 frames a second a person watches: the test is about the frames, not their rate.
  viewer_start "$log" --modules "$dist_dir" --rate 50 "$source_dir/scenarios/panel_takeoff.txt" || return 1
  wait_log "$log" 'scenario ended' 120 || return 1
  # Paused at once: the frames run on live until then are in the scenario saved below.
  xdotool key ctrl+space
  wait_log "$log" ': paused$' || fail "Ctrl+Space did not pause"
  read -r cx cy cw ch < <(canvas_place "$log")
  mkdir -p "$scratch/render"
  "$run" "$renderer" --modules "$dist_dir" --last-frame --quiet --out "$scratch/render" \
    "$source_dir/scenarios/panel_takeoff.txt" >/dev/null
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
  xdotool key ctrl+shift+p
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
}

windows_group() {
  x_start || return 1
  mkdir -p "$scratch/render"
  # The window list switches to the virtual cockpit, the power carried over.
  viewer_start "$log" "${live_rate[@]}" --modules "$dist_dir" --set 769=1 "$dist_dir/example_panel/panel.cfg" || return 1
  wait_log "$log" 'place canvas ' || return 1
  read -r cx cy cw ch < <(canvas_place "$log")
  wait_log "$log" 'place window list ' || return 1
  click_at $(control_centre "$log" 'window list')
  wait_log "$log" ': window list open$' || fail "a click on the window list did not open it"
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
  viewer_start "$log" "${live_rate[@]}" --modules "$dist_dir" --zoom 200 --set 769=1 "$dist_dir/Tarnwix_Utils.gau" || return 1
  wait_log "$log" 'place canvas ' || return 1
  read -r cx cy cw ch < <(canvas_place "$log")
  [ "${cw}x${ch}" = 1092x222 ] || fail "the strip at 200 % is ${cw}x${ch} on the screen"
  click_at $((cx + 2 * 300 + 1)) $((cy + 2 * 70 + 1))
  wait_log "$log" 'click Tarnwix_Utils \(300, 70\): area [0-9]+, the BARO SET button' &&
    pass "at 200 % a click reaches the gauge's own pixel" || fail "the zoomed click went elsewhere"
  xdotool key ctrl+q
  wait_viewer_exit && [ "$VIEWER_STATUS" = 0 ] || fail "the viewer did not quit cleanly"
}

# Layout mode's helpers. A drag as a hand makes it: press, several moves, release.
drag_press() { xdotool mousemove "$1" "$2" && sleep 0.2 && xdotool mousedown 1 && sleep 0.1; }
drag_move() {  # drag_move X0 Y0 X1 Y1: from one point to the other in eight steps
  local i
  for ((i = 1; i <= 8; i++)); do
    xdotool mousemove $(($1 + ($3 - $1) * i / 8)) $(($2 + ($4 - $2) * i / 8))
    sleep 0.05
  done
  sleep 0.2
}
drag() { drag_press "$1" "$2" && drag_move "$@" && xdotool mouseup 1 && pointer_away; }
saves() { grep -c ': saved .*panel\.cfg$' "$log"; }
# Waits until the log says the panel was saved more than N times.
wait_saved_past() {
  local i
  for ((i = 0; i < 300 * TIMEOUT_SCALE; i++)); do
    [ "$(saves)" -gt "$1" ] && return 0
    sleep 0.1
  done
  echo "the panel was not saved"
  return 1
}
# Ctrl+S, and the save it makes.
save_panel() {
  local before
  before=$(saves)
  xdotool key ctrl+s
  wait_saved_past "$before"
}
# Waits until no window of that title is left (a dialog closed).
wait_window_gone() {
  local i
  for ((i = 0; i < 30 * TIMEOUT_SCALE * 10; i++)); do
    xdotool search --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  echo "the window '$1' stayed"
  return 1
}
# The file as it should be: FROM with line N replaced by TEXT, every other byte kept.
with_line() { sed "${2}s|.*|$3|" "$1"; }
same_bytes() { cmp "$1" "$2" >/dev/null && return 0; echo "$1 and $2 differ:"; diff "$1" "$2"; return 1; }
airspeed_line() { sed -n 16p "$1"; }  # gauge00 of the example panel

layout_group() {
  local panel=$scratch/panel original=$scratch/original.cfg expected=$scratch/expected.cfg
  mkdir -p "$panel" "$scratch/render"
  cp "$dist_dir/example_panel/"* "$panel/"
  cp "$panel/panel.cfg" "$original"
  [ "$(airspeed_line "$original")" = 'gauge00=Tarnwix_Airspeed!Tarnwix_Airspeed, 160, 120' ] ||
    { fail "line 16 of the example panel is not the airspeed's"; return 1; }
  render_panel() { "$run" "$renderer" --panel "$panel/panel.cfg" --window 0 --modules "$dist_dir" --out "$scratch/render" >/dev/null; }
  x_start || return 1
  viewer_start "$log" "${live_rate[@]}" --modules "$dist_dir" --set 769=1 "$panel/panel.cfg" || return 1
  wait_log "$log" 'place canvas' || return 1
  read -r cx cy cw ch < <(canvas_place "$log")
  wait_screen_stable "$scratch/flying.png" "$cx" "$cy" "$cw" "$ch"
  xdotool key ctrl+l
  wait_log "$log" ': layout on$' && pass "Ctrl+L turns layout mode on" || fail "Ctrl+L: no 'layout on' in the log"

  # The airspeed display (160, 120, its own 101 x 330) dragged by 40, 30 from
  # inside it; halfway, with its top still on the altimeter's, the window is
  # the README's screenshot of layout mode.
  drag_press $((cx + 210)) $((cy + 285))
  drag_move $((cx + 210)) $((cy + 285)) $((cx + 230)) $((cy + 285))
  import -window "$(xdotool search --name '^gaugeview - ' | head -1)" "$build_dir/tests/gaugeview_layout.png" ||
    fail "no screenshot of layout mode"
  drag_move $((cx + 230)) $((cy + 285)) $((cx + 250)) $((cy + 315))
  xdotool mouseup 1
  pointer_away
  wait_log "$log" 'move Window00 gauge00 Tarnwix_Airspeed to 200, 150' && pass "a drag of 40, 30 moves the airspeed to 200, 150" ||
    fail "the drag did not move the airspeed to 200, 150"
  xdotool search --name '^gaugeview - .*\*$' >/dev/null && pass "the title shows * with an edit unsaved" ||
    fail "no * in the title: $(xdotool search --name '^gaugeview - ' getwindowname)"
  save_panel || fail "the drag was not saved"
  with_line "$original" 16 'gauge00=Tarnwix_Airspeed!Tarnwix_Airspeed, 200, 150' >"$expected"
  same_bytes "$expected" "$panel/panel.cfg" && pass "Ctrl+S changes the airspeed's line alone, every other byte kept" ||
    fail "the saved panel.cfg is not the original with the airspeed's line moved"
  same_bytes "$original" "$panel/panel.cfg.bak" && pass "the first save keeps the file as it was in panel.cfg.bak" ||
    fail "no panel.cfg.bak of the original"
  wait_window '^gaugeview - [^*]*$' 10 >/dev/null && pass "the save takes the * from the title" ||
    fail "the title still shows * after the save"

  # The selection is drawn over the canvas, never into the picture.
  render_panel
  grab "$scratch/selected.png" "$cx" "$cy" "$cw" "$ch"
  same_pictures "$scratch/render/Window00_Main_Panel.png" "$scratch/selected.png" >/dev/null &&
    fail "the selection is not drawn on the screen"
  xdotool key Escape
  wait_screen_equal "$scratch/render/Window00_Main_Panel.png" "$scratch/moved.png" "$cx" "$cy" "$cw" "$ch" &&
    pass "the canvas, the selection cleared, is gaugerender's picture of the saved file" ||
    fail "the canvas differs from gaugerender's picture of the saved file"
  click_at $((cx + 240)) $((cy + 300))
  local windows_scratch="Z:${scratch//\//\\}"
  xdotool key ctrl+shift+p
  wait_window 'Save As' || fail "no Save dialog for the picture"
  xdotool type "$windows_scratch\\picture.png"
  xdotool key Return
  wait_log "$log" 'picture saved to ' && same_pictures "$scratch/render/Window00_Main_Panel.png" "$scratch/picture.png" &&
    pass "Save picture with a gauge selected has no selection in it" || fail "Save picture's PNG is not the panel alone"

  # Shift+drag of the bottom-right handle keeps the aspect.
  xdotool keydown shift
  drag $((cx + 301)) $((cy + 480)) $((cx + 351)) $((cy + 490))
  xdotool keyup shift
  save_panel || fail "the size was not saved"
  local size_line w h
  size_line=$(airspeed_line "$panel/panel.cfg")
  read -r w h < <(sed -nE 's/^gauge00=Tarnwix_Airspeed!Tarnwix_Airspeed, 200, 150, ([0-9]+), ([0-9]+)$/\1 \2/p' <<<"$size_line")
  if [ -n "$w" ] && [ "$w" -gt 101 ] && [ $(((w * 330 - h * 101) ** 2)) -le $((330 ** 2)) ]; then
    pass "Shift+drag of a corner keeps the aspect: $size_line"
  else
    fail "Shift+drag of a corner: '$size_line' is not 200, 150 at 101:330 and larger"
  fi
  with_line "$original" 16 "$size_line" >"$expected"
  same_bytes "$expected" "$panel/panel.cfg" || fail "sizing changed more than the airspeed's line"

  # The arrows nudge by a unit, with Shift by ten.
  xdotool key Right Right Right shift+Down
  save_panel || fail "the nudges were not saved"
  [ "$(airspeed_line "$panel/panel.cfg")" = "gauge00=Tarnwix_Airspeed!Tarnwix_Airspeed, 203, 160, $w, $h" ] &&
    pass "Right three times and Shift+Down nudge to 203, 160" ||
    fail "the nudged line is '$(airspeed_line "$panel/panel.cfg")'"

  # Undoing every edit and saving gives back the bytes read.
  local i undone
  for ((i = 1; i <= 6; i++)); do
    undone=$(grep -c ': undo ' "$log")
    xdotool key ctrl+z
    wait_count "$log" ': undo ' $((undone + 1)) || fail "Ctrl+Z number $i undid nothing"
  done
  save_panel || fail "the undone edits were not saved"
  same_bytes "$original" "$panel/panel.cfg" && pass "undoing every edit and saving gives the original bytes" ||
    fail "after undoing every edit the file is not the original"

  # Delete in the middle of the window's gauges renumbers those after it.
  click_at $((cx + 850)) $((cy + 285))
  xdotool key Delete
  save_panel || fail "the removal was not saved"
  sed '18d; s/^gauge03=Tarnwix_Utils!/gauge02=Tarnwix_Utils!/; s/^gauge04=Acme_Clock!/gauge03=Acme_Clock!/' "$original" >"$expected"
  same_bytes "$expected" "$panel/panel.cfg" && pass "Delete removes the altimeter's line and renumbers gauge03 and gauge04" ||
    fail "the file after Delete is not the original less the altimeter, renumbered"

  # Add gauge places the module at the pointer; it runs again.
  grab "$scratch/empty.png" $((cx + 762)) $((cy + 120)) 178 330
  xdotool mousemove $((cx + 762)) $((cy + 120))
  sleep 0.3
  xdotool key ctrl+g
  wait_window 'Add gauge' || fail "Ctrl+G: no Add gauge dialog"
  xdotool type 'Tarnwix_Altimeter!Tarnwix_Altimeter'
  xdotool key Return
  wait_window_gone 'Add gauge' || fail "the Add gauge dialog did not close"
  wait_screen_change "$scratch/empty.png" "$scratch/added.png" $((cx + 762)) $((cy + 120)) 178 330 &&
    pass "the added altimeter's pixels appear at the pointer" || fail "nothing appeared where the altimeter was added"
  save_panel || fail "the added gauge was not saved"
  sed '/^gauge03=Acme_Clock!/a gauge04=Tarnwix_Altimeter!Tarnwix_Altimeter, 762, 120' "$expected" >"$expected.added"
  same_bytes "$expected.added" "$panel/panel.cfg" && pass "the added gauge is a new line after the window's last" ||
    fail "the file after Add gauge is not the one expected"
  render_panel
  pointer_away
  xdotool key Escape
  wait_screen_equal "$scratch/render/Window00_Main_Panel.png" "$scratch/readded.png" "$cx" "$cy" "$cw" "$ch" &&
    pass "with the gauge added, the canvas is gaugerender's picture of the saved file" ||
    fail "with the gauge added, the canvas differs from gaugerender's picture"

  # Another program edits the file: read again and shown, no edit being unsaved.
  sed -i 's/^gauge01=Tarnwix_Background_S!Tarnwix_Background_S, 272, 40, 480/gauge01=Tarnwix_Background_S!Tarnwix_Background_S, 272, 60, 480/' "$panel/panel.cfg"
  render_panel
  wait_screen_equal "$scratch/render/Window00_Main_Panel.png" "$scratch/edited_elsewhere.png" "$cx" "$cy" "$cw" "$ch" &&
    pass "the file edited by another program shows in the canvas" || fail "the file edited elsewhere did not show"
  cp "$panel/panel.cfg" "$scratch/elsewhere.cfg"

  # Edits unsaved while another program changes the file: asked, kept; then the
  # save asks before it overwrites.
  click_at $((cx + 240)) $((cy + 300))
  xdotool key Right
  wait_log "$log" 'move Window00 gauge00 Tarnwix_Airspeed to 161, 120' || fail "Right did not nudge the airspeed"
  sed -i 's/^visible=1$/visible=1 /' "$panel/panel.cfg"
  if wait_window '^gaugeview$' 20; then
    pass "a file changed on disk under unsaved edits asks"
    xdotool key Return  # Yes: keep the edits
    wait_window_gone '^gaugeview$' || fail "Yes did not close the question"
  else
    fail "no question about the file changed on disk"
  fi
  local saved_before
  saved_before=$(saves)
  xdotool key ctrl+s
  if wait_window 'Changed on disk' 20; then
    pass "saving over a file changed on disk asks first"
    xdotool key Return  # Overwrite
  else
    fail "the save over a changed file did not ask"
  fi
  wait_saved_past "$saved_before" || fail "Overwrite saved nothing"
  with_line "$scratch/elsewhere.cfg" 16 'gauge00=Tarnwix_Airspeed!Tarnwix_Airspeed, 161, 120' >"$expected"
  same_bytes "$expected" "$panel/panel.cfg" && pass "Overwrite writes the edits over the file changed on disk" ||
    fail "after Overwrite the file is not the edited one"

  # Quitting with an edit unsaved asks; Cancel stays, Discard quits and writes nothing.
  cp "$panel/panel.cfg" "$scratch/before_quit.cfg"
  xdotool key Right
  wait_log "$log" 'move Window00 gauge00 Tarnwix_Airspeed to 162, 120' || fail "Right did not nudge the airspeed"
  xdotool key ctrl+q
  wait_window 'Unsaved layout' && pass "Ctrl+Q with an edit unsaved asks" || fail "Ctrl+Q with an edit unsaved asked nothing"
  sleep 0.5
  xdotool key Escape
  wait_window_gone 'Unsaved layout' || fail "Esc did not close the question"
  kill -0 "$VIEWER_PID" 2>/dev/null && pass "Cancel keeps the viewer open" || fail "Cancel quit the viewer"
  xdotool key ctrl+q
  wait_window 'Unsaved layout' || fail "the second Ctrl+Q asked nothing"
  sleep 0.5
  xdotool key alt+d
  wait_viewer_exit || return 1
  [ "$VIEWER_STATUS" = 0 ] && pass "Discard quits with status 0" || fail "Discard: exit status $VIEWER_STATUS"
  same_bytes "$scratch/before_quit.cfg" "$panel/panel.cfg" && pass "Discard writes nothing" || fail "Discard changed the file"
}

# At 200 % a drag of 40 screen pixels moves 20 units.
zoomed_layout_group() {
  local panel=$scratch/panel original=$scratch/original.cfg expected=$scratch/expected.cfg
  mkdir -p "$panel"
  cp "$dist_dir/example_panel/"* "$panel/"
  cp "$panel/panel.cfg" "$original"
  # Managed windows here: on Debian 13's Wine an unmanaged window larger than
  # the screen, as the viewer's is at 200 %, kept the viewer from its frames.
  X_MANAGED=1 x_start || return 1
  viewer_start "$log" "${live_rate[@]}" --modules "$dist_dir" --set 769=1 --zoom 200 "$panel/panel.cfg" || return 1
  wait_log "$log" 'place canvas' || return 1
  read -r cx cy cw ch < <(canvas_place "$log")
  xdotool key ctrl+l
  wait_log "$log" ': layout on$' || fail "Ctrl+L at 200 %: no 'layout on'"
  drag $((cx + 420)) $((cy + 570)) $((cx + 460)) $((cy + 570))
  wait_log "$log" 'move Window00 gauge00 Tarnwix_Airspeed to 180, 120' && pass "at 200 % a drag of 40 pixels moves 20 units" ||
    fail "at 200 % the drag did not move the airspeed to 180, 120"
  save_panel || fail "the drag at 200 % was not saved"
  with_line "$original" 16 'gauge00=Tarnwix_Airspeed!Tarnwix_Airspeed, 180, 120' >"$expected"
  same_bytes "$expected" "$panel/panel.cfg" || fail "the file saved at 200 % is not the one expected"
  xdotool key ctrl+q
  wait_viewer_exit && [ "$VIEWER_STATUS" = 0 ] || fail "the viewer did not quit cleanly"
}

# Watches the screen until those processes end: no window of the viewer on it.
no_window_while() {
  local running=1 pid
  while [ "$running" = 1 ]; do
    running=0
    for pid in "$@"; do kill -0 "$pid" 2>/dev/null && running=1; done
    [ -z "$(xdotool search --name gaugeview 2>/dev/null)" ] || { fail "a bad command line opened a window"; return 1; }
    sleep 0.1
  done
  wait "$@"
}

arguments_group() {
  x_start || return 1
  printf '[Window00]\ngauge00=Tarnwix_Airspeed, 10\n' >"$scratch/malformed.cfg"
  cp "$source_dir/README.md" "$scratch/not_a_module.gau"
  # Each command line is tried at once beside the others: each mostly waits
  # on Wine's start, and none opens a window when all is well.
  local what arguments case=0 status
  local -a cases=() pids=()
  while IFS='|' read -r what arguments; do
    case=$((case + 1))
    cases+=("$what")
    # shellcheck disable=SC2086 # the arguments are words
    { "$run" "$viewer" $arguments 2>"$scratch/case$case.err" >/dev/null; echo $? >"$scratch/case$case.status"; } &
    pids+=($!)
  done <<EOF2
a missing file|--modules $dist_dir $scratch/nowhere/panel.cfg
a malformed panel.cfg|--modules $dist_dir $scratch/malformed.cfg
an unknown option|--frobnicate $dist_dir/example_panel/panel.cfg
--rate 0|--rate 0 $dist_dir/example_panel/panel.cfg
a window the panel lacks|--modules $dist_dir --window 7 $dist_dir/example_panel/panel.cfg
a file that is no module|--modules $dist_dir $scratch/not_a_module.gau
EOF2
  no_window_while "${pids[@]}" || return 1
  for ((case = 1; case <= ${#cases[@]}; case++)); do
    what=${cases[case - 1]}
    status=$(cat "$scratch/case$case.status")
    local output
    output=$(cat "$scratch/case$case.err")
    [ "$status" -ne 0 ] || fail "$what: exit status 0"
    [ "$(printf '%s\n' "$output" | grep -c .)" = 1 ] && [[ $output == gaugeview:* ]] ||
      fail "$what: not one line: '$output'"
    echo "ok: $what: $output (status $status)"
  done
}

case $group in
  panel) panel_group || fail "the panel checks stopped early" ;;
  faults) faults_group || fail "the fault checks stopped early" ;;
  scenario) scenario_group || fail "the scenario checks stopped early" ;;
  windows) windows_group || fail "the window list checks stopped early" ;;
  layout) layout_group || fail "the layout checks stopped early" ;;
  zoomed_layout) zoomed_layout_group || fail "the zoomed layout checks stopped early" ;;
  arguments) arguments_group || fail "the argument checks stopped early" ;;
  *) echo "unknown group $group"; exit 2 ;;
esac
finish
