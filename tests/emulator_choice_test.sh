#!/usr/bin/env bash
# The emulated path's choices (cmake/emulation/emulator.sh): which suite
# qemu-user is installed from, and which emulator and flags are registered
# for i386 programs, on folder trees laid out as qemu-user's packages lay
# them out. Needs no root and touches no handler.
#   tests/emulator_choice_test.sh [SOURCE_DIR]
set -uo pipefail
root=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)
# shellcheck source-path=SCRIPTDIR source=../cmake/emulation/emulator.sh
. "$root/cmake/emulation/emulator.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect() {  # expect DESCRIPTION EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAILED: $1: expected '$2', got '$3'"
    failures=$((failures + 1))
  fi
}

# The suite: the release's own qemu from 9.1 on, its backports before.
expect "Debian 12's own qemu 7.2 is too old" bookworm-backports "$(qemu_suite bookworm 1:7.2+dfsg-7+deb12u16)"
expect "Debian 13's own qemu 10.0 serves" "" "$(qemu_suite trixie 1:10.0.2+ds-2+deb13u1)"
expect "9.1 itself serves" "" "$(qemu_suite forky 1:9.1.0+ds-1)"
expect "9.0 does not" trixie-backports "$(qemu_suite trixie 1:9.0.2+ds-1)"
expect "a version without the epoch compares as epoch 0" trixie-backports "$(qemu_suite trixie 10.0.2+ds-2)"
expect "a release without qemu-user takes its backports" bookworm-backports "$(qemu_suite bookworm "")"

# The mirror backports are added from: the one that serves the release, in
# either format, whatever files come before or after it.
. "$root/cmake/apt-sources.sh"
apt_dir=$work/apt
mkdir -p "$apt_dir/sources.list.d"
printf '%s\n' "Types: deb" "URIs: http://mirror.invalid/debian" "Suites: trixie trixie-updates" "Components: main" \
  "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" "" "Types: deb" "URIs: http://mirror.invalid/debian-security" \
  "Suites: trixie-security" "Components: main" >"$apt_dir/sources.list.d/debian.sources"
printf '%s\n' "Types: deb" "URIs: http://other.invalid/debian" "Suites: trixie-backports" "Components: main" \
  >"$apt_dir/sources.list.d/later.sources"
expect "deb822: the release's mirror and keyring" "http://mirror.invalid/debian /usr/share/keyrings/debian-archive-keyring.gpg" \
  "$(apt_source_of trixie)"
expect "deb822: a stanza ends with its file" "http://mirror.invalid/debian-security " "$(apt_source_of trixie-security)"
expect "deb822: a suite listed" "listed" "$(apt_suite_listed trixie-backports && echo listed)"
printf '%s\n' "# deb http://commented.invalid/debian bookworm main" \
  "deb [arch=amd64 signed-by=/etc/apt/keyrings/debian.gpg] http://list.invalid/debian bookworm main" >"$apt_dir/sources.list"
expect "one-line: options and comments" "http://list.invalid/debian /etc/apt/keyrings/debian.gpg" "$(apt_source_of bookworm)"
expect "no source for the suite: fails" "status 1" "$(apt_source_of bookworm-backports; echo "status $?")"
expect "a suite not listed" "" "$(apt_suite_listed bookworm-backports && echo listed)"

