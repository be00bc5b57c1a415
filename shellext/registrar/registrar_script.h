// The registrar's script language, as registration scripts of COM servers are written:
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {GUID} = s 'Class name'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// Tokens are separated by white space; a quoted text ('...', a quote inside written '') is one
// token. A key is an optional flag (ForceRemove, NoRemove, Delete), its name, an optional
// default value "= TYPE 'data'" and an optional block of subkeys and "val NAME = TYPE 'data'"
// named values. TYPE is s (string), d (DWORD, decimal or 0x hex) or b (hex bytes).
// %NAME% is replaced from the given table before the script is read; %% is a percent sign.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "shellext/com/com_types.h"

struct ScriptValue {
  DWORD type = 0;    // REG_SZ, REG_DWORD or REG_BINARY
  std::string data;  // the text (REG_SZ), or the bytes
};

struct ScriptNamedValue {
  std::string name;
  ScriptValue value;
};

struct ScriptKey {
  enum class Flag { None, ForceRemove, NoRemove, Delete };
  Flag flag = Flag::None;
  std::string name;
  bool hasDefault = false;
  ScriptValue defaultValue;
  std::vector<ScriptNamedValue> values;
  std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
  std::string hive;  // as written: HKCR, HKEY_CLASSES_ROOT, HKCU, HKLM, ...
  std::vector<ScriptKey> keys;
};

struct ParsedScript {
  bool ok = false;
  std::string error;  // "line N: ..." when not ok
  std::vector<ScriptRoot> roots;
};

using ScriptReplacements = std::map<std::string, std::string>;

// Reads a whole script. Never throws for any input and never recurses deeper than a fixed
// nesting limit, so it may be fed anything.
ParsedScript ParseRegistrarScript(std::string_view text, const ScriptReplacements& replacements);

// Registration writes the script's keys and values; removal deletes what the flags allow
// (ForceRemove and Delete keys with their subkeys; unflagged keys once no subkeys are left;
// NoRemove keys never, only their listed named values). Keys already missing at removal are no
// failure. Returns S_OK or the first failure as an HRESULT.
HRESULT RunRegistrarScript(const ParsedScript& script, bool registering);
