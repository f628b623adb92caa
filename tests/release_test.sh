#!/usr/bin/env bash
# The release as a user gets it: writes both zips into a scratch folder with
# the release script (arguments: its -D settings), then checks them as they
# unpack: the entries, the modules against dist/, the guide's and the sample
# panel.cfg's gauge lines against the gauges' real sizes, the Windows tools
# run under Wine from an otherwise empty folder and importing only system
# DLLs, and a release whose inputs are missing failing without leaving a zip.
# Two whole builds of one commit are compared by `make reproducible`.
#   release_test.sh SOURCE_DIR DIST_DIR -DVERSION=... -D...
set -uo pipefail
source_dir=$1 dist_dir=$2
shift 2
release_args=("$@")
version=$(printf '%s\n' "${release_args[@]}" | sed -n 's/^-DVERSION=//p')
# The Windows programs the release ships, by file name.
mapfile -t programs < <(printf '%s\n' "${release_args[@]}" | sed -n 's/^-DPROGRAMS=//p' | tr ',' '\n' | sed 's|.*/||')
# The system DLLs each file of the tools' zip may import: a command-line
# program only what every Windows has at its core; a program with a window
# also the window, drawing and common-dialog DLLs every Windows has. A file
# of the zip without an entry here fails.
console_dlls="KERNEL32.dll msvcrt.dll"
window_dlls="$console_dlls USER32.dll GDI32.dll COMCTL32.dll COMDLG32.dll SHELL32.dll ADVAPI32.dll"
declare -A allowed_imports=(
  [gaugehost.exe]=$console_dlls
  [gaugerender.exe]=$console_dlls
  [gaugecheck.exe]=$console_dlls
  [gaugebench.exe]=$console_dlls
  [GaugeSound.dll]=$console_dlls
  [gaugeview.exe]=$window_dlls
)
run="$source_dir/cmake/wine-run"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

release() {  # release OUT WORK [extra -D...]
  local out=$1 work=$2
  shift 2
  cmake "${release_args[@]}" -DOUT_DIR="$out" -DWORK_DIR="$work" "$@" -P "$source_dir/cmake/release.cmake" >"$work.log" 2>&1
}

gauges_zip=Tarnwix-Gauges-$version.zip
tools_zip=Tarnwix-GaugeTools-$version-win32.zip
modules=(Tarnwix_Airspeed Tarnwix_Altimeter Tarnwix_Background_S Tarnwix_Utils Tarnwix_UtilsVC)