# tree NAME FILE[=CONTENT|->TARGET]...: a folder tree with the files a
# package lists; a file is an executable, a .conf holds CONTENT, a link
# points to TARGET. Prints the tree's folder; the listing goes to NAME.files.
tree() {
  local name=$1 item file
  shift
  mkdir -p "$work/$name"
  : >"$work/$name.files"
  for item in "$@"; do
    case "$item" in
      *'->'*)
        file=${item%%->*}
        mkdir -p "$work/$name$(dirname "$file")"
        ln -s "${item#*->}" "$work/$name$file"
        ;;
      *=*)
        file=${item%%=*}
        mkdir -p "$work/$name$(dirname "$file")"
        printf '%s\n' "${item#*=}" >"$work/$name$file"
        ;;
      *)
        file=$item
        mkdir -p "$work/$name$(dirname "$file")"
        printf '\x7fELF' >"$work/$name$file"
        chmod +x "$work/$name$file"
        ;;
    esac
    echo "$file" >>"$work/$name.files"
  done
}
# chosen NAME [EXTRA_LISTED...]: what i386_emulator prints for the tree, and
# its status.
chosen() {
  local name=$1 files
  shift
  mapfile -t files <"$work/$name.files"
  i386_emulator "$work/$name" "${files[@]}" "$@"
  echo "status $?"
}
i386=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
i386_spelt=':qemu-i386:M::\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
x86_64=':qemu-x86_64:M::\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x3e\x00:\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# qemu-user 10.0 from Debian 12's backports: the wrapper name qemu reads P from.
tree backports-10.0 /usr/bin/qemu-i386 /usr/bin/qemu-x86_64 \
  "/usr/libexec/qemu-binfmt/i386-binfmt-P->../../bin/qemu-i386" \
  "/usr/libexec/qemu-binfmt/x86_64-binfmt-P->../../bin/qemu-x86_64" \
  "/usr/share/qemu/binfmt.d/qemu-aarch64.conf=:qemu-aarch64:M::\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/libexec/qemu-binfmt/aarch64-binfmt-P:POF" \
  "/usr/share/qemu/binfmt.d/qemu-i386.conf=$i386:/usr/libexec/qemu-binfmt/i386-binfmt-P:POF" \
  "/usr/share/qemu/binfmt.d/qemu-x86_64.conf=$x86_64:/usr/libexec/qemu-binfmt/x86_64-binfmt-P:POF"
expect "10.0: its entry's wrapper and flags" "/usr/libexec/qemu-binfmt/i386-binfmt-P POF
status 0" "$(chosen backports-10.0)"

# qemu-user 11.1: no wrappers; the entry names the emulator itself, OPF.
tree qemu-11.1 /usr/bin/qemu-i386 /usr/bin/qemu-x86_64 \
  "/usr/share/qemu/binfmt.d/qemu-x86_64.conf=$x86_64:/usr/bin/qemu-x86_64:OPF" \
  "/usr/share/qemu/binfmt.d/qemu-i386.conf=# i386 programs
$i386_spelt:/usr/bin/qemu-i386:OPF"
expect "11.1: its entry's emulator and flags" "/usr/bin/qemu-i386 OPF
status 0" "$(chosen qemu-11.1)"
expect "11.1: folders and files the package lists but the tree lacks are passed over" "/usr/bin/qemu-i386 OPF
status 0" "$(chosen qemu-11.1 /usr/share/qemu/binfmt.d /usr/lib/binfmt.d/qemu-i386.conf /usr/libexec/qemu-binfmt/i386-binfmt-P)"

# Packaging that moves both again: the entry is followed wherever it is.
tree moved /usr/libexec/qemu/qemu-i386 "/usr/lib/binfmt.d/qemu-i386.conf=$i386:/usr/libexec/qemu/qemu-i386:PF"
expect "moved: the entry is followed" "/usr/libexec/qemu/qemu-i386 PF
status 0" "$(chosen moved)"

# No entry at all: the static emulator, with flags that keep argv[0].
tree bare /usr/bin/qemu-i386 /usr/bin/qemu-x86_64
expect "no entry: the emulator itself" "/usr/bin/qemu-i386 POF
status 0" "$(chosen bare)"

# An entry whose emulator is gone (a stale file of an older package).
tree stale /usr/bin/qemu-i386 "/usr/share/qemu/binfmt.d/qemu-i386.conf=$i386:/usr/libexec/qemu-binfmt/i386-binfmt-P:POF"
expect "stale entry: the emulator itself" "/usr/bin/qemu-i386 POF
status 0" "$(chosen stale)"

# An emulator that is not executable, and a package without an i386 emulator.
tree unusable "/usr/bin/qemu-i386=not a program" /usr/bin/qemu-x86_64 \
  "/usr/share/qemu/binfmt.d/qemu-x86_64.conf=$x86_64:/usr/bin/qemu-x86_64:OPF"
expect "neither: fails and prints nothing" "status 1" "$(chosen unusable)"
expect "nothing listed: fails" "status 1" "$(i386_emulator "$work/unusable"; echo "status $?")"

[ $failures = 0 ] && echo "emulator choice: all checks passed" || echo "emulator choice: $failures failed"
[ $failures = 0 ]
