#!/usr/bin/env bash
# Configures and builds everything into build/ (programs and the library in build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEMBRA_WERROR="$werror" >/dev/null
cmake --build build -j "$(nproc)"
