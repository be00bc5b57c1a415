// The formatter with hostile formats and arguments: the input is a format, then arguments, each
// one byte of kind followed by its text or integer. Valid UTF-8 in gives valid UTF-8 out: no
// width or precision cuts a character in two.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/core/format.h"
#include "platform/core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t cut = input.find('\n');
  std::string_view format = input.substr(0, cut);
  std::string_view rest =
      cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
  std::vector<std::string> texts;
  texts.reserve(rest.size());
  std::vector<FormatArg> args;
  bool textsValid = true;
  while (!rest.empty() && args.size() < 16) {
    unsigned char kind = static_cast<unsigned char>(rest[0]) % 3;
    rest.remove_prefix(1);
    if (kind == 0) {
      std::size_t end = rest.find('\n');
      texts.emplace_back(rest.substr(0, end));
      textsValid = textsValid && IsValidUtf8(texts.back());
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      args.emplace_back(std::string_view(texts.back()));
    } else {
      long long value = 0;
      std::size_t n = rest.size() < sizeof value ? rest.size() : sizeof value;
      std::memcpy(&value, rest.data(), n);
      rest.remove_prefix(n);
      if (kind == 1)
        args.emplace_back(value);
      else
        args.emplace_back(reinterpret_cast<const void*>(static_cast<std::intptr_t>(value)));
    }
  }
  std::string out;
  switch (args.size()) {
    case 0: out = FormatTextV(format, {}); break;
    case 1: out = FormatTextV(format, {args[0]}); break;
    case 2: out = FormatTextV(format, {args[0], args[1]}); break;
    default: out = FormatTextV(format, {args[0], args[1], args[2]}); break;
  }
  if (IsValidUtf8(format) && textsValid) FUZZ_CHECK(IsValidUtf8(out));
  return 0;
}
