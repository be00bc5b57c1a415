#include "platform/core/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/core/files.h"
#include "platform/core/process.h"

namespace {

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat st{};
  if (::stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  if (!MakeFolders(FolderOf(folder))) return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

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
  if (!MakeFolders(FolderOf(path))) return false;
  CommittedOutput output(path);
  if (!output.Open()) return false;
  if (WriteFd(output.fd(), content.data(), content.size()) < 0) return false;
  return output.Commit();
}
