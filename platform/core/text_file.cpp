#include "platform/core/text_file.h"

#include <fcntl.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/core/files.h"
#include "platform/core/process.h"

int ReadTextFile(const std::string& path, std::string& content) {
  content.clear();
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return errno;
  char buffer[8192];
  for (;;) {
    const std::int64_t n = ReadFd(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      const int error = errno;
      content.clear();
      return error;
    }
    if (n == 0) return 0;
    content.append(buffer, static_cast<std::size_t>(n));
  }
}

bool WriteTextFile(const std::string& path, const std::string& content) {
  const std::string folder = FolderOf(path);
  std::error_code error;
  if (!folder.empty() && !std::filesystem::create_directories(folder, error) && error) {
    errno = error.value();
    return false;
  }
  CommittedOutput output(path);
  if (!output.Open()) return false;
  if (WriteFd(output.fd(), content.data(), content.size()) < 0) return false;
  return output.Commit();
}
