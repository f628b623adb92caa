#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine: the i386
# architecture, mingw-w64 for 32-bit Windows, CMake, Wine with its 32-bit
# half, GoogleTest's sources, the stb headers and the fonts. Quiet and quick
# when everything is already there.
set -euo pipefail

packages=(
  cmake make
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32:i386
  googletest libstb-dev
  fonts-dejavu-core fonts-dseg
  zip unzip
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  missing=("${packages[@]}")
else
  for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
  done
fi
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: installing ${missing[*]} needs root" >&2; exit 1; }
  sudo=sudo
fi
echo "setup: installing ${missing[*]}"
$sudo dpkg --add-architecture i386
# A mirror caught mid-sync fails one index now and then: retry, and go on
# with what was fetched when only a side index (security updates) stays bad.
for attempt in 1 2 3; do
  $sudo apt-get update -qq && break
  echo "setup: package index update failed (attempt $attempt), retrying" >&2
  sleep $((attempt * 5))
done
# When the security index of one architecture is missing, the two halves of
# a multi-arch library disagree on its version; preferring the release's own
# suite makes them agree again.
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
install=(apt-get install -y -qq --no-install-recommends)
for attempt in 1 2 3; do
  $sudo env DEBIAN_FRONTEND=noninteractive "${install[@]}" "${missing[@]}" >/dev/null && exit 0
  echo "setup: installing failed (attempt $attempt), retrying" >&2
  [ -n "$release" ] && install=(apt-get install -y -qq --no-install-recommends -t "$release")
  sleep $((attempt * 5))
  $sudo apt-get update -qq || true
done
echo "setup: could not install ${missing[*]}" >&2
exit 1
