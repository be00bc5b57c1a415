// mimeapps.list editing on any text: after the claim our program is the first default for the
// type; taking it back gives the type its earlier programs again and keeps every other line.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "zembra/associations/desktop_entry.h"
#include "zembra/associations/mimeapps_list.h"

namespace {

// A MIME type or desktop id: letters, digits and the few signs they use, never empty.
std::string Name(FuzzedDataProvider& input, std::string_view fallback) {
  static constexpr std::string_view kAllowed =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/.+-_";
  std::string name;
  for (char c : input.ConsumeRandomLengthString(40))
    if (kAllowed.find(c) != std::string_view::npos) name += c;
  return name.empty() ? std::string(fallback) : name;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The text's lines (line ends and trailing CRs aside) without what the edits may add or take
// away: blank lines, headers of the edited group, and lines of the type that list no program.
std::vector<std::string> OtherLines(std::string_view text, std::string_view type) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    start = end + 1;
    while (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    if (line.compare(first, 22, "[Default Applications]") == 0) continue;
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos && Trimmed(std::string_view(line).substr(0, equals)) == type &&
        SplitDesktopList(line.substr(equals + 1)).empty()) {
      continue;
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string type = Name(input, "application/pgp-encrypted");
  const std::string id = Name(input, "zembra.desktop");
  const std::string text = input.ConsumeRemainingBytesAsString();

  const std::vector<std::string> before = ListedApplications(text, kDefaultApplications, type);
  const std::string claimed = AddDefaultApplication(text, type, id);
  const std::vector<std::string> after = ListedApplications(claimed, kDefaultApplications, type);
  FUZZ_CHECK(!after.empty() && after.front() == id);
  FUZZ_CHECK(AddDefaultApplication(claimed, type, id) == claimed);
  if (claimed == text) return 0;

  const std::string restored = RemoveDefaultApplication(claimed, type, id);
  // A line of the type left listing nothing goes; a later line of the same key may then show.
  if (!before.empty())
    FUZZ_CHECK(ListedApplications(restored, kDefaultApplications, type) == before);
  FUZZ_CHECK(OtherLines(restored, type) == OtherLines(text, type));
  return 0;
}
