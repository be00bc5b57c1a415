// Text decoding on any bytes: what is shown is valid UTF-8, conversions to wide text and back
// keep valid UTF-8 as it is, and the registry's case folding is stable.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/core/registry_hive.h"
#include "platform/core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(IsValidUtf8(DisplayText(bytes)));
  if (IsValidUtf8(bytes)) {
    FUZZ_CHECK(DisplayText(bytes) == bytes);
    FUZZ_CHECK(WideToUtf8(Utf8ToWide(bytes)) == bytes);
  }
  std::string folded = registry_detail::FoldName(bytes);
  FUZZ_CHECK(registry_detail::FoldName(folded) == folded);
  FUZZ_CHECK(IsValidUtf8(folded) == IsValidUtf8(bytes));
  return 0;
}
