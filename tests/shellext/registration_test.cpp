// DllRegisterServer, DllUnregisterServer and DllInstall against hives of the test's own, read
// back with zembra-reg export as a person would look at them.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>

#include <gtest/gtest.h>

#include "platform/core/registry.h"
#include "tests/shellext/shell_test_support.h"

namespace {

constexpr const char* kClass = "{3B8F2A61-7C4D-4E19-A5B2-91D06E3F7C48}";
constexpr const char* kLibrary = "{C27E5D94-1A3B-4F60-8D7E-5B4A29C0E163}";
constexpr const char* kApproved =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_module.ok()) << m_module.error();
    m_register = reinterpret_cast<DllRegisterServerFn>(Entry("DllRegisterServer"));
    m_unregister = reinterpret_cast<DllRegisterServerFn>(Entry("DllUnregisterServer"));
  }

  void* Entry(const char* name) {
    void* handle = dlopen(BuiltShellExt().c_str(), RTLD_NOW | RTLD_NOLOAD);
    void* entry = handle ? dlsym(handle, name) : nullptr;
    if (handle) dlclose(handle);
    EXPECT_NE(entry, nullptr) << name;
    return entry;
  }

  std::string ClassesExport() { return m_registry.Export("HKCR"); }
  std::string ApprovedExport() { return m_registry.Export(std::string("HKLM\\") + kApproved); }

  static std::string Section(const std::string& key, const std::string& values = "") {
    return "[HKEY_CLASSES_ROOT" + (key.empty() ? "" : "\\" + key) + "]\n" + values + "\n";
  }

  // The classes root after registration, exactly as listed for the server.
  std::string Registered() {
    const std::string module = BuiltShellExt();
    const std::string clsid = std::string("CLSID\\") + kClass;
    const std::string iface = "Interface\\{8E41B7D2-6F05-4C3A-B918-E27A0D5C3F96}";
    const std::string marshaller = "@=\"{00020424-0000-0000-C000-000000000046}\"\n";
    const std::string lib = std::string("TypeLib\\") + kLibrary;
    return "Windows Registry Editor Version 5.00\n\n" + Section("") + Section("*") +
           Section("*\\ShellEx") + Section("*\\ShellEx\\ContextMenuHandlers") +
           Section("*\\ShellEx\\ContextMenuHandlers\\ZembraShlExt",
                   std::string("@=\"") + kClass + "\"\n") +
           Section("CLSID") + Section(clsid, "@=\"ZembraShlExt Class\"\n") +
           Section(clsid + "\\InprocServer32",
                   "@=\"" + module + "\"\n\"ThreadingModel\"=\"Apartment\"\n") +
           Section(clsid + "\\Programmable") +
           Section(clsid + "\\TypeLib", std::string("@=\"") + kLibrary + "\"\n") +
           Section(clsid + "\\Version", "@=\"1.0\"\n") + Section("Interface") +
           Section(iface, "@=\"IZembraShlExt\"\n") +
           Section(iface + "\\ProxyStubClsid", marshaller) +
           Section(iface + "\\ProxyStubClsid32", marshaller) +
           Section(iface + "\\TypeLib",
                   std::string("@=\"") + kLibrary + "\"\n\"Version\"=\"1.0\"\n") +
           Section("TypeLib") + Section(lib) + Section(lib + "\\1.0", "@=\"ZembraShellExtLib\"\n") +
           Section(lib + "\\1.0\\0") + Section(lib + "\\1.0\\0\\win64", "@=\"" + module + "\"\n") +
           Section(lib + "\\1.0\\FLAGS", "@=\"0\"\n") +
           Section(lib + "\\1.0\\HELPDIR", "@=\"" + std::string(ZEMBRA_TEST_BIN_DIR) + "\"\n");
  }

  // What removal leaves: the keys the scripts never remove.
  static std::string Removed() {
    return "Windows Registry Editor Version 5.00\n\n" + Section("") + Section("*") +
           Section("*\\ShellEx") + Section("*\\ShellEx\\ContextMenuHandlers") + Section("CLSID") +
           Section("Interface") + Section("TypeLib");
  }

  static std::string Approval(const std::string& others = "") {
    return "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\" +
           std::string(kApproved) + "]\n" + others + "\n";
  }

  ScopedRegistry m_registry;
  ShellExtModule m_module{BuiltShellExt()};
  DllRegisterServerFn m_register = nullptr;
  DllRegisterServerFn m_unregister = nullptr;
};

