#!/usr/bin/env bash
# Checks cmake/setup.sh's choice of path and its handler registration without
# touching the machine's own handlers: every case runs in a user namespace
# with a private, empty binfmt_misc (Linux 6.7 or later), on a copy of the
# setup, with the packages already installed. Run as root or as a user
# allowed user namespaces:
#   cmake/emulation/setup_test.sh [OLD_QEMU]
# OLD_QEMU, a qemu-i386 older than 8.1 (say, extracted from the release's own
# qemu-user-static package), adds the case of a handler pinned to an
# emulator that ignores MAP_FIXED_NOREPLACE. Prints each failed check; exits 1
# when any failed.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
old_qemu=${1:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/cmake"
cp -r "$here/../setup.sh" "$here/../apt-sources.sh" "$here" "$work/cmake/"
setup=$work/cmake/setup.sh
entry=/proc/sys/fs/binfmt_misc/tarnwix-i386
failures=0

check() {  # check DESCRIPTION COMMAND...
  if ! "${@:2}"; then
    echo "FAILED: $1"
    failures=$((failures + 1))
  fi
}

# in_namespace [--unmapped] SCRIPT: runs bash SCRIPT in a fresh namespace
# whose binfmt_misc is private and empty; with --unmapped as a user that is
# not root there and has no binfmt_misc.
in_namespace() {
  if [ "$1" = --unmapped ]; then
    unshare --user --mount --fork env -u TARNWIX_EMULATE_I386 setup="$setup" entry="$entry" bash -c "$2"
  else
    unshare --user --map-root-user --mount --fork env -u TARNWIX_EMULATE_I386 setup="$setup" entry="$entry" \
      old_qemu="$old_qemu" bash -c "mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || exit 99; $1"
  fi
}

# A kernel that runs 32-bit programs: nothing registered, nothing said.
output=$(in_namespace '"$setup" 2>&1; echo "status $?"; [ -e "$entry" ] && echo registered')
check "native: exits 0 and says nothing ($output)" [ "$output" = "status 0" ]

# A kernel that runs none: the handler is registered, the library built and
# the path named once; the next run is silent.
output=$(in_namespace '
  TARNWIX_I386_PROBE=false "$setup"; echo "status $?"
  grep -q "^flags: POF$" "$entry" && grep -q "^magic 7f454c4601010100000000000000000002000300$" "$entry" && echo "handler ok"
  TARNWIX_I386_PROBE=false "$setup"; echo "second status $?"
  "$setup"; echo "without the probe failing: status $?"
  /lib/ld-linux.so.2 --version >/dev/null && echo "i386 programs run"
  emulation=$(dirname "$setup")/../build/emulation
  "$emulation/faultcodes-check" >/dev/null || echo "emulated faults unmended"
  LD_PRELOAD="$emulation/\$LIB/libtarnwix-faultcodes.so" "$emulation/faultcodes-check" >/dev/null && echo "emulated faults mended"')
check "emulated: names its path once" grep -q "^setup: this machine runs 32-bit x86 programs under emulation (as the kernel runs none itself): registered" <<<"$output"
check "emulated: registers the i386 handler with F" grep -qx "handler ok" <<<"$output"
check "emulated: exits 0 and is silent on the next run" grep -qx "second status 0" <<<"$output"
check "emulated: keeps the path while its handler is registered" grep -qx "without the probe failing: status 0" <<<"$output"
check "emulated: i386 programs run through the handler" grep -qx "i386 programs run" <<<"$output"
check "emulated: without the library, fault handlers see no trap numbers" grep -qx "emulated faults unmended" <<<"$output"
check "emulated: with it, they see the kernel's" grep -qx "emulated faults mended" <<<"$output"
check "emulated: prints nothing but its line and the results" [ "$(grep -c . <<<"$output")" = 8 ]
check "emulated: built the library for both architectures" \
  test -f "$work/build/emulation/lib/i386-linux-gnu/libtarnwix-faultcodes.so" \
  -a -f "$work/build/emulation/lib/x86_64-linux-gnu/libtarnwix-faultcodes.so"

# A removed library (make clean) is rebuilt; the undo removes the handler.
rm -rf "$work/build"
output=$(in_namespace '
  TARNWIX_I386_PROBE=false "$setup"; echo "status $?"
  TARNWIX_I386_PROBE=false "$setup" --native; echo "undo status $?"; [ -e "$entry" ] || echo "handler gone"
  "$setup" --native; echo "second undo status $?"')
check "after a clean: rebuilds the library ($output)" grep -q "under emulation.*; built the fault-code library$" <<<"$output"
check "after a clean: the library is back" [ -f "$work/build/emulation/lib/i386-linux-gnu/libtarnwix-faultcodes.so" ]
check "undo: removes the handler" grep -qx "handler gone" <<<"$output"
check "undo: exits 0 twice" [ "$(grep -c "undo status 0" <<<"$output")" = 2 ]
check "undo: says what it did" grep -q "^setup: removed the i386 handler" <<<"$output"
check "undo: warns where the kernel runs no 32-bit programs" grep -q "Wine cannot run here until make registers" <<<"$output"

# Forced on a kernel that runs 32-bit programs.
output=$(in_namespace 'TARNWIX_EMULATE_I386=1 "$setup"; echo "status $?"')
check "forced: registers and names why" grep -q "(as TARNWIX_EMULATE_I386=1 asks): registered" <<<"$output"

# Without root and binfmt_misc: status 3 and what to do, nothing registered.
output=$(in_namespace --unmapped 'TARNWIX_I386_PROBE=false "$setup" 2>&1; echo "status $?"')
check "no root: exits 3 ($output)" grep -qx "status 3" <<<"$output"
check "no root: names the kernel option" grep -q "ia32_emulation=on" <<<"$output"

# An unknown option is refused.
output=$(in_namespace '"$setup" --nativ 2>&1; echo "status $?"')
check "unknown option: refused" grep -q "unknown option --nativ" <<<"$output"

# A handler that names another emulator or other flags than the package's,
# as the setup of an older tree registered them before the packaging moved
# the emulator, is made again.
# shellcheck source-path=SCRIPTDIR source=emulator.sh
. "$here/emulator.sh"
mapfile -t qemu_files < <(dpkg-query -L qemu-user)
read -r interpreter flags < <(i386_emulator "" "${qemu_files[@]}")
export interpreter flags
older=("$interpreter PF")
for other in /usr/libexec/qemu-binfmt/i386-binfmt-P /usr/bin/qemu-i386; do
  [ "$other" = "$interpreter" ] || [ ! -x "$other" ] || older+=("$other POF")
done
for registration in "${older[@]}"; do
  export registration
  output=$(in_namespace '
    printf "%s" ":tarnwix-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:${registration% *}:${registration#* }" \
      >/proc/sys/fs/binfmt_misc/register || exit 97
    "$setup"; echo "status $?"; sed -n "s/^interpreter //p; s/^flags: //p" "$entry"')
  check "older registration ($registration): made again ($output)" grep -q "registered $interpreter as the handler" <<<"$output"
  check "older registration ($registration): now the package's emulator" grep -qx "$interpreter" <<<"$output"
  check "older registration ($registration): now the package's flags" \
    [ "$(grep -x '[A-Z]*' <<<"$output" | grep -o . | sort | tr -d '\n')" = "$(grep -o . <<<"$flags" | sort | tr -d '\n')" ]
  check "older registration ($registration): exits 0" grep -qx "status 0" <<<"$output"
done

# A handler pinned to an emulator that ignores MAP_FIXED_NOREPLACE is made
# again (as after an upgrade of qemu: the path is the same, the pinned
# binary the old one).
if [ -n "$old_qemu" ]; then
  output=$(in_namespace '
    mount --bind "$old_qemu" "$interpreter" || exit 98
    printf "%s" ":tarnwix-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$interpreter:$flags" \
      >/proc/sys/fs/binfmt_misc/register
    umount --lazy "$interpreter"
    "$setup"; echo "status $?"')
  check "old emulator: registered again ($output)" grep -q "registered $interpreter" <<<"$output"
  check "old emulator: exits 0" grep -qx "status 0" <<<"$output"
else
  echo "skipped: a handler pinned to an old emulator (no OLD_QEMU given)"
fi

[ $failures = 0 ] && echo "setup: all checks passed" || echo "setup: $failures failed"
[ $failures = 0 ]
