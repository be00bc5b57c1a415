// CZembraShlExt through the server's exported entry points, as a file manager drives it:
// class object, data object, menu, help texts, invocation and the module's lock count.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "shellext/host/drop_data_object.h"
#include "shellext/shell_ext_guids.h"
#include "tests/shellext/shell_test_support.h"

namespace {

class Handler : public ::testing::Test {
 protected:
  ShellExtModule m_module{BuiltShellExt()};

  void SetUp() override { ASSERT_TRUE(m_module.ok()) << m_module.error(); }

  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(m_module.GetClassObject(CLSID_ZembraShlExt, IID_IClassFactory, factory.put()), S_OK);
    return factory;
  }

  // A handler given the paths; the result of Initialize in *status.
  ComPtr<IContextMenu> Menu(const std::vector<std::string>& paths, HRESULT* status = nullptr) {
    ComPtr<IShellExtInit> init;
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IShellExtInit, init.put()), S_OK);
    IDataObject* data = CreateDropDataObject(paths);
    const HRESULT hr = init->Initialize(nullptr, data, nullptr);
    data->Release();
    if (status) *status = hr;
    ComPtr<IContextMenu> menu;
    EXPECT_EQ(init->QueryInterface(IID_IContextMenu, menu.put()), S_OK);
    return menu;
  }

  static std::vector<std::string> Lines(HMENU menu) {
    std::vector<std::string> lines;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      MenuItem item;
      GetMenuItem(menu, i, item);
      lines.push_back(item.separator() ? "-" : item.text + "#" + std::to_string(item.id));
    }
    return lines;
  }
};

// A data object without a dropped-file list.
class NoDropData final : public IDataObject {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetData(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
  HRESULT GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT QueryGetData(FORMATETC*) override { return DV_E_FORMATETC; }
  HRESULT GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(DWORD, void**) override { return E_NOTIMPL; }
  HRESULT DAdvise(FORMATETC*, DWORD, void*, DWORD*) override { return E_NOTIMPL; }
  HRESULT DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT EnumDAdvise(void**) override { return E_NOTIMPL; }
};

// A data object that hands out a block of the test's bytes in the given storage, and counts
// how often the handler gives the storage back.
class BlockData final : public IDataObject {
 public:
  BlockData(const std::string& bytes, DWORD tymed) : m_tymed(tymed) {
    m_block = GlobalAlloc(bytes.size());
    if (!bytes.empty()) std::memcpy(GlobalLock(m_block), bytes.data(), bytes.size());
    GlobalUnlock(m_block);
  }
  ~BlockData() { GlobalFree(m_block); }
  // A dropped-file list: the header, then the bytes as they are.
  static std::string List(const std::string& names, BOOL wide = FALSE) {
    const DROPFILES header{static_cast<DWORD>(sizeof(DROPFILES)), 0, 0, FALSE, wide};
    return std::string(reinterpret_cast<const char*>(&header), sizeof header) + names;
  }
  int released() const { return m_releaser.refs; }

  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    *medium = STGMEDIUM{m_tymed, m_block, &m_releaser};
    return S_OK;
  }
  HRESULT GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT QueryGetData(FORMATETC*) override { return S_OK; }
  HRESULT GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(DWORD, void**) override { return E_NOTIMPL; }
  HRESULT DAdvise(FORMATETC*, DWORD, void*, DWORD*) override { return E_NOTIMPL; }
  HRESULT DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT EnumDAdvise(void**) override { return E_NOTIMPL; }

 private:
  struct Releaser final : IUnknown {
    HRESULT QueryInterface(REFIID, void** ppv) override {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return static_cast<ULONG>(++refs); }
    int refs = 0;
  };
  DWORD m_tymed;
  HGLOBAL m_block;
  Releaser m_releaser;
};

// An outer object that counts the references its inner object hands it.
class CountingOuter final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  ULONG refs = 1;
};

}  // namespace

