#!/usr/bin/env bash
# Makes tests/fixtures/keys/ring1000.pgp.xz: a thousand public keys in one binary key file, for
# the import of a large ring (making them takes most of a minute, so they are kept).
set -euo pipefail
cd "$(dirname "$0")/.."
home=$(mktemp -d)
trap 'gpgconf --homedir "$home" --kill all 2>/dev/null || true; rm -rf "$home"' EXIT
bench/keys/make_ring.sh "$home/g" 1000
gpg --homedir "$home/g" --batch --export | xz -9 >tests/fixtures/keys/ring1000.pgp.xz