release "$scratch/first" "$scratch/work1" || { cat "$scratch/work1.log"; echo "FAIL: the release script failed"; exit 1; }
out=$scratch/first
for file in "$gauges_zip" "$tools_zip" SHA256SUMS; do [ -f "$out/$file" ] || fail "no $file"; done
(cd "$out" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the zips"

# ---- Entries: exactly these, sorted, each with the same time.
expected_gauges=$(for m in "${modules[@]}"; do echo "Gauges/$m.gau"; done
  for m in "${modules[@]}"; do echo "Previews/$m.png"; done
  echo Tarnwix-Gauges-Guide.txt; echo panel.cfg)
expected_tools=$(printf '%s\n' GaugeSound.dll Tarnwix-GaugeTools.txt "${programs[@]}" \
  scenarios/example_panel/background.bmp scenarios/example_panel/panel.cfg
  ls "$source_dir/scenarios" | sed 's|^|scenarios/|' | LC_ALL=C sort)
expected_tools=$(LC_ALL=C sort <<<"$expected_tools")
for pair in "$gauges_zip:expected_gauges" "$tools_zip:expected_tools"; do
  zip=${pair%%:*} list=${pair#*:}
  entries=$(zipinfo -1 "$out/$zip")
  [ "$entries" = "${!list}" ] || fail "$zip holds, in this order:"$'\n'"$entries"$'\n'"not:"$'\n'"${!list}"
  [ "$entries" = "$(LC_ALL=C sort <<<"$entries")" ] || fail "$zip: entries not sorted"
  [ "$(zipinfo -T "$out/$zip" | awk '$1 ~ /^-/ {print $7}' | sort -u | wc -l)" = 1 ] || fail "$zip: entries of different times"
done

# ---- Unpacked as a user would, in an empty folder.
user=$scratch/user
mkdir -p "$user"
(cd "$user" && unzip -q "$out/$tools_zip" && unzip -q "$out/$gauges_zip") || fail "the zips do not unpack"
for m in "${modules[@]}"; do
  cmp -s "$user/Gauges/$m.gau" "$dist_dir/$m.gau" || fail "Gauges/$m.gau differs from dist/$m.gau"
done

# A PNG's width and height from its header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'; }

# Every gaugeNN= line of a text names a module of the zip, its gauge by the
# module's name, and the size of its powered picture.
check_gauge_lines() {  # FILE WHAT
  local line module gauge w h count=0
  while IFS= read -r line; do
    [[ $line =~ gauge[0-9N]{2}=([A-Za-z0-9_]+)!([A-Za-z0-9_]+),\ *([-0-9XY]+),\ *([-0-9XY]+),\ *([0-9]+),\ *([0-9]+) ]] || continue
    module=${BASH_REMATCH[1]} gauge=${BASH_REMATCH[2]} w=${BASH_REMATCH[5]} h=${BASH_REMATCH[6]}
    count=$((count + 1))
    [ -f "$user/Gauges/$module.gau" ] || { fail "$2 names $module, which is not in Gauges/"; continue; }
    [ "$gauge" = "$module" ] || fail "$2: gauge $gauge in $module"
    [ "$(png_size "$user/Previews/$module.png")" = "$w $h" ] ||
      fail "$2: $module at ${w}x$h, its picture is $(png_size "$user/Previews/$module.png")"
  done < <(tr -d '\r' <"$1")
  echo "$count"
}

# ---- Every shipped text file: Windows line ends on every line, the last
# one too, and no CR but before an LF.
while IFS= read -r text; do
  lines=$(tr -cd '\n' <"$text" | wc -c)
  crlf=$(grep -c $'\r$' "$text")
  crs=$(tr -cd '\r' <"$text" | wc -c)
  if ! { [ "$lines" -gt 0 ] && [ "$crlf" = "$lines" ] && [ "$crs" = "$lines" ] &&
    [ "$(tail -c1 "$text" | od -An -tx1 | tr -d ' ')" = 0a ]; }; then
    fail "${text#"$user"/}: $((lines - crlf)) of its $lines lines end without CR LF, or it does not end in one"
  fi
done < <(find "$user" -type f \( -name '*.txt' -o -name '*.cfg' \))
shipped_texts=$(find "$source_dir/scenarios" -maxdepth 1 -name '*.txt' | wc -l)
[ "$(find "$user" -type f \( -name '*.txt' -o -name '*.cfg' \) | wc -l)" -eq $((shipped_texts + 4)) ] ||
  fail "not every shipped text file was checked for CR LF"

# ---- The guide: the version, a line per gauge.
guide=$user/Tarnwix-Gauges-Guide.txt
grep -q "Tarnwix panel gauges $version" "$guide" || fail "the guide does not name version $version"
awk 'length > 78 {exit 1}' <(tr -d '\r' <"$guide") || fail "the guide has lines over 78 columns"
guide_text=$(tr -d '\r' <"$guide" | tr '\n' ' ' | tr -s ' ')
for said in "the line of Tarnwix_UtilsVC to a [VcockpitNN] section" \
  "on a line after Tarnwix_Background_S in the same section" "a GaugeSound.dll put there is not found" \
  "the SET legend lights at the next update and stays lit for 10 updates" \
  "once power returns, the SET legend is lit from the first powered update for 10 updates" \
  "a second click returns it to 0" "by switching variable 848"; do
  [[ $guide_text == *"$said"* ]] || fail "the guide does not say: $said"
done
lines=$(check_gauge_lines "$guide" "the guide")
[ "$(tail -n1 <<<"$lines")" -ge 10 ] || fail "the guide has $(tail -n1 <<<"$lines") gauge lines, not two per gauge"
grep '^FAIL' <<<"$lines" && failures=$((failures + 1))
for m in "${modules[@]}"; do
  grep -q "^ *gaugeNN=$m!$m, X, Y," <(tr -d '\r' <"$guide") || fail "the guide has no panel.cfg line for $m"
done

# ---- The sample panel.cfg: sections, key=value lines, gauges numbered from 00.
panel=$user/panel.cfg
section="" expected_number=0 windows=() titled=()
declare -A in_section=()
while IFS= read -r line; do
  [[ -z $line || $line == //* ]] && continue
  if [[ $line =~ ^\[([A-Za-z0-9 ]+)\]$ ]]; then
    section=${BASH_REMATCH[1]} expected_number=0
    windows+=("$section")
  elif [[ $line =~ ^([A-Za-z_0-9]+)=(.+)$ ]]; then
    key=${BASH_REMATCH[1]} value=${BASH_REMATCH[2]}
    [ -n "$section" ] || fail "panel.cfg: '$line' outside a section"
    if [ "$section" = "Window Titles" ]; then
      titled+=("$key")
    elif [[ $key == gauge* ]]; then
      [[ $key == $(printf 'gauge%02d' "$expected_number") ]] || fail "panel.cfg [$section]: $key out of order"
      expected_number=$((expected_number + 1))
      [[ $value =~ ^([A-Za-z0-9_]+)!([A-Za-z0-9_]+),\ *[0-9]+,\ *[0-9]+,\ *[0-9]+,\ *[0-9]+$ ]] ||
        fail "panel.cfg: malformed gauge line '$line'"
      in_section[$section]+="${BASH_REMATCH[1]} "
    fi
  else
    fail "panel.cfg: neither a section, a key=value line nor a comment: '$line'"
  fi
done < <(tr -d '\r' <"$panel")
for title in "${titled[@]}"; do
  printf '%s\n' "${windows[@]}" | grep -qx "$title" || fail "panel.cfg: [Window Titles] names $title, which has no section"
done
[ "${in_section[Window00]:-}" = "Tarnwix_Airspeed Tarnwix_Background_S Tarnwix_Altimeter Tarnwix_Utils " ] ||
  fail "panel.cfg [Window00] holds '${in_section[Window00]:-}', not the four 2D gauges"
[ "${in_section[Vcockpit01]:-}" = "Tarnwix_UtilsVC " ] || fail "panel.cfg [Vcockpit01] holds '${in_section[Vcockpit01]:-}'"
lines=$(check_gauge_lines "$panel" "panel.cfg")
grep '^FAIL' <<<"$lines" && failures=$((failures + 1))

# ---- The Windows programs, from the unpacked folder alone.
for program in "$user"/*.exe "$user"/*.dll; do
  name=$(basename "$program")
  allowed=${allowed_imports[$name]:-}
  [ -n "$allowed" ] || fail "$name: no list of the DLLs it may import"
  # Windows finds a DLL by its name in any case (COMCTL32.DLL, comctl32.dll).
  for dll in $(objdump -p "$program" | awk '/DLL Name:/ {print $3}'); do
    [[ " ${allowed^^} " == *" ${dll^^} "* ]] || fail "$name imports $dll, which is not among $allowed"
  done
  strings -a "$program" | grep -q "$source_dir" && fail "$name carries the build's path"
done
# The tools' text names every shipped program and every scenario.
tools_text=$(tr -d '\r' <"$user/Tarnwix-GaugeTools.txt" | tr '\n' ' ')
for program in "${programs[@]}"; do
  grep -q "^${program%.exe}: " <(tr -d '\r' <"$user/Tarnwix-GaugeTools.txt") || fail "the tools' text has no paragraph on $program"
done
for scenario in "$source_dir"/scenarios/*.txt; do
  [[ $tools_text == *"$(basename "$scenario" .txt)"* ]] || fail "the tools' text does not name $(basename "$scenario")"
done
awk 'length > 78 {exit 1}' <(tr -d '\r' <"$user/Tarnwix-GaugeTools.txt") ||
  fail "the tools' text has lines over 78 columns"
# It tells what each program needs beside it, how to open a Command Prompt
# there, whose line continuation ^ is, that the programs are not signed and
# not to run them from inside the zip.
tools_words=$(tr -d '\r' <"$user/Tarnwix-GaugeTools.txt" | tr '\n' ' ' | tr -s ' ')
for said in "What each program needs beside it:" "type cmd and press Enter" "the Command Prompt's line continuation" \
  "In PowerShell a line goes on after a backtick" ".\\gaugehost" "The programs are not signed." "tick \"Unblock\"" \
  "not from inside the zip"; do
  [[ $tools_words == *"$said"* ]] || fail "the tools' text does not say: $said"
done
[[ $tools_words == *"They need no other files"* ]] && fail "the tools' text says the programs need no other files"
# Each text's title is underlined to its own length.
for text in "$user/Tarnwix-GaugeTools.txt" "$guide"; do
  awk 'NR == 1 { title = length } NR == 2 { exit !(length == title && /^=+$/) }' <(tr -d '\r' <"$text") ||
    fail "$(basename "$text"): the title's underline is not as long as the title"
done
cd "$user" || exit 1
run_log=$scratch/run.log
expect_run() {  # WHAT COMMAND...: the command succeeds; its output in $run_log
  local what=$1
  shift
  "$@" >"$run_log" 2>&1 || { fail "$what failed:"; tail -5 "$run_log"; }
}
# The viewer, on an X server of its own: without a file it opens the example
# panel beside it, and gives the gauges the GaugeSound.dll beside it.
viewer_checks() {
  local run_log=$scratch/viewer_run.log
  expect_run "gaugeview --bench on the example panel" \
    xvfb-run -a -s "-screen 0 1600x1200x24 -nolisten tcp" "$run" ./gaugeview.exe --bench 3
  grep -q '^| panel.cfg, Window00 Main Panel, 3 frames |' "$run_log" ||
    fail "gaugeview did not open the example panel's main window from scenarios\\example_panel"
  grep -q '^| GaugeSound loaded by the panel |' "$run_log" || fail "gaugeview timed no frame with GaugeSound"
  # The layout editor's drag, as bin/gaugeview makes it, from the zip's viewer;
  # it edits in memory, and the panel.cfg keeps its bytes.
  cp scenarios/example_panel/panel.cfg "$scratch/panel_before.cfg"
  expect_run "gaugeview --bench-drag on the example panel" \
    xvfb-run -a -s "-screen 0 1600x1200x24 -nolisten tcp" "$run" ./gaugeview.exe --bench-drag 3
  grep -q '^| a step |' "$run_log" ||
    fail "the zip's gaugeview did not drag the airspeed display of scenarios\\example_panel"
  cmp -s "$scratch/panel_before.cfg" scenarios/example_panel/panel.cfg || fail "a drag in memory changed the panel.cfg"
}
# The other programs' runs, each group beside the others with a log of its own.
host_checks() {
  local run_log=$scratch/host_run.log
  expect_run "gaugehost" "$run" ./gaugehost.exe 'Gauges\Tarnwix_Utils.gau' --set 769=1 --click 56,76 --frames 2
  grep -q 'Click at (56, 76): area' "$run_log" || fail "gaugehost did not reach the brake-help area"
  expect_run "gaugehost with the sound library" "$run" ./gaugehost.exe 'Gauges\Tarnwix_Airspeed.gau' --sound GaugeSound.dll
}
preview_checks() {
  local run_log=$scratch/preview_run.log
  # (Wine's paths ignore case: another name than Previews.)
  expect_run "gaugerender --preview" "$run" ./gaugerender.exe --preview --out drawn
  for m in "${modules[@]}"; do
    cmp -s "drawn/$m.png" "Previews/$m.png" || fail "gaugerender's preview of $m differs from the zip's"
  done
}
# Every shipped scenario plays from the unpacked folder, the one on the
# example panel included.
scenario_checks() {
  local run_log=$scratch/scenario_run.log shipped=() scenario name
  for scenario in scenarios/*.txt; do shipped+=("scenarios\\$(basename "$scenario")"); done
  expect_run "gaugerender on every shipped scenario" "$run" ./gaugerender.exe --quiet --out flight "${shipped[@]}"
  for scenario in scenarios/*.txt; do
    name=$(basename "$scenario" .txt)
    [ -s "flight/$name.png" ] && [ -s "flight/$name.log" ] || fail "the scenario $name wrote no picture or log"
  done
  grep -q 'not one of our modules' "$run_log" flight/panel_takeoff.log ||
    fail "panel_takeoff did not play on the example panel (its other maker's gauge is not listed)"
}
panel_checks() {
  local run_log=$scratch/panel_run.log
  expect_run "gaugerender --panel on the example panel" "$run" ./gaugerender.exe --panel 'scenarios\example_panel\panel.cfg' --out panel
  [ -s panel/Window00_Main_Panel.png ] || fail "the example panel's main window was not drawn"
  expect_run "gaugecheck" "$run" ./gaugecheck.exe 'Gauges\Tarnwix_UtilsVC.gau' --level 1 --sound GaugeSound.dll
  expect_run "gaugebench" "$run" ./gaugebench.exe --sound GaugeSound.dll 'Gauges\Tarnwix_Background_S.gau'
  grep -q '^| Tarnwix_Background_S |' "$run_log" || fail "gaugebench printed no row"
}
# Every program and the guide name the same version and toolchain.
version_checks() {
  local toolchain program said
  toolchain=$("$run" ./gaugehost.exe --version 2>&1 | tr -d '\r' | sed -n 's/^built on //p')
  [[ $toolchain == Debian* ]] || fail "gaugehost --version names no Debian toolchain: '$toolchain'"
  for program in "${programs[@]%.exe}"; do
    said=$("$run" ./$program.exe --version 2>&1 | tr -d '\r')
    [ "$said" = "$program $version (Tarnwix panel gauges)"$'\n'"built on $toolchain" ] ||
      fail "$program --version says '$said'"
  done
  tr -d '\r' <"$guide" | tr '\n' ' ' | tr -s ' ' | grep -qF "Built on $toolchain." ||
    fail "the guide does not name the toolchain $toolchain"
}
# The viewer's runs and the programs' versions go one after the other: every
# run of the viewer, --version too, starts Wine's desktop on its own display
# if none is there, and a window whose desktop another run started on
# another display (or on none) is not made.
viewer_then_versions() {
  [[ " ${programs[*]} " == *" gaugeview.exe "* ]] && viewer_checks
  version_checks
}
checks=(viewer_then_versions host_checks preview_checks scenario_checks panel_checks)
check_pids=()
for check in "${checks[@]}"; do
  "$check" >"$scratch/$check.out" 2>&1 &
  check_pids+=($!)
done
# They all end before the Gauges folder goes; their failures are counted from what they printed.
wait "${check_pids[@]}"
for check in "${checks[@]}"; do
  cat "$scratch/$check.out"
  failures=$((failures + $(grep -c '^FAIL' "$scratch/$check.out")))
done
# Without a Gauges folder and without --modules the renderer looks beside
# itself, finds nothing and says so.
mv Gauges elsewhere
"$run" ./gaugerender.exe --preview --out nothing >"$run_log" 2>&1 && fail "gaugerender found modules where there are none"
grep -q 'no modules in' "$run_log" || fail "gaugerender did not say it found no modules"
expect_run "gaugerender --modules" "$run" ./gaugerender.exe --modules elsewhere --preview --out named
[ -s named/Tarnwix_Utils.png ] || fail "gaugerender --modules drew no preview"
cd "$scratch" || exit 1

# ---- Missing inputs: the release fails and leaves no zip, not even an old one.
cp -r "$out" "$scratch/broken"
release "$scratch/broken" "$scratch/work3" -DMODULES=Tarnwix_Airspeed,Tarnwix_Missing &&
  fail "a release without one of its modules succeeded"
grep -q 'Tarnwix_Missing.gau is missing' "$scratch/work3.log" || fail "the failed release did not name the missing module"
[ -z "$(ls -A "$scratch/broken")" ] || fail "a failed release left $(ls "$scratch/broken")"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "release: both zips checked"
