#!/usr/bin/env bash
# The rules that keep the layout standing, checked on every quoted #include:
#   framework/        includes only the framework;
#   gauges/           a module source includes only the framework and gauge
#                     headers; an artwork source may also use the artwork
#                     tool's drawing library;
#   host/             includes nothing from tools/;
#   tools/<tool>/     includes nothing from another tool's folder, unless that
#                     folder offers a library (an add_library in its CMake);
#   the readers and writers of users' files (tools/gaugerender/
#                     scenario_reader.*, panel_config.*, panel_lines.*,
#                     panel_document.*) include only each other, so that
#                     they build natively for fuzzing.
# An include is resolved as the compiler would: beside the file, then from the
# top of the tree, then from the folders whose libraries export them.
# Prints every broken rule with file and line; exits 1 when there is one.
set -euo pipefail
root=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)
cd "$root"

library_dirs=()
for dir in tools/*/; do
  dir=${dir%/}
  grep -qs '^add_library(' "$dir/CMakeLists.txt" && library_dirs+=("$dir")
done

# Prints the path, relative to the top, that an include names.
resolve() {
  local from=$1 name=$2 candidate
  for candidate in "$(dirname "$from")/$name" "$name"; do
    [ -f "$candidate" ] && { realpath --relative-to=. "$candidate"; return; }
  done
  for candidate in "${library_dirs[@]}"; do
    [ -f "$candidate/$name" ] && { echo "$candidate/$name"; return; }
  done
  echo "?$name"
}

offers_library() {
  local dir
  for dir in "${library_dirs[@]}"; do [ "$dir" = "$1" ] && return 0; done
  return 1
}

# Says why FILE may not include TARGET, or nothing when it may.
violation() {
  local file=$1 target=$2
  case $target in
    '?'*) echo "includes ${target#?}, which is not in the tree"; return ;;
  esac
  case $file in
    framework/*)
      [[ $target == framework/* ]] || echo "a framework file includes $target" ;;
    gauges/*/artwork.cpp | gauges/*/*_artwork.h)
      [[ $target == framework/* || $target == gauges/* || $target == tools/artwork/* ]] ||
        echo "gauge artwork includes $target" ;;
    gauges/*)
      [[ $target == framework/* || $target == gauges/* ]] ||
        echo "a gauge's module source includes $target" ;;
    host/*)
      [[ $target != tools/* ]] || echo "the host library includes $target" ;;
    tools/gaugerender/scenario_reader.* | tools/gaugerender/panel_config.* | tools/gaugerender/panel_lines.* | \
      tools/gaugerender/panel_document.*)
      [[ $target =~ ^tools/gaugerender/(scenario_reader|panel_config|panel_lines|panel_document)\.h$ ]] ||
        echo "a reader of users' files includes $target, which does not build natively" ;;
    tools/*)
      local own=${file#tools/} other
      own=tools/${own%%/*}
      if [[ $target == tools/* ]]; then
        other=${target#tools/}
        other=tools/${other%%/*}
        [ "$other" = "$own" ] || offers_library "$other" ||
          echo "$own includes $target from $other, which offers no library"
      fi ;;
  esac
}

broken=0
while IFS= read -r file; do
  while IFS=: read -r line text; do
    name=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$text")
    why=$(violation "$file" "$(resolve "$file" "$name")")
    if [ -n "$why" ]; then
      echo "$file:$line: $why"
      broken=1
    fi
  done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find framework gauges host tools -name '*.h' -o -name '*.cpp' -o -name '*.c' | sort)

[ $broken -eq 0 ] && echo "include rules: every include keeps to its layer"
exit $broken