TEST_F(Handler, MenuIsInsertedAtTheGivenPositionWithConsecutiveIds) {
  ComPtr<IContextMenu> menu = Menu({"/d/x.gpg", "/d/y.pgp"});
  HMENU popup = CreatePopupMenu();
  InsertMenuW(popup, 0, MF_BYPOSITION, 1, "Open");
  InsertMenuW(popup, 1, MF_BYPOSITION, 2, "Properties");
  EXPECT_EQ(menu->QueryContextMenu(popup, 1, 100, 110, CMF_NORMAL), MAKE_HRESULT(0, 0, 2));
  const std::vector<std::string> expected{"Open#1", "Zembra...#100", "Decrypt with Zembra#101", "-",
                                          "Properties#2"};
  EXPECT_EQ(Lines(popup), expected);
  DestroyMenu(popup);
}

TEST_F(Handler, DefaultOnlyMenuGetsNothing) {
  ComPtr<IContextMenu> menu = Menu({"/d/a.asc"});
  HMENU popup = CreatePopupMenu();
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 1, 10, CMF_DEFAULTONLY), 0);
  EXPECT_EQ(GetMenuItemCount(popup), 0);
  DestroyMenu(popup);
}

TEST_F(Handler, SelectionsWithoutAPathAreRefused) {
  HRESULT status = S_OK;
  Menu({}, &status);
  EXPECT_EQ(status, E_INVALIDARG);

  ComPtr<IShellExtInit> init;
  ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IShellExtInit, init.put()), S_OK);
  NoDropData noDrop;
  EXPECT_EQ(init->Initialize(nullptr, &noDrop, nullptr), E_INVALIDARG);
  EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(Handler, HelpTextsInBothFormsAndCutToTheBuffer) {
  ComPtr<IContextMenu> menu = Menu({"/d/x.gpg"});
  char ansi[64];
  // No menu built yet: the second item has no text.
  EXPECT_EQ(menu->GetCommandString(1, GCS_HELPTEXTA, nullptr, ansi, sizeof ansi), E_INVALIDARG);

  HMENU popup = CreatePopupMenu();
  menu->QueryContextMenu(popup, 0, 1, 10, CMF_NORMAL);
  DestroyMenu(popup);

  ASSERT_EQ(menu->GetCommandString(1, GCS_HELPTEXTA, nullptr, ansi, sizeof ansi), S_OK);
  EXPECT_STREQ(ansi, "Decrypt file(s) with Zembra");
  ASSERT_EQ(menu->GetCommandString(1, GCS_HELPTEXTA, nullptr, ansi, 8), S_OK);
  EXPECT_STREQ(ansi, "Decrypt");
  ASSERT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, ansi, 1), S_OK);
  EXPECT_STREQ(ansi, "");
  ansi[0] = 'z';
  ASSERT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, ansi, 0), S_OK);
  EXPECT_EQ(ansi[0], 'z');  // size 0: nothing is written

  WCHAR wide[64];
  for (UINT type : {GCS_HELPTEXTW, GCS_VERBW, GCS_VALIDATEW}) {
    ASSERT_EQ(menu->GetCommandString(0, type, nullptr, reinterpret_cast<char*>(wide), 64), S_OK);
    EXPECT_EQ(std::u16string(wide), u"Encrypt/decrypt file(s) with Zembra") << type;
  }
  ASSERT_EQ(menu->GetCommandString(1, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 4),
            S_OK);
  EXPECT_EQ(std::u16string(wide), u"Dec");
  ASSERT_EQ(menu->GetCommandString(1, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 1),
            S_OK);
  EXPECT_EQ(wide[0], u'\0');
  wide[0] = u'z';
  ASSERT_EQ(menu->GetCommandString(1, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 0),
            S_OK);
  EXPECT_EQ(wide[0], u'z');

  EXPECT_EQ(menu->GetCommandString(0, GCS_VERBA, nullptr, ansi, sizeof ansi), E_INVALIDARG);
  EXPECT_EQ(menu->GetCommandString(0, GCS_VALIDATEA, nullptr, ansi, sizeof ansi), E_INVALIDARG);
  EXPECT_EQ(menu->GetCommandString(2, GCS_HELPTEXTA, nullptr, ansi, sizeof ansi), E_INVALIDARG);
}

