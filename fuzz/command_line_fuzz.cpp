// The command-line splitter and the launcher's reading of argument 1 (the command number), on
// any line. Every argument after argument 0 quoted and split again comes back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/core/process.h"
#include "platform/core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args = SplitCommandLine(line);
  FUZZ_CHECK(line.empty() == args.empty());
  if (args.size() >= 2) ParseLeadingInt(args[1]);
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::vector<std::string> again = SplitCommandLine("zembra " + QuoteArgument(args[i]));
    FUZZ_CHECK(again.size() == 2 && again[1] == args[i]);
  }
  // A number that reads as 0 had no leading digit other than zeros.
  if (ParseLeadingInt(line) != 0) FUZZ_CHECK(line.find_first_of("123456789") != line.npos);
  return 0;
}
