// The shared MIME database's globs2 text on any bytes: every type found is named once, is a
// whole field of one line, and a line added for the extension is found.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "zembra/associations/mime_globs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> types = MimeTypesFromGlobs2(text, ".gpg");
  for (std::size_t i = 0; i < types.size(); ++i) {
    FUZZ_CHECK(!types[i].empty());
    FUZZ_CHECK(types[i].find_first_of(":\n") == std::string::npos);
    for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(types[i] != types[j]);
  }
  const std::string added = text + "\n50:application/x-zembra-probe:*.GPG\n";
  const std::vector<std::string> more = MimeTypesFromGlobs2(added, ".gpg");
  const std::string probe = "application/x-zembra-probe";
  const bool known = std::find(types.begin(), types.end(), probe) != types.end();
  FUZZ_CHECK(std::find(more.begin(), more.end(), probe) != more.end());
  FUZZ_CHECK(more.size() == types.size() + (known ? 0 : 1));
  return 0;
}
