#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine: the i386
# architecture, mingw-w64 for 32-bit Windows, the native compiler, CMake,
# GoogleTest's sources, the stb headers, the fonts, and Wine with its 32-bit
# half. Quiet and quick when everything is already there.
#
# Wine's 32-bit half needs a kernel that runs 32-bit x86 programs. Where the
# kernel does not (booted without ia32 emulation), they run under qemu's
# user-mode emulation: qemu from the release itself, or from its backports
# where the release's is too old (older ones make every Wine process spend
# about a minute before it starts), registered with binfmt_misc as the
# handler of i386 programs as the package's own entry for them says, Wine's
# native 64-bit half for the wineserver, and a small preloaded library that
# gives Wine's fault handlers the trap numbers the kernel would have
# (cmake/emulation/).
#
#   setup.sh             set up what is missing
#   setup.sh --native    remove this project's i386 handler (undo the emulated path)
#   setup.sh --packages PACKAGE...
#                        install only these when missing (the tools of an
#                        optional target, such as make fuzz's clang)
#   TARNWIX_EMULATE_I386=1 setup.sh
#                        take the emulated path even where the kernel runs
#                        32-bit programs itself
#
# Exit status: 0 when everything is ready and Wine runs; 3 when the build
# tools are ready but Wine cannot run here (the message says why and what to
# do); anything else when the build tools could not be installed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)

build_tools=(
  cmake make g++
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  googletest libstb-dev
  fonts-dejavu-core fonts-dseg
  zip unzip
  xvfb xauth xdotool x11-apps imagemagick  # the viewer's tests and bench: an X server (xvfb-run needs xauth), X input, screen grabs, pictures compared
  libc6:i386  # the i386 loader: running it tells whether the kernel runs 32-bit programs
)
wine_packages=(wine wine32:i386)
qemu_package=qemu-user
emulation_packages=(wine64 gcc-multilib)
# shellcheck source-path=SCRIPTDIR source=emulation/emulator.sh
. "$here/emulation/emulator.sh"
# shellcheck source-path=SCRIPTDIR source=apt-sources.sh
. "$here/apt-sources.sh"

binfmt=/proc/sys/fs/binfmt_misc
handler=tarnwix-i386
handler_entry=$binfmt/$handler
# i386 ELF executables and shared objects, as qemu's own configurations match them.
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
emulation_dir=$root/build/emulation
library_name=libtarnwix-faultcodes.so
mapping_probe=$emulation_dir/mapping-probe
# How this script learns whether the kernel runs 32-bit programs; replaceable
# only to try the other path's logic on a machine that does.
i386_probe=${TARNWIX_I386_PROBE:-/lib/ld-linux.so.2 --version}

say() { echo "setup: $*"; }
complain() { echo "setup: $*" >&2; }

sudo=""
have_root() {
  [ "$(id -u)" -eq 0 ] && return 0
  command -v sudo >/dev/null || return 1
  sudo=sudo
}

# Exit 3: the build works, Wine does not, and nothing of the emulated path is
# left half made.
wine_cannot_run() {
  complain "$1"
  complain "32-bit Windows programs (the tests, the previews) cannot run on this machine until then;"
  complain "what builds the modules is ready."
  exit 3
}

# Prints the packages of the list that are not installed; one query for all.
missing_packages() {
  local native installed package
  native=$(dpkg --print-architecture)
  installed=" $(dpkg-query -W -f='${Package}:${Architecture} ${Status}\n' "$@" 2>/dev/null |
    awk '$NF == "installed" && $(NF - 1) == "ok" { printf "%s ", $1 }' || true)"
  for package in "$@"; do
    case "$package" in
      *:*) [[ $installed == *" $package "* ]] || echo "$package" ;;
      *) [[ $installed == *" $package:$native "* || $installed == *" $package:all "* ]] || echo "$package" ;;
    esac
  done
}

update_index() {
  local attempt
  # A mirror caught mid-sync fails one index now and then: retry, and go on
  # with what was fetched when only a side index (security updates) stays bad.
  for attempt in 1 2 3; do
    $sudo apt-get update -qq && return 0
    complain "package index update failed (attempt $attempt), retrying"
    sleep $((attempt * 5))
  done
  return 0
}

