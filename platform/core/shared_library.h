// A shared library loaded at run time (dlopen), closed with the object unless kept.
#pragma once

#include <string>

class SharedLibrary {
 public:
  // Loads the file with every symbol bound now and none shared with later loads; ok() tells
  // whether it loaded, error() why not.
  explicit SharedLibrary(const std::string& file);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  bool ok() const { return m_handle != nullptr; }
  const std::string& error() const { return m_error; }
  // The address of an exported symbol, or null.
  void* Symbol(const char* name) const;
  // Leaves the library loaded for the rest of the process: code of it may still run.
  void Keep() { m_handle = nullptr; }

 private:
  void* m_handle = nullptr;
  std::string m_error;
};
