#include "platform/core/shared_library.h"

#include <dlfcn.h>

SharedLibrary::SharedLibrary(const std::string& file) {
  m_handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m_handle) {
    const char* why = dlerror();
    m_error = why ? why : "cannot load " + file;
  }
}

SharedLibrary::~SharedLibrary() {
  if (m_handle) dlclose(m_handle);
}

void* SharedLibrary::Symbol(const char* name) const {
  return m_handle ? dlsym(m_handle, name) : nullptr;
}
