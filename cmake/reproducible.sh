#!/usr/bin/env bash
# Builds the release of the current commit twice, in two fresh clones in two
# temporary folders, the second a little later than the first, and compares
# the modules and the release files byte for byte (make reproducible).
# Prints each file that differs; exits 1 if any does. Uncommitted changes
# are not in the clones: commit first.
#   reproducible.sh [PAUSE_SECONDS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
pause=${1:-60}
commit=$(git -C "$root" rev-parse HEAD)
[ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] ||
  echo "reproducible: uncommitted changes are left out; building commit $commit"
scratch=$(mktemp -d)
keep=${KEEP:-}
trap '[ -n "$keep" ] || rm -rf "$scratch"' EXIT

build() {  # build NAME: a fresh clone of the commit, released
  local tree=$scratch/$1
  git clone -q --no-local "$root" "$tree"
  git -C "$tree" checkout -q --detach "$commit"
  echo "reproducible: building $commit in $tree ($(date -u +%H:%M:%S) UTC)"
  # The test suite is not built: the release does not need it.
  make -C "$tree" --no-print-directory release \
    CMAKE_FLAGS="-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release -DTARNWIX_TESTS=OFF" \
    >"$scratch/$1.log" 2>&1 || { tail -20 "$scratch/$1.log"; echo "reproducible: the build in $tree failed"; exit 1; }
}

build first
echo "reproducible: waiting ${pause}s before the second build"
sleep "$pause"
build second

different=0 compared=0
for file in $(cd "$scratch/first" && ls dist/*.gau dist/release/*); do
  compared=$((compared + 1))
  if cmp -s "$scratch/first/$file" "$scratch/second/$file"; then
    echo "  same       $file  $(sha256sum <"$scratch/first/$file" | cut -c1-16)"
  else
    echo "  DIFFERENT  $file"
    cmp "$scratch/first/$file" "$scratch/second/$file" | head -1 | sed 's/^/             /' || true
    different=$((different + 1))
  fi
done
[ "$compared" -gt 0 ] || { echo "reproducible: nothing was built"; exit 1; }
if [ "$different" -ne 0 ]; then
  echo "reproducible: $different of $compared files differ between two builds of $commit"
  exit 1
fi
echo "reproducible: all $compared files the same in two builds of $commit"
