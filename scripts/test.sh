#!/usr/bin/env bash
# Installs what is missing (GNOME's desktop packages too), builds, makes the Debian package
# (scripts/package.sh) and checks it with lintian, and runs every test: the normal build, then the
# same suite built with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer
# (scripts/sanitize.sh), then a short run of every fuzz target
# (fuzz/run.sh). Arguments go to both ctest runs.
#   ZEMBRA_SANITIZE=0      skips the sanitizer build and its run
#   ZEMBRA_FUZZ_SECONDS=N  seconds per fuzz target (default 5; 0 skips fuzzing)
# Results (JUnit files, fuzz figures) stay in build*/results/ for scripts/reliability-report.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --desktop
# The house rules a compiler does not enforce: the layers, the format. (The build enforces the
# layers too: each layer compiles against an include root that holds only its own and lower ones.)
scripts/check-layers.sh
scripts/check-format.sh
scripts/build.sh
# clang-tidy's checks (.clang-tidy) over the product code, with the build's compile commands.
scripts/check-tidy.sh
# The Debian package, which the package's end-to-end test installs, and lintian's verdict on it:
# an error fails the run. Skipped where the package tools are missing.
if command -v dpkg-buildpackage >/dev/null && command -v dh >/dev/null; then
  deb=$(scripts/package.sh | tail -n 1)
  if command -v lintian >/dev/null; then
    # The file managers' module packages of the same version, where their modules were built.
    shopt -s nullglob
    modules=(build/zembra-*_"$(basename "$deb" | cut -d_ -f2)"_*.deb)
    shopt -u nullglob
    lintian --fail-on error "$deb" "${modules[@]}"
  fi
fi
mkdir -p build/results
(cd build && ctest --output-on-failure --timeout 600 --output-junit results/junit.xml "$@")
if [ "${ZEMBRA_SANITIZE:-1}" != 0 ]; then
  scripts/sanitize.sh "$@"
fi
seconds=${ZEMBRA_FUZZ_SECONDS:-5}
if [ "$seconds" != 0 ]; then
  fuzz/run.sh "$seconds"
fi
