#include "shellext/registration_scripts.h"

#include "shellext/shell_ext_guids.h"

namespace {

// The proxy/stub class of automation-compatible interfaces.
constexpr GUID kAutomationMarshaller = {0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::string ModuleScript() {
  return "HKCR\n"
         "{\n"
         "  NoRemove *\n"
         "  {\n"
         "    NoRemove ShellEx\n"
         "    {\n"
         "      NoRemove ContextMenuHandlers\n"
         "      {\n"
         "        ForceRemove ZembraShlExt = s '" +
         GuidToRegistryString(CLSID_ZembraShlExt) +
         "'\n"
         "      }\n"
         "    }\n"
         "  }\n"
         "}\n";
}

std::string ClassScript() {
  return "HKCR\n"
         "{\n"
         "  NoRemove CLSID\n"
         "  {\n"
         "    ForceRemove " +
         GuidToRegistryString(CLSID_ZembraShlExt) +
         " = s 'ZembraShlExt Class'\n"
         "    {\n"
         "      ForceRemove Programmable\n"
         "      InprocServer32 = s '%MODULE%'\n"
         "      {\n"
         "        val ThreadingModel = s 'Apartment'\n"
         "      }\n"
         "      TypeLib = s '" +
         GuidToRegistryString(LIBID_ZembraShellExtLib) +
         "'\n"
         "      Version = s '1.0'\n"
         "    }\n"
         "  }\n"
         "}\n";
}

}  // namespace

std::string RegistrationScript(int id) {
  if (id == IDR_ZEMBRASHELLEXT) return ModuleScript();
  if (id == IDR_ZEMBRASHLEXT) return ClassScript();
  return {};
}

const TypeLibraryInfo& ModuleTypeLibrary() {
  static const TypeLibraryInfo library{LIBID_ZembraShellExtLib, "ZembraShellExtLib", 1, 0,
                                       IID_IZembraShlExt,       "IZembraShlExt"};
  return library;
}

std::string TypeLibraryScript(const TypeLibraryInfo& library) {
  const std::string version =
      std::to_string(library.majorVersion) + "." + std::to_string(library.minorVersion);
  const std::string libraryId = GuidToRegistryString(library.libraryId);
  return "HKCR\n"
         "{\n"
         "  NoRemove TypeLib\n"
         "  {\n"
         "    " +
         libraryId +
         "\n"
         "    {\n"
         "      ForceRemove " +
         version + " = s '" + library.libraryName +
         "'\n"
         "      {\n"
         "        FLAGS = s '0'\n"
         "        0\n"
         "        {\n"
         "          win64 = s '%MODULE%'\n"
         "        }\n"
         "        HELPDIR = s '%MODULEDIR%'\n"
         "      }\n"
         "    }\n"
         "  }\n"
         "  NoRemove Interface\n"
         "  {\n"
         "    ForceRemove " +
         GuidToRegistryString(library.interfaceId) + " = s '" + library.interfaceName +
         "'\n"
         "    {\n"
         "      ProxyStubClsid = s '" +
         GuidToRegistryString(kAutomationMarshaller) +
         "'\n"
         "      ProxyStubClsid32 = s '" +
         GuidToRegistryString(kAutomationMarshaller) +
         "'\n"
         "      TypeLib = s '" +
         libraryId +
         "'\n"
         "      {\n"
         "        val Version = s '" +
         version +
         "'\n"
         "      }\n"
         "    }\n"
         "  }\n"
         "}\n";
}
