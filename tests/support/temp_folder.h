// A fresh folder under /tmp for one test, removed with everything in it at the end. The path is
// short ("/tmp/zk-XXXXXX") because gpg-agent's socket path inside it must stay short.
#pragma once

#include <string>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return m_path; }
  // path() + "/" + relative.
  std::string path(const std::string& relative) const { return m_path + "/" + relative; }

 private:
  std::string m_path;
};

// Writes a whole file (mode 0666 less the umask); throws on failure.
void WriteFile(const std::string& path, const std::string& content);
// Reads a whole file; throws on failure.
std::string ReadFile(const std::string& path);
