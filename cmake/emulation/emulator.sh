# shellcheck shell=bash
# The choices of the emulated path, sourced by cmake/setup.sh: where qemu-user
# comes from, and which of its files is registered as the handler of i386
# programs with which flags. Both read only what they are given, so that a
# test can hand them any version and any folder tree.

# qemu-user ships static emulators from 9.1 on (the handler works inside a
# chroot or container too) and honours MAP_FIXED_NOREPLACE, which Wine
# reserves its address space with, from 8.1 on.
qemu_minimum_version=1:9.1

# qemu_suite RELEASE CANDIDATE: prints the suite to install qemu-user from,
# given the version the release itself offers (empty when it offers none):
# nothing for the release itself when that is new enough, else its backports.
qemu_suite() {
  local release=$1 candidate=$2
  if [ -n "$candidate" ] && dpkg --compare-versions "$candidate" ge "$qemu_minimum_version"; then
    return 0
  fi
  echo "$release-backports"
}

# The first bytes and the mask of i386 ELF executables and shared objects, as
# qemu's own entries match them.
i386_magic_hex=7f454c4601010100000000000000000002000300

# binfmt_bytes TEXT: the bytes an entry's \xHH escapes stand for, in hex.
binfmt_bytes() { printf '%b' "$1" | od -An -v -tx1 | tr -d ' \n'; }

# i386_emulator ROOT FILE...: of the files a qemu-user package installed
# (paths as the package lists them, found under ROOT), prints the interpreter
# of i386 programs and the flags to register it with, as "PATH FLAGS".
# The package's own binfmt.d entry for i386 decides where it lists one (it
# names the interpreter and the flags its emulator expects, wherever the
# packaging puts either); else the emulator itself, bin/qemu-i386, with P
# (the emulator learns from the kernel that argv[0] is kept), O and F.
# Fails, printing nothing, when neither is there.
i386_emulator() {
  local root=$1 file line interpreter flags
  shift
  local fields=()
  for file in "$@"; do
    case "$file" in */binfmt.d/*.conf) ;; *) continue ;; esac
    [ -f "$root$file" ] || continue
    while IFS= read -r line; do
      # :name:type:offset:magic:mask:interpreter:flags
      [[ $line == :* ]] || continue
      IFS=: read -r -a fields <<<"$line"
      [ "${fields[2]:-}" = M ] && [ "$(binfmt_bytes "${fields[4]:-}")" = "$i386_magic_hex" ] || continue
      interpreter=${fields[6]:-}
      flags=${fields[7]:-}
      # An entry naming a file the package no longer has is passed over.
      [ -n "$interpreter" ] && [ -f "$root$interpreter" ] && [ -x "$root$interpreter" ] || continue 2
      echo "$interpreter $flags"
      return 0
    done <"$root$file"
  done
  for file in "$@"; do
    case "$file" in */bin/qemu-i386) ;; *) continue ;; esac
    [ -f "$root$file" ] && [ -x "$root$file" ] || continue
    echo "$file POF"
    return 0
  done
  return 1
}
