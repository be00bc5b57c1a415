// printf-style formatting that is type-safe and never uses a value as a format.
// "%s", "%ls" and "%hs" take text, "%d" (and "%u", "%x") an integer, "%p" a pointer, "%%" a
// percent sign; flags, width and precision work as in printf ("%4d", "%02d").
// A conversion without an argument, or with one of the wrong kind, formats as empty (and uses
// that argument up). An unknown conversion is copied as written and takes no argument. Widths
// and precisions of text count characters, and a precision never cuts a character in two.
// Integers are never cut: "%d" shows a 64-bit value whole; a negative value under "%u"/"%x"
// shows in the width its length modifier names (32 bits without one), as printf shows an int.
// "%p" prints as the GNU C library does ("0x..." or "(nil)").
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class FormatArg {
 public:
  enum class Kind { Text, Int, Pointer };
  FormatArg(std::string_view s) : m_kind(Kind::Text), m_text(s) {}
  FormatArg(const std::string& s) : m_kind(Kind::Text), m_text(s) {}
  FormatArg(const char* s) : m_kind(Kind::Text), m_text(s ? s : "") {}
  FormatArg(int v) : m_kind(Kind::Int), m_int(v) {}
  FormatArg(long v) : m_kind(Kind::Int), m_int(v) {}
  FormatArg(long long v) : m_kind(Kind::Int), m_int(v) {}
  FormatArg(unsigned v) : m_kind(Kind::Int), m_int(v) {}
  FormatArg(unsigned long v) : m_kind(Kind::Int), m_int(static_cast<long long>(v)) {}
  FormatArg(unsigned long long v) : m_kind(Kind::Int), m_int(static_cast<long long>(v)) {}
  FormatArg(const void* p) : m_kind(Kind::Pointer), m_int(reinterpret_cast<std::intptr_t>(p)) {}

  Kind kind() const { return m_kind; }
  std::string_view text() const { return m_text; }
  long long integer() const { return m_int; }

 private:
  Kind m_kind;
  std::string_view m_text;
  long long m_int = 0;
};

std::string FormatTextV(std::string_view format, std::initializer_list<FormatArg> args);

template <typename... Args>
std::string FormatText(std::string_view format, const Args&... args) {
  return FormatTextV(format, {FormatArg(args)...});
}
