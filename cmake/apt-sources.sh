# shellcheck shell=bash
# Reading the machine's apt sources, one-line (.list) and deb822 (.sources)
# alike; sourced by cmake/setup.sh and tests/fresh-root.sh.

# Where apt's configuration is; another folder only for a test.
apt_dir=${apt_dir:-/etc/apt}

# apt_source_files: the source files apt reads, one a line.
apt_source_files() {
  local file
  for file in "$apt_dir"/sources.list "$apt_dir"/sources.list.d/*.list "$apt_dir"/sources.list.d/*.sources; do
    [ -f "$file" ] && echo "$file"
  done
  return 0
}

# apt_suite_listed SUITE: whether an uncommented line of a source names SUITE.
apt_suite_listed() {
  local files
  mapfile -t files < <(apt_source_files)
  cat "${files[@]}" /dev/null | grep -vE '^[[:space:]]*#' | grep -qE "(^|[[:space:]])$1([[:space:]]|$)"
}

# apt_source_of SUITE: prints "URI KEYRING" of the first source that serves
# SUITE (KEYRING is empty when the source names none); fails when none does.
apt_source_of() {
  local suite=$1 files uri key
  mapfile -t files < <(apt_source_files)
  local list_files=() deb822_files=()
  for file in "${files[@]}"; do
    case "$file" in *.sources) deb822_files+=("$file") ;; *) list_files+=("$file") ;; esac
  done
  read -r uri key < <(cat "${list_files[@]}" /dev/null | awk -v suite="$suite" '
    $1 == "deb" { i = 2; key = ""
                  if ($2 ~ /^\[/) for (; i <= NF; i++) {
                    option = $i; gsub(/[][]/, "", option)
                    if (option ~ /^signed-by=/) key = substr(option, 11)
                    if ($i ~ /\]$/) { i++; break } }
                  if ($(i + 1) == suite) { print $i, key; exit } }') || true
  if [ -z "$uri" ]; then
    # A stanza ends at a blank line or at the end of its file.
    read -r uri key < <(awk -v suite="$suite" '
      function flush() { if (deb && found && uri != "" && !printed) { print uri, key; printed = 1 } deb = found = 0; uri = key = "" }
      FNR == 1 { flush() }
      /^[[:space:]]*$/ { flush(); next }
      /^Types:/ { deb = ($0 ~ /[[:space:]]deb([[:space:]]|$)/) }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite) found = 1 }
      /^Signed-By:/ { key = $2 }
      END { flush() }' "${deb822_files[@]}" /dev/null) || true
  fi
  [ -n "$uri" ] || return 1
  echo "$uri $key"
}
