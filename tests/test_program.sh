#!/usr/bin/env bash
# cmake/test-program drives a stand-in for a GoogleTest program (a script that
# prints what one prints) through CTest: every case is reported by its name
# with its own output; a crash ends the shared process only for its case,
# which then runs alone; a lost start is retried; a process whose exit status
# disagrees with its cases is not trusted; a repeated case really runs again.
set -uo pipefail
runner=$(cd "$(dirname "${BASH_SOURCE[0]}")/../cmake" && pwd)/test-program
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Patterns are extended regular expressions.
expect_in() { grep -qE -- "$2" <<<"$3" || fail "$1: no '$2' in:"$'\n'"$3"; }
expect_not_in() { ! grep -qE -- "$2" <<<"$3" || fail "$1: '$2' unexpected in:"$'\n'"$3"; }

# The stand-in: cases and what each does come from $work/cases ("name how"
# lines; how is pass, fail, skip, crash, crash_quietly (with status 0, as
# Wine sometimes ends a crashed program) or flaky: fails in a shared process,
# passes alone). Every start is counted; $work/lose holds how many starts are
# lost before any output; $work/bad_exit makes a run end with status 1.
cat >"$work/program" <<'EOF'
#!/usr/bin/env bash
work=$(dirname "$0")
echo start >>"$work/starts"
lose=$(cat "$work/lose" 2>/dev/null || echo 0)
if [ "$lose" -gt 0 ]; then echo $((lose - 1)) >"$work/lose"; exit 1; fi
printf 'Running main() from gtest_main.cc\r\n'
if [ "${1:-}" = --gtest_list_tests ]; then
  suite=""
  while read -r name how; do
    [ "${name%%.*}." = "$suite" ] || { suite="${name%%.*}."; printf '%s\r\n' "$suite"; }
    printf '  %s  # GetParam() = 1\r\n' "${name#*.}"
  done <"$work/cases"
  exit 0
fi
filter=${1#--gtest_filter=}
[ "$filter" = "${1:-}" ] && filter=""
alone=""
[ -n "$filter" ] && [ "${filter#-}" = "$filter" ] && alone=1
ran=0 failed=0
while read -r name how; do
  if [ -n "$filter" ]; then
    if [ -n "$alone" ]; then [ "$name" = "$filter" ] || continue
    else
      excluded=""
      IFS=: read -ra patterns <<<"${filter#-}"
      for pattern in "${patterns[@]}"; do [[ $name == $pattern ]] && excluded=1; done
      [ -n "$excluded" ] && continue
    fi
  fi
  ran=$((ran + 1))
  printf '[ RUN      ] %s\r\n' "$name"
  [ "$how" = flaky ] && [ -z "$alone" ] && how=fail
  case "$how" in
    pass) printf 'output of %s\r\n[       OK ] %s (0 ms)\r\n' "$name" "$name" ;;
    skip) printf '[  SKIPPED ] %s (0 ms)\r\n' "$name" ;;
    fail) printf 'where.cpp:1: Failure\r\nmessage of %s\r\n[  FAILED  ] %s, where GetParam() = 1 (0 ms)\r\n' "$name" "$name"
          failed=$((failed + 1)) ;;
    crash) printf 'half a line of %s' "$name"; exit 139 ;;
    crash_quietly) exit 0 ;;
    flaky) printf '[       OK ] %s (0 ms)\r\n' "$name" ;;
  esac
done <"$work/cases"
printf '[==========] %d tests from 1 test suite ran. (0 ms total)\r\n' "$ran"
[ -f "$work/bad_exit" ] && exit 1
[ $failed -eq 0 ]
EOF
chmod +x "$work/program"

