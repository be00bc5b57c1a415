// Upkeep of a key of the ring: its passphrase, its expiry, its owner trust and the revocation
// certificate GnuPG keeps for it. Secrets are asked by GnuPG's own pinentry; each function logs
// what it does and returns an Outcome.
#pragma once

#include <gpgme.h>

#include <cstdint>
#include <string>

#include "zembra/keys/key_list.h"
#include "zembra/operations/outcome.h"

// Asks the pinentry for the old passphrase and the new one (twice) and protects the key's
// secret parts with the new one. A cancel or a wrong old passphrase leaves the old one.
Outcome ChangePassphrase(gpgme_ctx_t ctx, gpgme_key_t key);

// Makes the primary key and its usable subkeys expire at expires (seconds since 1970, UTC), or
// never for 0. A time not after now is refused before anything reaches the engine.
Outcome ChangeExpiry(gpgme_ctx_t ctx, gpgme_key_t key, std::int64_t expires, std::int64_t now);
// The end of the calendar day (UTC) of a date the user picked: the key is valid all that day.
std::int64_t EndOfDay(int year, int month, int day);

// The choices of owner trust, in the order GnuPG offers them.
enum class OwnerTrust { Unknown, None, Marginal, Full, Ultimate };
// "unknown", "none", "marginal", "full", "ultimate".
const char* OwnerTrustName(OwnerTrust trust);
// Sets the key's owner trust in the trust database, as "gpg --edit-key KEY trust" does.
Outcome SetOwnerTrust(gpgme_ctx_t ctx, gpgme_key_t key, OwnerTrust trust);

// The revocation certificate GnuPG made with the key: its file as the outcome's output, or the
// outcome ended (and logged) with "GnuPG keeps no revocation certificate ..." when there is none.
Outcome FindRevocationCertificate(gpgme_ctx_t ctx, gpgme_key_t key);
// Copies the revocation certificate GnuPG made with the key (<home>/openpgp-revocs.d/<FPR>.rev)
// to path, readable by its owner alone; the file appears only complete. A key without one
// says so and writes nothing.
Outcome ExportRevocationCertificate(gpgme_ctx_t ctx, gpgme_key_t key, const std::string& path);

// The key as the ring holds it now (after a change by Zembra or by another program); a null
// handle, with the error logged, when it is gone.
CKeyHandle ReloadKey(gpgme_ctx_t ctx, gpgme_key_t key);