TEST_F(Handler, HelpTextOfTheSecondItemFollowsTheLastMenu) {
  struct Case {
    std::vector<std::string> paths;
    const char* help;
  };
  const Case cases[] = {{{"/d/a.asc"}, "Import key(s) into Zembra"},
                        {{"/d/a.asc", "/d/b.asc"}, "Import key(s) into Zembra"},
                        {{"/d/a.txt"}, "Encrypt file(s) with Zembra"}};
  for (const Case& c : cases) {
    ComPtr<IContextMenu> menu = Menu(c.paths);
    HMENU popup = CreatePopupMenu();
    menu->QueryContextMenu(popup, 0, 1, 10, CMF_NORMAL);
    DestroyMenu(popup);
    char text[64];
    ASSERT_EQ(menu->GetCommandString(1, GCS_HELPTEXTA, nullptr, text, sizeof text), S_OK);
    EXPECT_STREQ(text, c.help);
  }
}

TEST_F(Handler, OffsetsOtherThanTheTwoItemsStartNothing) {
  ProbeFolder probe;
  ShellExtModule copy(probe.module());
  ASSERT_TRUE(copy.ok()) << copy.error();
  ContextMenuSession menu(copy, {"/d/x.gpg"});
  ASSERT_TRUE(menu.ok());
  menu.items();
  EXPECT_EQ(menu.Invoke(2), E_INVALIDARG);
  EXPECT_EQ(menu.Invoke(0xFFFF), E_INVALIDARG);
  EXPECT_FALSE(probe.Ran());
}

TEST_F(Handler, StringVerbIsRefused) {
  ProbeFolder probe;
  ShellExtModule copy(probe.module());
  ASSERT_TRUE(copy.ok()) << copy.error();
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(copy.GetClassObject(CLSID_ZembraShlExt, IID_IClassFactory, factory.put()), S_OK);
  ComPtr<IShellExtInit> init;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.put()), S_OK);
  IDataObject* data = CreateDropDataObject({"/d/x.gpg"});
  ASSERT_EQ(init->Initialize(nullptr, data, nullptr), S_OK);
  data->Release();
  ComPtr<IContextMenu> menu;
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.put()), S_OK);
  HMENU popup = CreatePopupMenu();
  menu->QueryContextMenu(popup, 0, 1, 10, CMF_NORMAL);
  DestroyMenu(popup);

  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof info;
  info.lpVerb = "decrypt";
  EXPECT_EQ(menu->InvokeCommand(&info), E_INVALIDARG);
  EXPECT_FALSE(probe.Ran());
}

TEST_F(Handler, ChosenItemsPassTheirCommandNumbers) {
  struct Case {
    std::vector<std::string> paths;
    UINT offset;
    const char* number;
  };
  const Case cases[] = {{{"/d/a.asc"}, 1, "1"},
                        {{"/d/x.gpg", "/d/y.pgp"}, 1, "1"},
                        {{"/d/x.gpg", "/d/y.txt"}, 1, "2"},
                        {{"/d/x.gpg"}, 0, "0"}};
  for (const Case& c : cases) {
    ProbeFolder probe;
    ShellExtModule copy(probe.module());
    ASSERT_TRUE(copy.ok()) << copy.error();
    ContextMenuSession menu(copy, c.paths);
    menu.items();
    ASSERT_EQ(menu.Invoke(c.offset), S_OK);
    const auto argv = probe.WaitForArgv();
    ASSERT_TRUE(argv) << "the launcher did not run";
    std::vector<std::string> expected{c.number};
    expected.insert(expected.end(), c.paths.begin(), c.paths.end());
    EXPECT_EQ(*argv, expected);
  }
}

// The faults: quoting without escaping changed paths with quotes or a trailing backslash, and a
// name longer than 259 bytes was cut into a different path.
TEST_F(Handler, HostilePathsReachTheLauncherArgvByteForByte) {
  const std::vector<std::string> paths = {"/tmp/two words.gpg",
                                          "/tmp/say \"hi\".gpg",
                                          "/tmp/ends in backslash\\",
                                          "/tmp/new\nline.gpg",
                                          "/tmp/100% %MODULE%.gpg",
                                          "-rf",
                                          "--help",
                                          "/tmp/\xff\xfe not utf-8.gpg",
                                          "/tmp/" + std::string(4000, 'x') + ".gpg"};
  ProbeFolder probe;
  ShellExtModule copy(probe.module());
  ASSERT_TRUE(copy.ok()) << copy.error();
  ContextMenuSession menu(copy, paths);
  ASSERT_TRUE(menu.ok());
  menu.items();
  ASSERT_EQ(menu.Invoke(1), S_OK);
  const auto argv = probe.WaitForArgv();
  ASSERT_TRUE(argv) << "the launcher did not run";
  std::vector<std::string> expected{"1"};  // every path with a dot ends in ".gpg"
  expected.insert(expected.end(), paths.begin(), paths.end());
  EXPECT_EQ(*argv, expected);
}

