// The association table and the program that associated files open with.
#include "platform/core/process.h"
#include "zembra/associations/file_associations.h"

FileAssociation g_fileAssociations[kFileAssociationCount] = {
    {".gpg", "Zembra.Encrypted", "Zembra encrypted file", 0, std::nullopt, 0, 0},
    {".pgp", "Zembra.Encrypted", "Zembra encrypted file", 0, std::nullopt, 0, 0},
    {".asc", "Zembra.Key", "Zembra key file", 0, std::nullopt, 0, 0},
};

void ReplaceExtension(std::string& path, std::string_view extension) {
  const std::string_view bare =
      !extension.empty() && extension.front() == '.' ? extension.substr(1) : extension;
  for (std::size_t i = path.size(); i-- > 1;) {
    const char c = path[i];
    if (c == '.') {
      path.resize(i + 1);
      path += bare;
      return;
    }
    if (c == '\\' || c == '/' || c == ':') break;
  }
  if (extension.empty() || extension.front() != '.') path += '.';
  path += extension;
}

std::string ProgramPathForLibrary(const std::string& libraryPath) {
  const std::size_t slash = libraryPath.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::string name = libraryPath.substr(nameStart);
  const std::size_t so = name.find(".so");
  if (so != std::string::npos && (so + 3 == name.size() || name[so + 3] == '.')) name.resize(so);
  if (name.size() > 3 && name.compare(0, 3, "lib") == 0) name.erase(0, 3);
  return libraryPath.substr(0, nameStart) + name;
}

namespace {
// An address that is surely inside this library: a program that uses g_fileAssociations may
// hold its own copy of the table (a copy relocation), and then dladdr on the table names the
// program, which would make every associated file start that program.
const char kModuleAnchor = 0;
}  // namespace

std::string AssociationProgramPath() { return ProgramPathForLibrary(ModulePathOf(&kModuleAnchor)); }
