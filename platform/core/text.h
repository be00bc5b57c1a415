// Text helpers. Paths are native byte strings; user-visible text is UTF-8.
#pragma once

#include <string>
#include <string_view>

// The bytes as valid UTF-8 for showing to a person: invalid bytes become "\xNN", nothing is
// dropped.
std::string DisplayText(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

// The bytes as valid UTF-8 where a broken character becomes one U+FFFD replacement character.
std::string ReplaceInvalidUtf8(std::string_view bytes);

// Decodes one UTF-8 character at text[i] (i < text.size()) and advances i past it. Returns the
// code point, or -1 for an invalid sequence (overlong forms, surrogates and values above
// U+10FFFF included); i then advances past the longest prefix that could have begun a valid
// character (at least one byte), so one replacement stands for one broken character.
long DecodeUtf8(std::string_view text, std::size_t& i);

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// ASCII case-insensitive comparisons, as the product compares file name endings.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EndsWithNoCase(std::string_view text, std::string_view ending);

// Reads a decimal integer as the C library's atoi family does: leading white space, an optional
// sign, digits up to the first other character; no digits gives 0. A value out of range
// clamps to INT_MAX or INT_MIN (as _wtoi does), so it never wraps into another number.
int ParseLeadingInt(std::string_view text);

// Conversions between wide (wchar_t, UTF-32 here) text and UTF-8; empty for empty input.
// What cannot be converted (broken UTF-8, surrogates, values above U+10FFFF) becomes U+FFFD.
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