// The fault: the launcher was started and never reaped, one zombie per menu command.
TEST_F(Handler, LauncherIsDetachedSoTheHostKeepsNoChild) {
  ProbeFolder probe;
  ShellExtModule copy(probe.module());
  ASSERT_TRUE(copy.ok()) << copy.error();
  for (int i = 0; i < 3; ++i) {
    ContextMenuSession menu(copy, {"/d/x.gpg"});
    menu.items();
    ASSERT_EQ(menu.Invoke(1), S_OK);
  }
  ASSERT_TRUE(probe.WaitForRuns(3));
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(Handler, MissingLauncherIsNoFailure) {
  ProbeFolder probe;
  std::filesystem::remove(probe.path() + "/ZembraShellExtApp");
  ShellExtModule copy(probe.module());
  ASSERT_TRUE(copy.ok()) << copy.error();
  ContextMenuSession menu(copy, {"/d/x.gpg"});
  menu.items();
  EXPECT_EQ(menu.Invoke(1), S_OK);
  EXPECT_FALSE(probe.Ran());
}

// The launcher's path is argument 0 of the line, which ends at the next quote: a folder holding
// one would start whatever its first part names, so nothing is started.
TEST_F(Handler, LauncherFolderHoldingAQuoteStartsNothing) {
  ProbeFolder probe;
  const std::string folder = probe.path() + "/a\"b";
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(probe.module(), folder + "/ZembraShellExt.so");
  std::filesystem::copy_file(probe.path() + "/ZembraShellExtApp", folder + "/ZembraShellExtApp");
  // What the line's argument 0 would name.
  std::filesystem::copy_file(probe.path() + "/ZembraShellExtApp", probe.path() + "/a");
  ShellExtModule copy(folder + "/ZembraShellExt.so");
  ASSERT_TRUE(copy.ok()) << copy.error();
  ContextMenuSession menu(copy, {"/d/x.gpg"});
  menu.items();
  EXPECT_EQ(menu.Invoke(1), S_OK);
  EXPECT_FALSE(probe.Ran());
  EXPECT_FALSE(std::filesystem::exists(folder + "/argv"));
}

// More than the system takes on one command line: the launcher cannot start, the user sees no
// reaction, and the host goes on.
TEST_F(Handler, SelectionTooLongForTheSystemStartsNothingAndIsNoFailure) {
  const long limit = sysconf(_SC_ARG_MAX);
  ASSERT_GT(limit, 0);
  std::vector<std::string> paths;
  for (long size = 0; size <= limit; size += 4000)
    paths.push_back("/d/" + std::to_string(paths.size()) + std::string(3990, 'x') + ".gpg");
  ProbeFolder probe;
  ShellExtModule copy(probe.module());
  ASSERT_TRUE(copy.ok()) << copy.error();
  ContextMenuSession menu(copy, paths);
  ASSERT_TRUE(menu.ok());
  EXPECT_EQ(MenuLines(menu)[1], "Decrypt with Zembra\tDecrypt file(s) with Zembra");
  EXPECT_EQ(menu.Invoke(1), S_OK);
  EXPECT_FALSE(probe.Ran());
}

TEST_F(Handler, ModuleStaysWhileAHandlerOrALockLives) {
  EXPECT_EQ(m_module.CanUnloadNow(), S_OK);
  {
    ComPtr<IContextMenu> menu = Menu({"/d/a.asc"});
    EXPECT_EQ(m_module.CanUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(m_module.CanUnloadNow(), S_OK);
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(m_module.CanUnloadNow(), S_FALSE);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(m_module.CanUnloadNow(), S_OK);
}

TEST_F(Handler, ClassObjectOnlyForTheHandlersClass) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(m_module.GetClassObject(IID_IDispatch, IID_IClassFactory, factory.put()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_FALSE(factory);
}

TEST_F(Handler, AnswersItsInterfacesAndNoOthers) {
  ComPtr<IContextMenu> menu = Menu({"/d/a.asc"});
  ComPtr<IUnknown> unknown, dispatch, automation, init, again;
  EXPECT_EQ(menu->QueryInterface(IID_IUnknown, unknown.put()), S_OK);
  EXPECT_EQ(menu->QueryInterface(IID_IDispatch, dispatch.put()), S_OK);
  EXPECT_EQ(menu->QueryInterface(IID_IZembraShlExt, automation.put()), S_OK);
  EXPECT_EQ(menu->QueryInterface(IID_IShellExtInit, init.put()), S_OK);
  EXPECT_EQ(init->QueryInterface(IID_IUnknown, again.put()), S_OK);
  EXPECT_EQ(unknown.get(), again.get());  // one identity
  ComPtr<IUnknown> none;
  EXPECT_EQ(menu->QueryInterface(IID_IClassFactory, none.put()), E_NOINTERFACE);
  EXPECT_FALSE(none);
}

TEST_F(Handler, AggregatedObjectDelegatesToItsOuter) {
  ComPtr<IClassFactory> factory = Factory();
  CountingOuter outer;
  ComPtr<IContextMenu> refused;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, refused.put()),
            CLASS_E_NOAGGREGATION);

  ComPtr<IUnknown> inner;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.put()), S_OK);
  EXPECT_EQ(m_module.CanUnloadNow(), S_FALSE);
  {
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, menu.put()), S_OK);
    EXPECT_EQ(outer.refs, 2u);  // the interface's reference is the outer object's
  }
  EXPECT_EQ(outer.refs, 1u);
  inner.reset();
  EXPECT_EQ(m_module.CanUnloadNow(), S_OK);
}

