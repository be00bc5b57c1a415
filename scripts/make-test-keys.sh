#!/usr/bin/env bash
# Generates the test key ring once, with real gpg in a throw-away home, and writes it to
# tests/fixtures/keys/. The output is committed: tests import these files instead of generating
# keys (generation is slow and needs entropy), so only run this to change the set of keys.
#
# For each key NAME:
#   NAME.sec.asc   secret key export (holds the public key too)
#   NAME.pub.asc   public key export
# and
#   revoked.rev.asc  the revocation certificate that revoked "revoked"
#   ownertrust.txt   gpg --export-ownertrust of every key (ultimate: they are the user's own)
#   keys.txt         the manifest the test fixture reads (format in its header)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/tests/fixtures/keys"

work="$(mktemp -d /tmp/zkgen-XXXXXX)"
export GNUPGHOME="$work/g"
mkdir -m 700 "$GNUPGHOME"
cleanup() {
  gpgconf --homedir "$GNUPGHOME" --kill all 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

gpg_b() { gpg --batch --no-tty --quiet "$@"; }

# Keys are dated in the past, so that a machine whose clock is behind this one's still sees them
# as valid (gpg refuses keys made in the future).
created=20240102T120000

# gen NAME [creation time] < parameter block
gen() {
  local name="$1" when="${2:-$created}"
  local params="$work/$name.params"
  cat >"$params"
  if ! gpg_b --faked-system-time "$when" --gen-key "$params" 2>"$work/errors"; then
    cat "$work/errors" >&2
    exit 1
  fi
}

gen alice <<'EOF'
Key-Type: RSA
Key-Length: 2048
Key-Usage: sign
Subkey-Type: RSA
Subkey-Length: 2048
Subkey-Usage: encrypt
Name-Real: Alice
Name-Email: alice@example.org
Expire-Date: 0
%no-protection
%commit
EOF

gen bob <<'EOF'
Key-Type: RSA
Key-Length: 2048
Key-Usage: sign
Subkey-Type: RSA
Subkey-Length: 2048
Subkey-Usage: encrypt
Name-Real: Bob
Name-Email: bob@example.org
Expire-Date: 0
%no-protection
%commit
EOF

gen carol <<'EOF'
Key-Type: RSA
Key-Length: 2048
Key-Usage: sign
Subkey-Type: RSA
Subkey-Length: 2048
Subkey-Usage: encrypt
Name-Real: Carol
Name-Email: carol@example.org
Expire-Date: 0
%no-protection
%commit
EOF

gen dave <<'EOF'
Key-Type: EDDSA
Key-Curve: ed25519
Key-Usage: sign
Subkey-Type: ECDH
Subkey-Curve: cv25519
Subkey-Usage: encrypt
Name-Real: Dave
Name-Email: dave@example.org
Expire-Date: 0
%no-protection
%commit
EOF

gen signer <<'EOF'
Key-Type: RSA
Key-Length: 2048
Key-Usage: sign
Name-Real: Signer Only
Name-Email: signer@example.org
Expire-Date: 0
%no-protection
%commit
EOF

gen encrypter <<'EOF'
Key-Type: RSA
Key-Length: 2048
Key-Usage: cert
Subkey-Type: RSA
Subkey-Length: 2048
Subkey-Usage: encrypt
Name-Real: Encrypter Only
Name-Email: encrypter@example.org
Expire-Date: 0
%no-protection
%commit
EOF

gen revoked <<'EOF'
Key-Type: RSA
Key-Length: 2048
Key-Usage: sign
Subkey-Type: RSA
Subkey-Length: 2048
Subkey-Usage: encrypt
Name-Real: Revoked
Name-Email: revoked@example.org
Expire-Date: 0
%no-protection
%commit
EOF

# Made on 1 January 2020, valid for one year.
gen expired 20200101T120000 <<'EOF'
Key-Type: RSA
Key-Length: 2048
Key-Usage: sign
Subkey-Type: RSA
Subkey-Length: 2048
Subkey-Usage: encrypt
Name-Real: Expired
Name-Email: expired@example.org
Expire-Date: 1y
%no-protection
%commit
EOF

gen secret <<'EOF'
Key-Type: RSA
Key-Length: 2048
Key-Usage: sign
Subkey-Type: RSA
Subkey-Length: 2048
Subkey-Usage: encrypt
Name-Real: Secret
Name-Email: secret@example.org
Expire-Date: 0
Passphrase: correct horse
%commit
EOF

gen juergen <<'EOF'
Key-Type: RSA
Key-Length: 2048
Key-Usage: sign
Subkey-Type: RSA
Subkey-Length: 2048
Subkey-Usage: encrypt
Name-Real: Jürgen Müller
Name-Email: juergen@example.org
Expire-Date: 0
%no-protection
%commit
EOF

names=(alice bob carol dave signer encrypter revoked expired secret juergen)
declare -A email=(
  [alice]=alice@example.org [bob]=bob@example.org [carol]=carol@example.org
  [dave]=dave@example.org [signer]=signer@example.org [encrypter]=encrypter@example.org
  [revoked]=revoked@example.org [expired]=expired@example.org [secret]=secret@example.org
  [juergen]=juergen@example.org
)
declare -A props=(
  [alice]="rsa2048,sign,encrypt"
  [bob]="rsa2048,sign,encrypt"
  [carol]="rsa2048,sign,encrypt"
  [dave]="ed25519,cv25519,sign,encrypt"
  [signer]="rsa2048,sign"
  [encrypter]="rsa2048,encrypt"
  [revoked]="rsa2048,sign,encrypt,revoked"
  [expired]="rsa2048,sign,encrypt,expired"
  [secret]="rsa2048,sign,encrypt,passphrase"
  [juergen]="rsa2048,sign,encrypt,non-ascii"
)

# fpr NAME: fingerprint of the primary key; subid NAME: key id of the encryption subkey or "-".
fpr() {
  gpg_b --with-colons --fingerprint "<${email[$1]}>" | awk -F: '$1=="fpr" {print $10; exit}'
}
subid() {
  gpg_b --with-colons --list-keys "<${email[$1]}>" |
    awk -F: '$1=="sub" && $12 ~ /e/ {print $5; found=1; exit} END {if (!found) print "-"}'
}

# Revoke "revoked" with the certificate gpg made at generation (its first line is disarmed by a
# leading colon so that it cannot be imported by accident).
rev_fpr="$(fpr revoked)"
sed 's/^:-----BEGIN/-----BEGIN/' "$GNUPGHOME/openpgp-revocs.d/$rev_fpr.rev" >"$work/revoked.rev.asc"
gpg_b --import "$work/revoked.rev.asc"

rm -rf "$out"
mkdir -p "$out"
cp "$work/revoked.rev.asc" "$out/revoked.rev.asc"

{
  echo "# Test keys made by scripts/make-test-keys.sh; one key per line, fields separated by tabs:"
  echo "# name, fingerprint, key id, encryption subkey id (- for none), properties, user id."
  echo "# Every secret key is unprotected except \"secret\" (passphrase \"correct horse\")."
} >"$out/keys.txt"

for name in "${names[@]}"; do
  f="$(fpr "$name")"
  uid="$(gpg_b --with-colons --list-keys "$f" | awk -F: '$1=="uid" {print $10; exit}')"
  # gpg escapes some characters in colon listings (\x3a for ':'); none of these user ids has one.
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$f" "${f: -16}" "$(subid "$name")" \
    "${props[$name]}" "$uid" >>"$out/keys.txt"
  gpg_b --armor --export "$f" >"$out/$name.pub.asc"
  if [ "$name" = secret ]; then
    gpg_b --pinentry-mode loopback --passphrase "correct horse" --armor \
      --export-secret-keys "$f" >"$out/$name.sec.asc"
  else
    gpg_b --armor --export-secret-keys "$f" >"$out/$name.sec.asc"
  fi
done

# Ownertrust: every key is trusted ultimately, as the user's own keys are.
for name in "${names[@]}"; do
  echo "$(fpr "$name"):6:"
done >"$out/ownertrust.txt"

echo "Wrote $(ls "$out" | wc -l) files to $out"