void AddApprovalValue(const char* name, const char* text) {
  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kApproved, 0, KEY_SET_VALUE, key.put()),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::strlen(text) + 1)),
            ERROR_SUCCESS);
}

}  // namespace

TEST_F(Registration, WritesExactlyTheListedKeysAndTheApproval) {
  ASSERT_EQ(m_register(), S_OK);
  EXPECT_EQ(ClassesExport(), Registered());
  EXPECT_EQ(ApprovedExport(),
            Approval(std::string("\"") + kClass + "\"=\"ZembraShlExt extension\"\n"));
}

TEST_F(Registration, RegisteringTwiceLeavesOneSetAndDropsStraySubkeys) {
  ASSERT_EQ(m_register(), S_OK);
  {
    RegKey stray;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT,
                             (std::string("CLSID\\") + kClass + "\\Stray\\Deeper").c_str(), 0,
                             nullptr, 0, KEY_WRITE, nullptr, stray.put(), nullptr),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(m_register(), S_OK);
  EXPECT_EQ(ClassesExport(), Registered());
}

TEST_F(Registration, RemovalLeavesSharedKeysAndOtherApprovals) {
  ASSERT_EQ(m_register(), S_OK);
  AddApprovalValue("{00000000-1111-2222-3333-444444444444}", "Someone else");
  ASSERT_EQ(m_unregister(), S_OK);
  EXPECT_EQ(ClassesExport(), Removed());
  EXPECT_EQ(ApprovedExport(),
            Approval("\"{00000000-1111-2222-3333-444444444444}\"=\"Someone else\"\n"));
  // Removing what is not there is no failure.
  EXPECT_EQ(m_unregister(), S_OK);
  EXPECT_EQ(ClassesExport(), Removed());
}

TEST_F(Registration, WithoutWriteAccessToTheMachineHiveNothingIsWritten) {
  m_registry.Export("HKLM");  // makes the hive
  const std::string classesBefore = ClassesExport();
  ASSERT_EQ(chmod(m_registry.hiveFile("hklm.db").c_str(), 0444), 0);
  EXPECT_EQ(m_register(), E_ACCESSDENIED);
  EXPECT_EQ(ClassesExport(), classesBefore);
  EXPECT_EQ(m_module.Install(true), E_ACCESSDENIED);
  EXPECT_EQ(ClassesExport(), classesBefore);
  EXPECT_EQ(ApprovedExport(), Approval());
}

TEST_F(Registration, InstallRollsBackWhenTheClassesCannotBeWritten) {
  ClassesExport();  // makes the hive
  AddApprovalValue("{00000000-1111-2222-3333-444444444444}", "Someone else");
  ASSERT_EQ(chmod(m_registry.hiveFile("hkcr.db").c_str(), 0444), 0);
  EXPECT_EQ(m_module.Install(true), E_ACCESSDENIED);
  // The approval written first is taken back; other values stay.
  EXPECT_EQ(ApprovedExport(),
            Approval("\"{00000000-1111-2222-3333-444444444444}\"=\"Someone else\"\n"));
}

TEST_F(Registration, InstallAndUninstallThroughDllInstall) {
  ASSERT_EQ(m_module.Install(true), S_OK);
  EXPECT_EQ(ClassesExport(), Registered());
  ASSERT_EQ(m_module.Install(false), S_OK);
  EXPECT_EQ(ClassesExport(), Removed());
  EXPECT_EQ(ApprovedExport(), Approval());
}