// A file manager's data object is input like any other: a block that cannot be locked, storage
// of another kind, a list that runs past its block or holds wide names gives no path, and the
// storage is given back exactly once in every case.
TEST_F(Handler, BrokenDropListsGiveNoPathAndTheirStorageIsReleased) {
  struct Case {
    const char* what;
    std::string bytes;
    DWORD tymed;
  };
  DROPFILES pastTheEnd{4096, 0, 0, FALSE, FALSE};
  const Case cases[] = {
      {"empty block", "", TYMED_HGLOBAL},
      {"other storage", BlockData::List(std::string("/d/x.gpg\0\0", 10)), 4},
      {"names past the block",
       std::string(reinterpret_cast<const char*>(&pastTheEnd), sizeof pastTheEnd) + "/d/x.gpg",
       TYMED_HGLOBAL},
      {"unterminated name", BlockData::List("/d/x.gpg"), TYMED_HGLOBAL},
      {"wide names", BlockData::List(std::string("/\0d\0\0\0", 6), TRUE), TYMED_HGLOBAL},
      {"header cut short", std::string(8, '\x14'), TYMED_HGLOBAL},
  };
  for (const Case& c : cases) {
    ComPtr<IShellExtInit> init;
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IShellExtInit, init.put()), S_OK);
    BlockData data(c.bytes, c.tymed);
    EXPECT_EQ(init->Initialize(nullptr, &data, nullptr), E_INVALIDARG) << c.what;
    EXPECT_EQ(data.released(), 1) << c.what;
  }
}

TEST_F(Handler, AnUnterminatedLastNameIsDroppedNotGuessed) {
  ComPtr<IShellExtInit> init;
  ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IShellExtInit, init.put()), S_OK);
  BlockData data(BlockData::List(std::string("/d/x.gpg\0/d/y.txt", 17)), TYMED_HGLOBAL);
  ASSERT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
  EXPECT_EQ(data.released(), 1);
  ComPtr<IContextMenu> menu;
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.put()), S_OK);
  HMENU popup = CreatePopupMenu();
  menu->QueryContextMenu(popup, 0, 1, 10, CMF_NORMAL);
  // Only "/d/x.gpg" was read: "/d/y.txt" would have made it an encryption.
  EXPECT_EQ(Lines(popup), (std::vector<std::string>{"Zembra...#1", "Decrypt with Zembra#2", "-"}));
  DestroyMenu(popup);
}
