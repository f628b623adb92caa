#!/usr/bin/env bash
# Runs the README's commands as a new user would, on a fresh system of a
# Debian release: debootstrap (variant minbase) into a throwaway folder, git
# and make installed, the current commit cloned, then make and make test
# (with --release also make release and make reproducible), as root there,
# each command timed. Not part of make test: a run fetches a whole system.
#
#   tests/fresh-root.sh RELEASE [--emulated] [--release] [--save DIR]
#
#   RELEASE     a suite debootstrap knows: bookworm, trixie, testing, ...
#   --emulated  the root takes the emulated path (TARNWIX_EMULATE_I386=1)
#   --release   also make release and make reproducible
#   --save DIR  keeps the clone's dist/ and each command's log in DIR
#
# The system comes from the mirror the machine's own apt sources use.
# Everything runs in namespaces of its own (user, mount, pid): the mounts of
# the root are never the machine's, every process of the run ends with it,
# and the i386 handler an emulated run registers lives in a binfmt_misc of
# its own (Linux 6.7 or later), never the machine's. The folder is removed
# afterwards, also when the run fails or is interrupted. Needs root and
# debootstrap (installed when missing). Uncommitted changes are left out.
#
# Exit status: 0 when every command passed without a compiler warning; 1
# when one failed or warned; 2 when the run could not be set up.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=../cmake/apt-sources.sh
. "$root/cmake/apt-sources.sh"

say() { echo "fresh-root: $*"; }
refuse() {
  echo "fresh-root: $*" >&2
  exit 2
}

release="" emulated=0 with_release=0 save=""
while [ $# -gt 0 ]; do
  case "$1" in
    --emulated) emulated=1 ;;
    --release) with_release=1 ;;
    --save)
      [ $# -ge 2 ] || refuse "--save needs a folder"
      save=$2
      shift
      ;;
    -*) refuse "unknown option $1 (known: --emulated, --release, --save DIR)" ;;
    *)
      [ -z "$release" ] || refuse "one release at a time (given: $release and $1)"
      release=$1
      ;;
  esac
  shift
done
[ -n "$release" ] || refuse "usage: tests/fresh-root.sh RELEASE [--emulated] [--release] [--save DIR]"
[[ $release =~ ^[a-z][a-z0-9-]*$ ]] || refuse "not a release name: $release"
[ "$(id -u)" -eq 0 ] || refuse "debootstrap and the namespaces need root: run this as root"
command -v debootstrap >/dev/null || "$root/cmake/setup.sh" --packages debootstrap ||
  refuse "debootstrap is missing and could not be installed"
[ -e /usr/share/debootstrap/scripts/"$release" ] || refuse "debootstrap knows no release $release"

commit=$(git -C "$root" rev-parse HEAD)
[ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] ||
  say "uncommitted changes are left out; running commit $commit"
host_release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
read -r mirror _ < <(apt_source_of "$host_release") || refuse "no apt source of this machine serves $host_release"
security_mirror=""
read -r security_mirror _ < <(apt_source_of "$host_release-security") || true

# The handlers on the machine before the run, to show that it left none.
handlers_here() { find /proc/sys/fs/binfmt_misc -maxdepth 1 -type f ! -name register ! -name status 2>/dev/null | sort; }
handlers_before=$(handlers_here)

