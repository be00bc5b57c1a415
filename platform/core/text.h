// Text helpers. Paths are native byte strings; user-visible text is UTF-8.
#pragma once

#include <string>
#include <string_view>

// The bytes as valid UTF-8 for showing to a person: invalid bytes become "\xNN", nothing is
// dropped.
std::string DisplayText(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

// ASCII case-insensitive comparisons, as the product compares file name endings.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EndsWithNoCase(std::string_view text, std::string_view ending);

// Reads a decimal integer as the C library's atoi family does: leading white space, an optional
// sign, digits up to the first other character; no digits gives 0.
int ParseLeadingInt(std::string_view text);

// Conversions between wide (wchar_t) text and UTF-8; empty for empty input.
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
