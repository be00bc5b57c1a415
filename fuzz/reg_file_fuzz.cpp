// The .reg import of zembra-reg on any file. Whatever it accepts, it bounds (key names, depth,
// no NUL in names), and every value it reads, written back as an export line, reads back the
// same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/core/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view content(reinterpret_cast<const char*>(data), size);
  std::vector<RegFileEdit> edits;
  RegFileError error;
  if (!ParseRegFile(content, edits, error)) {
    FUZZ_CHECK(!error.message.empty());
    return 0;
  }
  for (const RegFileEdit& edit : edits) {
    FUZZ_CHECK(RegKeyPathProblem(edit.key).empty());
    FUZZ_CHECK(edit.valueName.find('\0') == std::string::npos);
    if (edit.kind != RegFileEdit::Kind::SetValue) continue;
    std::string file = std::string(kRegFileHeader) + "\n[HKEY_CURRENT_USER\\X]\n" +
                       RegFileValueLine(edit.valueName, edit.type, edit.data) + "\n";
    std::vector<RegFileEdit> again;
    RegFileError againError;
    FUZZ_CHECK(ParseRegFile(file, again, againError));
    FUZZ_CHECK(again.size() == 2);
    FUZZ_CHECK(again[1].valueName == edit.valueName);
    FUZZ_CHECK(again[1].type == edit.type);
    FUZZ_CHECK(again[1].data == edit.data);
  }
  return 0;
}
