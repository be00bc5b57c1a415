#!/usr/bin/env bash
# Installs what is missing, builds, and opens the operations window on the portable key ring
# (build/bin/keys).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh ZembraShellExtApp zembra_program zembra-reg
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Zembra needs a graphical display: no DISPLAY or WAYLAND_DISPLAY is set." >&2
  exit 1
fi
if [ ! -x build/bin/ZembraShellExtApp ]; then
  echo "The operations window is not built yet: build/bin/ZembraShellExtApp is missing." >&2
  exit 1
fi
exec build/bin/ZembraShellExtApp 0 "$@"
