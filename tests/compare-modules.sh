#!/usr/bin/env bash
# Compares what two sets of modules do, both run by this tree's build of the
# host and the renderer under Wine, so that only the modules differ: modules
# built by two toolchains (say, dist/ of a Debian 12 build and the dist/ that
# tests/fresh-root.sh trixie --save kept) must show the same records, values,
# texts and visibility frame after frame, and draw the same pictures.
#
#   tests/compare-modules.sh OTHER_DIST [DRAWS]
#
# Compared byte for byte: gaugehost's records and frames of each module, its
# values with 17 digits, for DRAWS (default 40) seeded draws of every token
# the gauges read, from ordinary, extreme and non-finite values, with clicks,
# the x87 unit set to double, extended or single precision in turn;
# every frame's picture and the log of every shipped scenario; the previews.
# Prints what differs; exits 1 when anything does. Not part of make test.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ $# -ge 1 ] && [ -d "$1" ] || { echo "usage: tests/compare-modules.sh OTHER_DIST [DRAWS]" >&2; exit 2; }
ours=$root/dist
theirs=$(cd "$1" && pwd)
draws=${2:-40}
[[ $draws =~ ^[0-9]+$ ]] || { echo "compare-modules: DRAWS is a count, not $draws" >&2; exit 2; }
host=$root/build/tools/gaugehost/gaugehost.exe
renderer=$root/build/tools/gaugerender/gaugerender.exe
[ -f "$host" ] && [ -f "$renderer" ] || make -C "$root" --no-print-directory >/dev/null
wine_run=$root/cmake/wine-run
work=$(mktemp -d)
trap '"$wine_run" --shutdown; rm -rf "$work"' EXIT
"$wine_run" --start

mapfile -t modules < <(cd "$ours" && ls -- *.gau)
[ ${#modules[@]} -gt 0 ] || { echo "compare-modules: no modules in $ours" >&2; exit 2; }
for module in "${modules[@]}"; do
  [ -f "$theirs/$module" ] || { echo "compare-modules: $theirs has no $module" >&2; exit 2; }
done

# The tokens the gauges read, and the values drawn for them: ordinary ones,
# the edges of the conversions (int32, float, five digits), and what no
# simulator should send but one might.
tokens=(60 61 63 64 74 75 76 108 109 115 116 117 118 119 120 275 322 556 614 769 832 848)
special=(0 -0 1 -1 0.5 2 29.92 83.333333333333333 4999.9999999999 5000 99999.5 -99999.5 1e-310 1e300 -1e300
  2147483647.5 2147483648 -2147483649 3.4028235677973366e38 3.402823669209385e38 inf -inf nan)
# draw SEED: the arguments of one gaugehost run.
draw() {
  awk -v seed="$1" -v tokens="${tokens[*]}" -v special="${special[*]}" 'BEGIN {
    srand(seed); n = split(tokens, token, " "); m = split(special, value, " ")
    for (i = 1; i <= n; i++) {
      r = rand()
      if (r < 0.35) v = value[int(rand() * m) + 1]
      else if (r < 0.55) v = int(rand() * 4)
      else if (r < 0.8) v = sprintf("%.17g", (rand() - 0.3) * 10 ^ int(rand() * 7))
      else v = sprintf("%.17g", (rand() - 0.5) * 2 ^ (int(rand() * 80) - 20))
      printf "--set %s=%s ", token[i], v
    }
    clicks = int(rand() * 3)
    for (i = 0; i < clicks; i++) printf "--click %d,%d ", int(rand() * 200), int(rand() * 120)
    printf "--frames %d", 1 + int(rand() * 3)
    # The precision the panel leaves the x87 unit in: double, extended or single.
    split("53 64 24", precision, " ")
    printf " --x87-precision %s\n", precision[seed % 3 + 1]
  }'
}

different=0
report() {  # report WHAT SAME TOTAL
  echo "compare-modules: $1: $2 of $3 alike"
  [ "$2" = "$3" ] || different=1
}

# Records and frames.
same=0 total=0
for module in "${modules[@]}"; do
  for seed in $(seq 1 "$draws"); do
    read -r -a arguments < <(draw "$seed")
    total=$((total + 1))
    "$wine_run" "$host" "$ours/$module" --digits 17 "${arguments[@]}" >"$work/ours.txt" 2>&1 || true
    "$wine_run" "$host" "$theirs/$module" --digits 17 "${arguments[@]}" >"$work/theirs.txt" 2>&1 || true
    if cmp -s "$work/ours.txt" "$work/theirs.txt"; then
      same=$((same + 1))
    else
      echo "  ${module%.gau}, draw $seed (${arguments[*]}):"
      diff "$work/ours.txt" "$work/theirs.txt" | head -6 | sed 's/^/    /'  || true
    fi
  done
done
report "records and frames of $draws draws per module" $same $total

# Pictures: every frame of every shipped scenario, with its log, and the previews.
# compare_folders WHAT: ours/ against theirs/ under the work folder, file by file.
compare_folders() {
  local file same=0 total=0
  while IFS= read -r file; do
    total=$((total + 1))
    if cmp -s "$work/ours/$file" "$work/theirs/$file"; then
      same=$((same + 1))
    else
      echo "  differs: $file"
    fi
  done < <({ (cd "$work/ours" && find . -type f) && (cd "$work/theirs" && find . -type f); } | sort -u)
  report "$1" $same $total
}
for side in ours theirs; do
  folder=$ours
  [ $side = ours ] || folder=$theirs
  mkdir -p "$work/$side/scenarios" "$work/$side/previews"
  (cd "$root" && "$wine_run" "$renderer" --modules "$folder" --out "$work/$side/scenarios" --every-frame --quiet \
    scenarios/*.txt) >/dev/null 2>&1 || true
  "$wine_run" "$renderer" --modules "$folder" --preview --out "$work/$side/previews" --quiet >/dev/null 2>&1 || true
done
[ -n "$(find "$work/ours" -name '*.png' | head -1)" ] || { echo "compare-modules: the renderer drew nothing" >&2; exit 1; }
compare_folders "pictures and logs of the scenarios and previews"

[ $different = 0 ] && echo "compare-modules: the two sets of modules behave alike" ||
  echo "compare-modules: the two sets of modules differ"
[ $different = 0 ]
