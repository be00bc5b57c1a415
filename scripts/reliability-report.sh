#!/usr/bin/env bash
# Writes RELIABILITY.md from the results of the last test run (build/results, build-asan/results,
# build-fuzz/results), by the list in tests/reliability/catalogue.tsv.
#   scripts/reliability-report.sh         from the results there are
#   scripts/reliability-report.sh --run   runs scripts/test.sh first
set -euo pipefail
cd "$(dirname "$0")/.."
for arg in "$@"; do
  case "$arg" in
    --run) scripts/test.sh ;;
  esac
done
exec python3 tests/reliability/report.py