work=$(mktemp -d -t tarnwix-fresh-root.XXXXXX)
system=$work/root
child=""
finish() {
  local status=$?
  trap - EXIT INT TERM HUP
  if [ -n "$child" ] && kill -0 "$child" 2>/dev/null; then
    # The first process of the run's pid namespace takes every other one with
    # it, and unshare (which ignores TERM while it waits) returns only once
    # all are gone.
    local first
    first=$(pgrep -P "$child" | head -1 || true)
    kill -KILL "${first:-$child}" 2>/dev/null || true
    wait "$child" 2>/dev/null || true
  fi
  # Every mount was made in the run's own namespace: none can be under the
  # folder here. Should one be, the folder is left alone rather than removed
  # through it.
  if findmnt -rno TARGET | grep -qF "$work"; then
    echo "fresh-root: something is mounted under $work; not removing it" >&2
    exit 1
  fi
  local attempt
  for attempt in 1 2 3; do
    rm -rf --one-file-system "$work" 2>/dev/null && break
    sleep "$attempt"
  done
  [ ! -e "$work" ] || echo "fresh-root: could not remove $work" >&2
  if [ "$(handlers_here)" != "$handlers_before" ]; then
    echo "fresh-root: the machine's binfmt_misc changed during the run:" >&2
    handlers_here >&2
    status=1
  fi
  exit "$status"
}
interrupted() {
  echo "fresh-root: interrupted; removing $work" >&2
  exit 130
}
trap finish EXIT
trap interrupted INT TERM HUP

# run_in_background COMMAND...: runs the command as the child the traps end,
# and waits for it (a wait, unlike a foreground command, lets a trap in).
run_in_background() {
  "$@" &
  child=$!
  local status=0
  wait "$child" || status=$?
  child=""
  return $status
}

duration() {  # duration SECONDS
  if [ "$1" -ge 60 ]; then echo "$(($1 / 60)) min $(($1 % 60)) s"; else echo "$1 s"; fi
}

path=native
[ $emulated = 0 ] || path=emulated
say "$release, $path path, commit ${commit:0:12}, in $work"

# The system, fetched in a mount namespace of its own (debootstrap mounts
# /proc inside it while it installs).
started=$SECONDS
include=()
[[ $mirror != https:* ]] || include=(--include=ca-certificates)
if ! run_in_background unshare --mount --propagation private --pid --fork --kill-child -- \
  debootstrap --variant=minbase "${include[@]}" "$release" "$system" "$mirror" >"$work/debootstrap.log" 2>&1; then
  tail -20 "$work/debootstrap.log" >&2
  refuse "debootstrap $release failed"
fi
say "debootstrap: $(duration $((SECONDS - started)))"

# Its apt sources as an installed system has them: the release, its updates
# and its security updates, from the machine's mirrors.
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
rm -f "$system/etc/apt/sources.list"
{
  case "$release" in
    sid | unstable) suites=$release ;;
    *) suites="$release $release-updates" ;;
  esac
  printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n' "$mirror" "$suites"
  [ ! -f "$system$keyring" ] || echo "Signed-By: $keyring"
  if [ -n "$security_mirror" ] && [ "$suites" != "$release" ]; then
    printf '\nTypes: deb\nURIs: %s\nSuites: %s-security\nComponents: main\n' "$security_mirror" "$release"
    [ ! -f "$system$keyring" ] || echo "Signed-By: $keyring"
  fi
} >"$system/etc/apt/sources.list.d/debian.sources"
# A mirror that holds the archive as of one day serves the index of testing
# past the week it is signed valid for; the root lives for one run.
echo 'Acquire::Check-Valid-Until "false";' >"$system/etc/apt/apt.conf.d/99fresh-root"
cp /etc/resolv.conf "$system/etc/resolv.conf" 2>/dev/null || true

# The repository the user clones from.
git clone -q --bare --no-local "$root" "$system/srv/tarnwix.git"

# What the user types, one command a step, in the root; each step's output
# goes to its log, the times and the outcome to the terminal.
emulate=""
[ $emulated = 0 ] || emulate="TARNWIX_EMULATE_I386=1 "
steps=(
  "prerequisites|apt-get update -qq && apt-get install -y -qq --no-install-recommends git make"
  "clone|git clone -q /srv/tarnwix.git tarnwix && git -C tarnwix checkout -q --detach $commit"
  "make|cd tarnwix && ${emulate}make"
  "make test|cd tarnwix && ${emulate}make test"
  "version|cd tarnwix && bin/gaugehost --version"
)
if [ $with_release = 1 ]; then
  steps+=("make release|cd tarnwix && ${emulate}make release"
    "make reproducible|cd tarnwix && ${emulate}make reproducible")