# install_packages [-t SUITE] PACKAGE...
install_packages() {
  local target=()
  if [ "$1" = "-t" ]; then
    target=(-t "$2")
    shift 2
  fi
  local install=(apt-get install -y -qq --no-install-recommends "${target[@]}")
  local release attempt
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  say "installing $*"
  for attempt in 1 2 3; do
    # A minimal system without apt-utils has debconf say so on every install.
    $sudo env DEBIAN_FRONTEND=noninteractive "${install[@]}" "$@" >/dev/null \
      2> >(grep -v '^debconf: delaying package configuration, since apt-utils is not installed' >&2) && return 0
    complain "installing failed (attempt $attempt), retrying"
    # When the security index of one architecture is missing, the two halves
    # of a multi-arch library disagree on its version; preferring the
    # release's own suite makes them agree again.
    [ ${#target[@]} -eq 0 ] && [ -n "$release" ] && install=(apt-get install -y -qq --no-install-recommends -t "$release")
    sleep $((attempt * 5))
    $sudo apt-get update -qq || true
  done
  return 1
}

handler_registered() { [ -f "$handler_entry" ]; }

remove_handler() {
  handler_registered || return 0
  $sudo sh -c "echo -1 > '$handler_entry'"
}

if [ "${1:-}" = "--native" ]; then
  if ! handler_registered; then
    say "no i386 handler of this project is registered: 32-bit programs run as the kernel runs them"
    exit 0
  fi
  have_root || { complain "removing the i386 handler needs root: run this as root"; exit 1; }
  remove_handler || { complain "could not remove the i386 handler $handler_entry"; exit 1; }
  say "removed the i386 handler: 32-bit programs run as the kernel runs them"
  $i386_probe >/dev/null 2>&1 || say "this kernel runs none itself: Wine cannot run here until make registers the handler again"
  exit 0
elif [ "${1:-}" = "--packages" ]; then
  shift
  mapfile -t missing < <(missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && exit 0
  have_root || { complain "installing ${missing[*]} needs root: run this as root, or install sudo"; exit 1; }
  update_index
  install_packages "${missing[@]}" || { complain "could not install ${missing[*]}"; exit 1; }
  exit 0
elif [ $# -gt 0 ]; then
  complain "unknown option $1 (known: --native, --packages)"
  exit 2
fi

# The build tools, and the i386 loader.
mapfile -t missing < <(missing_packages "${build_tools[@]}")
if [ ${#missing[@]} -gt 0 ] || ! dpkg --print-foreign-architectures | grep -qx i386; then
  have_root || { complain "installing ${missing[*]} needs root: run this as root, or install sudo"; exit 1; }
  $sudo dpkg --add-architecture i386
  update_index
  install_packages "${missing[@]}" || { complain "could not install ${missing[*]}"; exit 1; }
  installed_build_tools=1
fi

# Which path this machine takes. Another handler of i386 programs than ours
# means they are emulated already, and may need what the emulated path mends.
other_i386_handler() {
  local entry
  for entry in "$binfmt"/*; do
    [ -f "$entry" ] && [ "$entry" != "$handler_entry" ] || continue
    case "$entry" in */register | */status) continue ;; esac
    grep -qx enabled "$entry" && grep -qi "^magic $i386_magic_hex" "$entry" && return 0
  done
  return 1
}
if [ "${TARNWIX_EMULATE_I386:-0}" = 1 ]; then
  path=emulated
  reason="as TARNWIX_EMULATE_I386=1 asks"
elif handler_registered; then
  path=emulated
  reason="through this project's i386 handler"
elif other_i386_handler; then
  path=emulated
  reason="as another i386 handler of binfmt_misc already does"
elif $i386_probe >/dev/null 2>&1; then
  path=native
else
  path=emulated
  reason="as the kernel runs none itself"
fi

done_here=()
[ -z "${installed_build_tools:-}" ] || done_here+=("installed the build tools")

if [ "$path" = emulated ]; then
  # Packages: qemu from the release itself when it offers one new enough,
  # else from the release's backports, added to apt's sources once.
  qemu_version=$(dpkg-query -W -f='${Version}' "$qemu_package" 2>/dev/null || true)
  qemu_missing=$(missing_packages "$qemu_package")
  mapfile -t missing < <(missing_packages "${emulation_packages[@]}")
  needs_qemu=0
  if [ -n "$qemu_missing" ] || ! dpkg --compare-versions "$qemu_version" ge "$qemu_minimum_version"; then
    needs_qemu=1
  fi
  if [ $needs_qemu = 1 ] || [ ${#missing[@]} -gt 0 ]; then
    have_root || wine_cannot_run "32-bit x86 programs are to run under emulation here ($reason); installing the emulator needs root once: run make as root (or with sudo installed), or boot with ia32_emulation=on"
    release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$release" ] || wine_cannot_run "cannot tell this system's release from /etc/os-release; install $qemu_package $qemu_minimum_version or later by hand"
    qemu_from=""
    added_sources=""
    if [ $needs_qemu = 1 ]; then
      # What the release's own suites offer (backports have a lower priority
      # and are never the candidate unless installed from).
      candidate() { apt-cache policy "$qemu_package" 2>/dev/null | awk '$1 == "Candidate:" && $2 != "(none)" { print $2 }'; }
      [ -n "${installed_build_tools:-}" ] || update_index
      qemu_from=$(qemu_suite "$release" "$(candidate)")
    fi
    if [ -n "$qemu_from" ]; then
      if ! apt_suite_listed "$qemu_from"; then
        # The mirror that serves the release itself serves its backports.
        read -r mirror signed_by < <(apt_source_of "$release") || true
        [ -n "${mirror:-}" ] || wine_cannot_run "no apt source for $release to take $qemu_from from; add $qemu_from to apt's sources, or boot with ia32_emulation=on"
        added_sources=/etc/apt/sources.list.d/tarnwix-$qemu_from.sources
        {
          echo "Types: deb"
          echo "URIs: $mirror"
          echo "Suites: $qemu_from"
          echo "Components: main"
          [ -z "$signed_by" ] || echo "Signed-By: $signed_by"
        } | $sudo tee "$added_sources" >/dev/null
        done_here+=("added $qemu_from to apt's sources")
      fi
      update_index
    fi
    give_up() {
      if [ -n "$added_sources" ]; then
        $sudo rm -f "$added_sources"
        $sudo apt-get update -qq >/dev/null 2>&1 || true
      fi
      wine_cannot_run "$1"
    }
    if [ $needs_qemu = 1 ]; then
      offered_by=${qemu_from:-$release}
      install_packages ${qemu_from:+-t "$qemu_from"} "$qemu_package" ||
        give_up "could not install $qemu_package $qemu_minimum_version or later from $offered_by; install it by hand, or boot with ia32_emulation=on"
      dpkg --compare-versions "$(dpkg-query -W -f='${Version}' "$qemu_package")" ge "$qemu_minimum_version" ||
        give_up "$offered_by offers no $qemu_package $qemu_minimum_version or later; boot with ia32_emulation=on"
      done_here+=("installed $qemu_package $(dpkg-query -W -f='${Version}' "$qemu_package")")
      added_sources=""  # now the source of an installed package
    fi
    if [ ${#missing[@]} -gt 0 ]; then
      install_packages "${missing[@]}" || give_up "could not install ${missing[*]}; boot with ia32_emulation=on"
      done_here+=("installed ${missing[*]}")
    fi
  fi
  # The emulator and its flags, as the installed package provides them.
  mapfile -t qemu_files < <(dpkg-query -L "$qemu_package" 2>/dev/null || true)
  read -r interpreter handler_flags < <(i386_emulator "" "${qemu_files[@]}") ||
    wine_cannot_run "$qemu_package provides no emulator of i386 programs (no binfmt.d entry for them, no bin/qemu-i386); reinstall $qemu_package, or boot with ia32_emulation=on"

  # The probe and the fault-code library, rebuilt when missing or older than
  # their sources. Written under another name first: parallel runs never see
  # half a file.
  build_if_stale() {
    local output=$1 source=$2
    shift 2
    [ -f "$output" ] && [ "$output" -nt "$source" ] && return 0
    mkdir -p "$(dirname "$output")"
    gcc -O2 -Wall -Wextra -Werror -o "$output.$$" "$source" "$@" &&
      mv -f "$output.$$" "$output" || { rm -f "$output.$$"; return 1; }
    built=1
  }
  built=0
  build_if_stale "$mapping_probe" "$here/emulation/mapping_probe.c" -m32 -static &&
    build_if_stale "$emulation_dir/lib/i386-linux-gnu/$library_name" "$here/emulation/faultcodes.c" -m32 -shared -fPIC &&
    build_if_stale "$emulation_dir/lib/x86_64-linux-gnu/$library_name" "$here/emulation/faultcodes_stub.c" -shared -fPIC &&
    build_if_stale "$emulation_dir/faultcodes-check" "$here/emulation/faultcodes_test.c" -m32 ||
    wine_cannot_run "could not build the emulation's helpers with gcc -m32 (package gcc-multilib)"

  # The handler: registered when missing, made again when it names another
  # emulator or other flags than the package's (as one registered before the
  # packaging moved the emulator) or an emulator that ignores
  # MAP_FIXED_NOREPLACE (F pins the binary that was registered, so an
  # upgrade needs a new registration).
  if [ ! -e "$binfmt/register" ]; then
    have_root && $sudo mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
    [ -e "$binfmt/register" ] ||
      wine_cannot_run "binfmt_misc is not available here (it needs root, and a kernel or container that offers it); boot with ia32_emulation=on, or run as root"
  fi
  # The kernel lists the flags in an order of its own.
  letters() { grep -o . <<<"$1" | sort | tr -d '\n'; }
  registered_as_chosen() {
    handler_registered && grep -qx "interpreter $interpreter" "$handler_entry" &&
      [ "$(letters "$(sed -n 's/^flags: //p' "$handler_entry")")" = "$(letters "$handler_flags")" ]
  }
  registered_now=0
  if ! registered_as_chosen || ! "$mapping_probe" 2>/dev/null; then
    have_root || wine_cannot_run "32-bit x86 programs are to run under emulation here ($reason); registering the emulator needs root after every boot: run make as root, or boot with ia32_emulation=on"
    remove_handler || wine_cannot_run "could not remove the old i386 handler $handler_entry; run as root"
    printf '%s' ":$handler:M::$i386_magic:$i386_mask:$interpreter:$handler_flags" | $sudo tee "$binfmt/register" >/dev/null ||
      wine_cannot_run "could not register the i386 handler with binfmt_misc; run as root, or boot with ia32_emulation=on"
    registered_now=1
    if ! "$mapping_probe"; then
      remove_handler || true
      wine_cannot_run "the emulator $interpreter ignores MAP_FIXED_NOREPLACE, and Wine would need a minute per process; install $qemu_package $qemu_minimum_version or later, or boot with ia32_emulation=on"
    fi
    done_here+=("registered $interpreter as the handler of i386 programs")
  fi
  # A new library or handler is checked once: fault handlers under this
  # emulator see the kernel's trap numbers.
  if [ $built = 1 ] || [ $registered_now = 1 ]; then
    if ! check_output=$(LD_PRELOAD="$emulation_dir/\$LIB/$library_name" "$emulation_dir/faultcodes-check" 2>&1); then
      [ $registered_now = 0 ] || remove_handler || true
      rm -rf "$emulation_dir"
      wine_cannot_run "the fault-code library does not mend this emulator's signals: $check_output"
    fi
    [ $built = 0 ] || done_here+=("built the fault-code library")
  fi
fi

mapfile -t missing < <(missing_packages "${wine_packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  have_root || wine_cannot_run "installing ${missing[*]} needs root: run make as root, or install sudo"
  install_packages "${missing[@]}" || wine_cannot_run "could not install ${missing[*]}"
  done_here+=("installed ${missing[*]}")
fi

if [ ${#done_here[@]} -gt 0 ]; then
  if [ "$path" = native ]; then
    say "this machine runs 32-bit x86 programs natively; Wine runs them directly"
  else
    summary=$(printf '%s; ' "${done_here[@]}")
    say "this machine runs 32-bit x86 programs under emulation ($reason): ${summary%; }"
  fi
fi
exit 0
