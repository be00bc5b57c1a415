#!/usr/bin/env bash
# The soak (not part of CI): the real launcher runs one encryption and one decryption job over
# 10,000 small files and over one 5 GiB file; every output is checked and the launcher's peak
# resident memory is reported. Figures go to build/results/soak.txt for
# scripts/reliability-report.sh.
#   ZEMBRA_SOAK_FILES=N   number of small files (default 10000)
#   ZEMBRA_SOAK_GIB=N     size of the big file (default 5; 0 skips it; skipped when the disk
#                         lacks room for two copies)
# Arguments go to the test program (e.g. --gtest_filter=Soak.Many*).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh soak_reliability ZembraShellExtApp >/dev/null
mkdir -p build/results
df -h "${TMPDIR:-/tmp}" | tail -1
build/bin/soak_reliability "$@" 2>&1 | tee build/results/soak.txt
exit "${PIPESTATUS[0]}"
