#!/usr/bin/env bash
# Makes a GnuPG home holding COUNT ed25519/cv25519 keys without passphrases, in one gpg run
# from one parameter file; a home that is already complete is kept (the benchmark's cache).
set -euo pipefail
home=$1
count=${2:-5000}
if [ -f "$home/complete" ] && [ "$(cat "$home/complete")" = "$count" ]; then
  exit 0
fi
rm -rf "$home"
mkdir -p -m 700 "$home"
params=$(mktemp)
trap 'rm -f "$params"' EXIT
for ((i = 0; i < count; i++)); do
  printf '%%no-protection\nKey-Type: eddsa\nKey-Curve: ed25519\nKey-Usage: sign\nSubkey-Type: ecdh\nSubkey-Curve: cv25519\nSubkey-Usage: encrypt\nName-Real: Bench Key %05d\nName-Email: bench%05d@example.org\nExpire-Date: 0\n%%commit\n' "$i" "$i"
done >"$params"
echo "Making $count keys in $home (once; later runs reuse them)..." >&2
gpg --homedir "$home" --batch --quiet --gen-key "$params" 2>/dev/null
gpg --homedir "$home" --batch --quiet --check-trustdb 2>/dev/null || true
gpgconf --homedir "$home" --kill all
echo "$count" >"$home/complete"
