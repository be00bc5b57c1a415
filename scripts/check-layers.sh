#!/usr/bin/env bash
# Fails when a file includes a layer above its own, or reaches the system past the platform layer.
# The layers, lowest first (a layer may include its own and those below it; folders of one layer
# may include each other):
#   platform/core                     registry, files, processes, text, trace: POSIX and SQLite
#   platform/gui                      Qt Widgets, the clipboard, the shell
#   zembra/engine                     GPGME contexts, data streams, the operations loop
#   zembra/operations  zembra/keys    what the buttons do
#   zembra/ui  zembra/associations    the windows and dialogs of the product
#   launcher  tools                   programs
# shellext/ links platform/core only. POSIX headers (other than sys/types.h) belong to
# platform/core, Qt's to platform/gui, SQLite's to platform/core; Dolphin's plugin
# (shellext/dolphin) is the one Qt 5 target, since Dolphin's plugin interface is Qt.
# Prints each offending line as file:line: reason, and exits 1 when there is any.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
  case "$1" in
    platform/core) echo 0 ;;
    platform/gui) echo 1 ;;
    zembra/engine) echo 2 ;;
    zembra/operations | zembra/keys) echo 3 ;;
    zembra/ui | zembra/associations) echo 4 ;;
    launcher | tools) echo 5 ;;
    *) echo "" ;;
  esac
}

layer_of() {
  case "$1" in
    platform/core/* | platform/gui/* | zembra/*/*) echo "$1" | cut -d/ -f1-2 ;;
    launcher/* | tools/* | shellext/*) echo "$1" | cut -d/ -f1 ;;
  esac
}

posix='^(unistd|fcntl|poll|signal|dirent|dlfcn|pthread|spawn|termios|pwd|grp|sys/(stat|wait|mman|socket|ioctl|prctl|resource|syscall|time|uio|file|statvfs|vfs|select|un|sendfile))\.h$'
failed=0
report() {
  echo "$1: $2"
  failed=1
}

while IFS= read -r file; do
  own=$(layer_of "$file")
  [ -n "$own" ] || continue
  ownRank=$(rank "$own")
  while IFS=: read -r line text; do
    if [[ "$text" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]+\"([^\"]+)\" ]]; then
      included="${BASH_REMATCH[1]}"
      # A path up out of the file's folder would pass by the build's include roots.
      if [[ "$included" == *../* ]]; then
        report "$file:$line" "includes $included by a relative path (name it from the top)"
        continue
      fi
      target=$(layer_of "$included")
      [ -n "$target" ] || continue
      if [ "$own" = shellext ]; then
        case "$target" in
          shellext | platform/core) ;;
          *) report "$file:$line" "the shell extension includes $included (it links platform/core only)" ;;
        esac
        continue
      fi
      targetRank=$(rank "$target")
      if [ -z "$targetRank" ] || [ "$targetRank" -gt "$ownRank" ]; then
        report "$file:$line" "$own includes $included, a higher layer"
      fi
    elif [[ "$text" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]+\<([^\>]+)\> ]]; then
      header="${BASH_REMATCH[1]}"
      if [[ "$header" =~ $posix ]] && [ "$own" != platform/core ]; then
        report "$file:$line" "POSIX header <$header> outside platform/core"
      elif [[ "$header" =~ ^Q[A-Za-z]+(/|$) ]] && [ "$own" != platform/gui ] &&
        [[ "$file" != shellext/dolphin/* ]]; then
        report "$file:$line" "Qt header <$header> outside platform/gui"
      elif [ "$header" = sqlite3.h ] && [ "$own" != platform/core ]; then
        report "$file:$line" "SQLite header outside platform/core"
      fi
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(git ls-files -- 'platform/*' 'zembra/*' 'launcher/*' 'tools/*' 'shellext/*' |
  grep -E '\.(c|cc|cpp|h|hpp)$')

if [ "$failed" != 0 ]; then
  echo "Includes cross the layers above (see scripts/check-layers.sh for the layers)." >&2
  exit 1
fi
echo "Layers: every include goes to the file's own layer or below."
