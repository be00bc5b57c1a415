#include <cstdio>

#include "shellext/com/com_types.h"

std::string GuidToRegistryString(const GUID& g) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads count hex digits at text[pos]; false when one is missing.
bool ReadHex(std::string_view text, std::size_t pos, int count, std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    int d = HexDigit(text[pos + static_cast<std::size_t>(i)]);
    if (d < 0) return false;
    value = value << 4 | static_cast<std::uint32_t>(d);
  }
  return true;
}

}  // namespace

bool GuidFromString(std::string_view t, GUID& guid) {
  if (t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' || t[14] != '-' ||
      t[19] != '-' || t[24] != '-')
    return false;
  std::uint32_t v = 0;
  GUID g{};
  if (!ReadHex(t, 1, 8, v)) return false;
  g.Data1 = v;
  if (!ReadHex(t, 10, 4, v)) return false;
  g.Data2 = static_cast<std::uint16_t>(v);
  if (!ReadHex(t, 15, 4, v)) return false;
  g.Data3 = static_cast<std::uint16_t>(v);
  const std::size_t bytes[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(t, bytes[i], 2, v)) return false;
    g.Data4[i] = static_cast<std::uint8_t>(v);
  }
  guid = g;
  return true;
}
