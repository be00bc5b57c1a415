#include "platform/core/format.h"

#include <cstdint>

namespace {

struct Conversion {
  bool left = false;
  bool zero = false;
  bool plus = false;
  bool space = false;
  bool alternate = false;
  int width = 0;
  int precision = -1;
  int bits = 32;  // the width a negative value takes with %u, %x, %o (from h, hh, l, ll...)
};

// Length in characters (code points) of UTF-8 text: widths and precisions count what a reader
// sees, as the wide printf family counted characters rather than bytes.
std::size_t CharCount(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

// The first `count` characters of s, never cutting a character in two.
std::string_view FirstChars(std::string_view s, std::size_t count) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (n == count) return s.substr(0, i);
      ++n;
    }
  }
  return s;
}

void Pad(std::string& out, const Conversion& conv, std::string_view prefix, std::string_view body,
         std::size_t bodyChars, bool zeroPadAllowed) {
  std::size_t length = prefix.size() + bodyChars;
  std::size_t fill = conv.width > 0 && static_cast<std::size_t>(conv.width) > length
                         ? static_cast<std::size_t>(conv.width) - length
                         : 0;
  if (conv.left) {
    out.append(prefix).append(body).append(fill, ' ');
  } else if (conv.zero && zeroPadAllowed) {
    out.append(prefix).append(fill, '0').append(body);
  } else {
    out.append(fill, ' ').append(prefix).append(body);
  }
}

std::string Digits(std::uint64_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string s;
  do {
    s.insert(s.begin(), digits[value % base]);
    value /= base;
  } while (value != 0);
  return s;
}

void FormatInteger(std::string& out, const Conversion& conv, char conversion, long long value) {
  std::string prefix;
  std::uint64_t magnitude;
  unsigned base = 10;
  if (conversion == 'd' || conversion == 'i') {
    magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    if (value < 0) {
      prefix = "-";
    } else if (conv.plus) {
      prefix = "+";
    } else if (conv.space) {
      prefix = " ";
    }
  } else {
    // A negative value shows as its two's complement in the argument's width, as printf shows
    // an int's -1 as ffffffff; a value is never cut otherwise.
    magnitude = static_cast<std::uint64_t>(value);
    if (value < 0 && conv.bits < 64) magnitude &= (std::uint64_t{1} << conv.bits) - 1;
    if (conversion == 'o') base = 8;
    if (conversion == 'x' || conversion == 'X') base = 16;
  }
  std::string digits = Digits(magnitude, base, conversion == 'X');
  if (conv.precision == 0 && magnitude == 0) digits.clear();
  if (conv.precision > 0 && digits.size() < static_cast<std::size_t>(conv.precision)) {
    digits.insert(0, static_cast<std::size_t>(conv.precision) - digits.size(), '0');
  }
  if (conv.alternate && magnitude != 0) {
    if (conversion == 'x') prefix = "0x";
    if (conversion == 'X') prefix = "0X";
  }
  if (conv.alternate && conversion == 'o' && (digits.empty() || digits[0] != '0')) {
    digits.insert(0, "0");
  }
  Pad(out, conv, prefix, digits, digits.size(), conv.precision < 0);
}

void FormatPointer(std::string& out, const Conversion& conv, long long value) {
  // As the GNU C library prints %p.
  if (value == 0) {
    Pad(out, conv, "", "(nil)", 5, false);
    return;
  }
  std::string digits = Digits(static_cast<std::uint64_t>(value), 16, false);
  Pad(out, conv, "0x", digits, digits.size(), conv.precision < 0);
}

void FormatChar(std::string& out, const Conversion& conv, long long value) {
  std::string body;
  auto cp = static_cast<std::uint32_t>(value);
  if (cp < 0x80) {
    body += static_cast<char>(cp);
  } else if (cp < 0x800) {
    body += static_cast<char>(0xC0 | (cp >> 6));
    body += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000 && (cp < 0xD800 || cp > 0xDFFF)) {
    body += static_cast<char>(0xE0 | (cp >> 12));
    body += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    body += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp >= 0x10000 && cp <= 0x10FFFF) {
    body += static_cast<char>(0xF0 | (cp >> 18));
    body += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    body += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    body += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    body = "\xEF\xBF\xBD";  // U+FFFD
  }
  Pad(out, conv, "", body, 1, false);
}

int ReadNumber(std::string_view format, std::size_t& i) {
  int n = 0;
  while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
    if (n < 100000) n = n * 10 + (format[i] - '0');  // a silly width stays bounded
    ++i;
  }
  return n;
}

}  // namespace

std::string FormatTextV(std::string_view format, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 32);
  const FormatArg* next = args.begin();
  auto take = [&]() -> const FormatArg* { return next != args.end() ? next++ : nullptr; };

  std::size_t i = 0;
  while (i < format.size()) {
    std::size_t percent = format.find('%', i);
    if (percent == std::string_view::npos) {
      out.append(format.substr(i));
      break;
    }
    out.append(format.substr(i, percent - i));
    i = percent + 1;

    Conversion conv;
    for (; i < format.size(); ++i) {
      char c = format[i];
      if (c == '-')
        conv.left = true;
      else if (c == '0')
        conv.zero = true;
      else if (c == '+')
        conv.plus = true;
      else if (c == ' ')
        conv.space = true;
      else if (c == '#')
        conv.alternate = true;
      else
        break;
    }
    conv.width = ReadNumber(format, i);
    if (i < format.size() && format[i] == '.') {
      ++i;
      conv.precision = ReadNumber(format, i);
    }
    // Length modifiers: C's and the Windows ones (w, I, I32, I64). For text they change
    // nothing: every text argument is UTF-8 already.
    while (i < format.size()) {
      char c = format[i];
      if (c == 'h') {
        conv.bits = conv.bits == 16 ? 8 : 16;
      } else if (c == 'l' || c == 'L' || c == 'q' || c == 'j' || c == 'z' || c == 't') {
        conv.bits = 64;
      } else if (c == 'w') {
      } else if (c == 'I') {
        conv.bits = 64;
        if (format.substr(i + 1, 2) == "64") {
          i += 2;
        } else if (format.substr(i + 1, 2) == "32") {
          conv.bits = 32;
          i += 2;
        }
      } else {
        break;
      }
      ++i;
    }
    if (i >= format.size()) {  // a conversion cut off by the end stays as written
      out.append(format.substr(percent));
      break;
    }
    char conversion = format[i++];
    switch (conversion) {
      case '%': out += '%'; break;
      case 's':
      case 'S': {
        const FormatArg* arg = take();
        if (!arg || arg->kind() != FormatArg::Kind::Text) break;
        std::string_view text = arg->text();
        if (conv.precision >= 0) text = FirstChars(text, static_cast<std::size_t>(conv.precision));
        Pad(out, conv, "", text, CharCount(text), false);
        break;
      }
      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X': {
        const FormatArg* arg = take();
        if (arg && arg->kind() == FormatArg::Kind::Int) {
          FormatInteger(out, conv, conversion, arg->integer());
        }
        break;
      }
      case 'c':
      case 'C': {
        const FormatArg* arg = take();
        if (arg && arg->kind() == FormatArg::Kind::Int) FormatChar(out, conv, arg->integer());
        break;
      }
      case 'p': {
        const FormatArg* arg = take();
        if (arg && arg->kind() == FormatArg::Kind::Pointer)
          FormatPointer(out, conv, arg->integer());
        break;
      }
      default:  // unknown: copied as written, taking no argument
        out.append(format.substr(percent, i - percent));
        break;
    }
  }
  return out;
}