# Lists the stand-in's cases into a CTest file and runs CTest on it as the
# build's suite is run; prints CTest's output and the number of starts.
suite() {
  local dir="$work/build"
  rm -rf "$dir" "$work/starts" && mkdir -p "$dir"
  "$runner" list "" "$work/program" "$dir/cases.cmake" "$dir/results" "${1:-}" || fail "listing"
  [ -n "${lose:-}" ] && echo "$lose" >"$work/lose"
  echo 'include(cases.cmake)' >"$dir/CTestTestfile.cmake"
  (cd "$dir" && ctest --output-on-failure --no-tests=error --repeat until-pass:2 -j2 2>&1)
  echo "starts: $(wc -l <"$work/starts")"
}

printf '%s\n' 'A.passes pass' 'A.fails fail' 'A.skips skip' 'A.crashes crash' 'B.after/1 pass' 'B.flaky flaky' \
  'B.quiet crash_quietly' >"$work/cases"
out=$(suite)
expect_in "listed names, without the parameter's comment" 'Test +#[0-9]+: B\.after/1 \.+ +Passed' "$out"
expect_in "a failing case by name" 'Test +#[0-9]+: A\.fails \.+\*\*\*Failed' "$out"
expect_in "with its own message" 'message of A\.fails' "$out"
expect_in "a skipped case" 'A\.skips \.+\*\*\*Skipped' "$out"
expect_in "a passing case" 'A\.passes \.+ +Passed' "$out"
expect_in "the crash, by name" 'A\.crashes \.+\*\*\*Failed' "$out"
expect_in "with what it wrote before" 'half a line of A\.crashes' "$out"
expect_in "a case failing only in the shared process passes when repeated" 'B\.flaky \.+ +Passed' "$out"
expect_in "the cases after the crash ran in the shared run" 'message of B\.flaky' "$out"
expect_in "a crash ending with status 0" 'B\.quiet \.+\*\*\*Failed' "$out"
expect_in "the counts" '3 tests failed out of 8' "$out"
# The listing, the shared run and its resumptions after the crashes; alone:
# A.fails and B.flaky once when repeated, A.crashes and B.quiet twice.
expect_in "starts" 'starts: 10' "$out"

# A verdict from the shared run is reported once, with that case's output alone.
"$runner" run "" "$work/program" "$work/build/results" >/dev/null
out=$("$runner" case "" "$work/program" "$work/build/results" A.passes)
[ "$out" = $'[ RUN      ] A.passes\noutput of A.passes\n[       OK ] A.passes (0 ms)' ] || fail "a case's own output: $out"

printf '%s\n' 'A.one pass' 'A.two pass' >"$work/cases"
out=$(lose=1 suite)
expect_in "a lost start is retried" '100% tests passed, 0 tests failed out of 3' "$out"
expect_in "once" 'starts: 3' "$out"  # the listing, the lost start, the run

out=$(lose=2 suite)
expect_in "lost twice, the cases run alone" '100% tests passed, 0 tests failed out of 3' "$out"
expect_in "each once" 'starts: 5' "$out"

touch "$work/bad_exit"
out=$(suite)
expect_in "a run ending badly is not trusted" '2 tests failed out of 3' "$out"
expect_in "its cases ran alone" 'starts: 6' "$out"  # listing, shared run, each case alone twice
rm "$work/bad_exit"

printf '%s\n' 'A.one pass' 'A.two pass' 'A.three pass' >"$work/cases"
out=$(suite 'A.t*-A.three')
expect_in "a case may run alone" '100% tests passed, 0 tests failed out of 4' "$out"
expect_in "the others shared" 'starts: 3' "$out"  # the listing, the shared run, A.two alone
expect_in "the shared run leaves out A.two alone" 'shared_run\]==\] .* \[==\[A\.two\]==\]\)$' \
  "$(grep '^add_test' "$work/build/cases.cmake")"

out=$(suite '*')
expect_in "cases all alone need no shared run" '100% tests passed, 0 tests failed out of 3' "$out"
expect_not_in "no shared run" 'shared_run' "$out"
expect_in "each alone" 'starts: 4' "$out"

[ $failures -eq 0 ] && echo "test-program: all checks passed"
exit $((failures > 0))
