// A copied file list on any bytes: every path read is absolute and holds no NUL; absolute paths
// written in either form read back the same, in order, whatever their bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/gui/file_uri_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const std::string& path : PathsOfUriList(bytes)) {
    FUZZ_CHECK(!path.empty() && path.front() == '/');
    FUZZ_CHECK(path.find('\0') == std::string::npos);
  }
  FuzzedDataProvider input(data, size);
  std::vector<std::string> paths;
  while (input.remaining_bytes() > 0 && paths.size() < 8) {
    std::string path = "/" + input.ConsumeRandomLengthString(128);
    std::erase(path, '\0');
    paths.push_back(std::move(path));
  }
  FUZZ_CHECK(PathsOfUriList(UriListOfPaths(paths)) == paths);
  FUZZ_CHECK(PathsOfUriList(GnomeCopiedFilesOfPaths(paths)) == paths);
  return 0;
}
