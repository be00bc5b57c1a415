// The server's registration scripts (the module's "REGISTRY" resources) and its type library.
#pragma once

#include <string>

#include "shellext/com/com_types.h"

constexpr int IDR_ZEMBRASHELLEXT = 111;  // the module script
constexpr int IDR_ZEMBRASHLEXT = 112;    // the class script of CZembraShlExt

// The script of the resource id; empty for an unknown id. %MODULE% stands for the module file.
std::string RegistrationScript(int id);

// What the module's type library describes: the library and its one dual interface.
struct TypeLibraryInfo {
  GUID libraryId;
  const char* libraryName;
  WORD majorVersion;
  WORD minorVersion;
  IID interfaceId;
  const char* interfaceName;
};
const TypeLibraryInfo& ModuleTypeLibrary();

// The keys that registering the type library writes (and its removal deletes), as a script:
// the library under TypeLib, and the interface under Interface with the automation marshaller.
// %MODULE% and %MODULEDIR% stand for the module file and its folder.
std::string TypeLibraryScript(const TypeLibraryInfo& library);
