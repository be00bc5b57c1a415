#!/usr/bin/env bash
# Installs, by Debian package name, whatever the build, the program and the tests need and is
# not there yet. Does nothing when everything is installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgpgme-dev gnupg gpg-agent
  qt6-base-dev qt6-qpa-plugins
  libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool x11-utils xauth
  fonts-dejavu-core fonts-liberation2
  rnp
  clang           # the fuzz targets (fuzz/run.sh)
  libclang-rt-14-dev  # libFuzzer and clang's sanitizer runtimes
  python3         # scripts/reliability-report.sh
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
