// The default keys as the settings hold them: "Default keys" under HKEY_CURRENT_USER
// "Software\Orvel\Zembra", the long key ids joined by ";" with one terminating NUL counted in the
// stored length (REG_BINARY).
#pragma once

#include <gpgme.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/registry.h"
#include "zembra/keys/key_list.h"

// The stored text split at each ";", in stored order; the text ends at the first NUL byte or at
// the end of the data. Empty ids (adjacent or trailing separators) are kept, as stored.
std::vector<std::string> SplitKeyIds(std::string_view stored);

// True for a non-empty run of hexadecimal digits: the only ids that are looked up.
bool IsKeyIdText(std::string_view id);

// Reads "Default keys" from an open settings key. False when it is missing, unreadable or shorter
// than 8 bytes (which counts as absent).
bool ReadDefaultKeyIds(HKEY key, std::string* stored);

// Looks each id up in ctx (public keys) and appends the key whose own key id is the stored one.
// Anything else is skipped with one "Error: %hs\n" line: an id that is not hexadecimal digits
// (never passed to the lookup, where it could match some other key), an id the key ring no
// longer holds, or one that finds a key under another id (a subkey's id, a short id).
void AppendKeysById(gpgme_ctx_t ctx, const std::vector<std::string>& ids, CKeyHandleArray& keys);

// The long key id of the key's first subkey ("" when it has none).
std::string LongKeyId(gpgme_key_t key);

// Creates or opens the settings key and writes "Default keys" (the ids joined by ";", with its
// NUL) and "Use default keys" (0 or 1). The first failure writes one log line and ends the save.
void SaveDefaultKeys(const std::string& joinedIds, bool useDefaultKeys);

// What an opening window starts with. Appends the stored keys that ctx finds to defaults, and one
// null handle after them when there are any; reads "Use default keys" into use unless use is set
// already (a flag the launcher set is not read again). Without the settings key nothing changes.
void LoadStoredDefaultKeys(gpgme_ctx_t ctx, CKeyHandleArray& defaults, bool& use);

// Appends the chosen keys (references of their own) and one null handle to defaults and saves
// their ids with use. Nothing, and nothing saved, when none is chosen.
void ChooseDefaultKeys(CKeyArray& chosen, bool use, CKeyHandleArray& defaults);

// Appends the usable keys of ctx that can sign to defaults, then one null handle, and saves them
// with "Use default keys" 1. False, with nothing saved, when no key can sign.
bool MakeSigningKeysDefault(gpgme_ctx_t ctx, CKeyHandleArray& defaults);

// Saves "Use default keys" as the check box shows it; a value that could not be saved is said
// once in the log.
void SaveUseDefaultKeysChoice(bool use);