fi
mkdir -p "$system/root/logs"
{
  echo 'set -uo pipefail'
  echo 'cd /root'
  echo 'failed=0'
  for step in "${steps[@]}"; do
    name=${step%%|*}
    log="/root/logs/${name// /-}.log"
    printf 'started=$SECONDS\n'
    printf 'if (%s) >%q 2>&1; then\n' "${step#*|}" "$log"
    printf '  echo "fresh-root: %s: $(duration $((SECONDS - started)))"\n' "$name"
    printf 'else\n'
    printf '  echo "fresh-root: %s FAILED after $(duration $((SECONDS - started))); the end of its log:"\n' "$name"
    printf '  tail -40 %q | sed "s/^/  /"; exit 1\n' "$log"
    printf 'fi\n'
  done
} >"$system/root/steps.sh"
declare -f duration >"$system/root/duration.sh"

# The namespaces: root there is root here for files (uids and gids 0 to
# 65535 map to themselves, so that apt and dpkg can hand files to their
# owners), yet its binfmt_misc, mounts and processes are its own. The map is
# written from here once unshare has made the namespace; the program then
# runs again, to hold root's capabilities in it.
in_namespaces() {
  unshare --user --mount --pid --fork --kill-child -- bash -c '
    until [ -n "$(cat /proc/self/uid_map)" ]; do sleep 0.05; done
    exec "$@"' in_namespaces "$@" &
  child=$!
  local own status=0
  own=$(readlink /proc/self/ns/user)
  while kill -0 "$child" 2>/dev/null && [ "$(readlink "/proc/$child/ns/user")" = "$own" ]; do sleep 0.05; done
  if ! { echo '0 0 65536' >"/proc/$child/uid_map" && echo '0 0 65536' >"/proc/$child/gid_map"; } 2>/dev/null; then
    kill -TERM "$child" 2>/dev/null || true
    echo "fresh-root: could not map the ids of the run's user namespace" >&2
  fi
  wait "$child" || status=$?
  child=""
  return $status
}
status=0
in_namespaces bash -c '
  set -e
  system=$1
  mount -t proc proc "$system/proc"
  mount --rbind /sys "$system/sys"
  mount --rbind /dev "$system/dev"
  mount -t tmpfs -o mode=1777 tmpfs "$system/dev/shm"
  set +e
  chroot "$system" env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    TERM="${TERM:-dumb}" DEBIAN_FRONTEND=noninteractive bash -c ". /root/duration.sh; . /root/steps.sh"
  status=$?
  handler=$system/proc/sys/fs/binfmt_misc/tarnwix-i386
  [ ! -f "$handler" ] || echo "fresh-root: the root registered $(sed -n "s/^interpreter //p" "$handler") for i386 programs in its own binfmt_misc"
  exit $status' in_namespaces "$system" || status=$?

logs=$system/root/logs
warnings=$(cat "$logs"/make*.log 2>/dev/null | grep -E '(^|[^a-z])warning:|^CMake Warning' | sort -u || true)
if [ -n "$warnings" ]; then
  say "warnings in the build:"
  sed 's/^/  /' <<<"$warnings"
  [ $status != 0 ] || status=1
fi
for log in "$logs"/make-test.log "$logs"/make-reproducible.log; do
  [ ! -f "$log" ] || grep -E 'tests passed|tests failed|^reproducible: (all|[0-9]+ of)' "$log" | sed 's/^/  /' || true
done
[ ! -f "$logs/version.log" ] || sed 's/^/  /' "$logs/version.log"

if [ -n "$save" ]; then
  mkdir -p "$save"
  cp -r "$logs" "$save/"
  [ ! -d "$system/root/tarnwix/dist" ] || cp -r "$system/root/tarnwix/dist" "$save/"
  say "saved the logs and dist/ in $save"
fi
if [ $status = 0 ]; then
  say "$release, $path path: passed"
else
  say "$release, $path path: FAILED"
fi
exit $status
