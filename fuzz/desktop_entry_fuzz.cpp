// Desktop entries on any input: arguments quoted for an Exec line and escaped as a string value
// read back as the same arguments, through our own entry too; reading a key from any text never
// yields a value that spans lines.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "zembra/associations/desktop_entry.h"

namespace {

std::string Argument(FuzzedDataProvider& input) {
  std::string text = input.ConsumeRandomLengthString(256);
  std::erase(text, '\0');  // a path or an argument holds no NUL
  return text;
}

std::vector<std::string> ExecArguments(const std::string& text, std::string_view group) {
  const std::optional<std::string> exec = DesktopEntryValue(text, group, "Exec");
  FUZZ_CHECK(exec.has_value());
  return SplitExecLine(UnescapeDesktopString(*exec));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<std::string> args;
  const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(1, 4);
  for (std::size_t i = 0; i < count; ++i) args.push_back(Argument(input));

  std::string exec;
  for (const std::string& arg : args) exec += (exec.empty() ? "" : " ") + QuoteExecArgument(arg);
  const std::string line = "Exec=" + EscapeDesktopString(exec);
  FUZZ_CHECK(line.find('\n') == std::string::npos);
  FUZZ_CHECK(SplitExecLine(UnescapeDesktopString(EscapeDesktopString(exec))) == args);

  const std::string entry =
      MakeDesktopEntry(args[0], {"application/pgp-encrypted"}, "Zembra", "File associations");
  FUZZ_CHECK(ExecArguments(entry, "Desktop Entry") == (std::vector<std::string>{args[0], "%f"}));
  FUZZ_CHECK(ExecArguments(entry, "Desktop Action associations") ==
             (std::vector<std::string>{args[0], "--associations"}));

  const std::string text = input.ConsumeRemainingBytesAsString();
  const std::optional<std::string> value = DesktopEntryValue(text, "Desktop Entry", "Exec");
  if (value) {
    FUZZ_CHECK(value->find('\n') == std::string::npos);
    SplitExecLine(UnescapeDesktopString(*value));
  }
  for (const std::string& item : SplitDesktopList(text))
    FUZZ_CHECK(item.find(';') == std::string::npos);
  return 0;
}
