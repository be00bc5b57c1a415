#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the product code (platform/, zembra/,
# launcher/, shellext/, tools/), two files at a time, with the compile commands of a configured
# build (build/ unless given). Fails on any finding; prints each as file:line:column: message.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ]; then
  echo "clang-tidy is not installed (Debian: apt-get install clang-tidy)." >&2
  exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "No $build/compile_commands.json: configure the build first (scripts/build.sh)." >&2
  exit 1
fi

# The product's sources that this build compiles (a module whose library is missing is not).
mapfile -t files < <(git ls-files -- 'platform/*.cpp' 'zembra/*.cpp' 'launcher/*.cpp' \
  'shellext/*.cpp' 'tools/*.cpp' | while read -r f; do
  if grep -qF "\"file\": \"$root/$f\"" "$build/compile_commands.json"; then echo "$f"; fi
done)

# xargs exits 123 when any run found something.
if ! printf '%s\0' "${files[@]}" |
  xargs -0 -n 4 -P 2 "$tidy" -p "$build" --quiet 2> >(grep -v -E '^[0-9]+ warnings? generated' >&2); then
  echo "clang-tidy found the problems above (checks: .clang-tidy)." >&2
  exit 1
fi
echo "clang-tidy: ${#files[@]} files, no findings."
