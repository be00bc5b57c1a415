// The per-user settings of the product under HKEY_CURRENT_USER "Software\Orvel\Zembra".
#pragma once

#include "platform/core/registry.h"

inline constexpr char kSettingsKeyPath[] = "Software\\Orvel\\Zembra";
inline constexpr char kUseDefaultKeysValue[] = "Use default keys";
inline constexpr char kDefaultKeysValue[] = "Default keys";

// Both are exported with C linkage, for programs outside the product.
extern "C" {

// Reads "Use default keys" into value (0 first, so a failure leaves 0). A null key opens the
// settings key itself and closes it again; a key handed in stays open. Returns the Win32 status
// of the open or of the query; value is meaningful only on ERROR_SUCCESS.
LONG LoadUseDefaultKeys(HKEY key, DWORD& value);

// Writes "Use default keys" as REG_DWORD. A null key creates or opens the settings key; any
// failure is ignored.
void SaveUseDefaultKeys(HKEY key, DWORD value);

}  // extern "C"

// SaveUseDefaultKeys with the registry's result: ERROR_SUCCESS, or the status of the create or
// of the write that failed, for a window that says so in its log.
LONG StoreUseDefaultKeys(HKEY key, DWORD value);

// Writes one log line saying that the named setting was not saved, and why.
void LogSettingNotSaved(const char* valueName, LONG status);
