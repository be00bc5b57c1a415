#include "shellext/zembra_shl_ext.h"

#include <cstring>
#include <new>

#include "platform/core/process.h"
#include "platform/core/text.h"
#include "platform/core/trace.h"
#include "shellext/menu_choice.h"
#include "shellext/server_module.h"
#include "shellext/shell_ext_guids.h"
#include "shellext/string_table.h"

HRESULT CZembraShlExt::Create(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && !(riid == IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  auto* object = new (std::nothrow) CZembraShlExt(outer);
  if (!object) return E_OUTOFMEMORY;
  // Hold the object while asking, so a refused interface frees it again.
  object->m_inner.AddRef();
  const HRESULT hr =
      outer ? object->m_inner.QueryInterface(riid, ppv) : object->InternalQueryInterface(riid, ppv);
  object->m_inner.Release();
  return hr;
}

CZembraShlExt::CZembraShlExt(IUnknown* outer)
    : m_inner(this), m_controlling(outer ? outer : &m_inner) {
  ModuleLock();
}

CZembraShlExt::~CZembraShlExt() { ModuleUnlock(); }

HRESULT CZembraShlExt::Inner::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown) {
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  return m_owner->InternalQueryInterface(riid, ppv);
}

ULONG CZembraShlExt::Inner::AddRef() { return ++m_refs; }

ULONG CZembraShlExt::Inner::Release() {
  const ULONG left = --m_refs;
  if (left == 0) delete m_owner;
  return left;
}

HRESULT CZembraShlExt::InternalQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown) {
    // The identity: the controlling unknown.
    return m_controlling->QueryInterface(riid, ppv);
  }
  if (riid == IID_IZembraShlExt || riid == IID_IDispatch) {
    *ppv = static_cast<IZembraShlExt*>(this);
  } else if (riid == IID_IShellExtInit) {
    *ppv = static_cast<IShellExtInit*>(this);
  } else if (riid == IID_IContextMenu) {
    *ppv = static_cast<IContextMenu*>(this);
  } else {
    return E_NOINTERFACE;
  }
  m_controlling->AddRef();
  return S_OK;
}

HRESULT CZembraShlExt::QueryInterface(REFIID riid, void** ppv) {
  if (m_controlling == &m_inner) return InternalQueryInterface(riid, ppv);
  return m_controlling->QueryInterface(riid, ppv);
}
ULONG CZembraShlExt::AddRef() { return m_controlling->AddRef(); }
ULONG CZembraShlExt::Release() { return m_controlling->Release(); }

HRESULT CZembraShlExt::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}
HRESULT CZembraShlExt::GetTypeInfo(UINT, LCID, void** typeInfo) {
  if (typeInfo) *typeInfo = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT CZembraShlExt::GetIDsOfNames(REFIID, WCHAR**, UINT, LCID, DISPID*) {
  return DISP_E_UNKNOWNNAME;
}
HRESULT CZembraShlExt::Invoke(DISPID, REFIID, LCID, WORD, void*, void*, void*, UINT*) {
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT CZembraShlExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  if (!data) return E_INVALIDARG;
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{TYMED_NULL, nullptr, nullptr};
  if (FAILED(data->GetData(&format, &medium))) return E_INVALIDARG;
  if (medium.tymed != TYMED_HGLOBAL || !GlobalLock(medium.hGlobal)) {
    ReleaseStgMedium(&medium);
    return E_INVALIDARG;
  }
  const HDROP drop = medium.hGlobal;
  const UINT count = DragQueryFile(drop, 0xFFFFFFFFu, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    // The size first, so that a long name is read whole and never cut into another path.
    const UINT length = DragQueryFile(drop, i, nullptr, 0);
    if (length == 0) continue;
    std::string path(length, '\0');
    if (DragQueryFile(drop, i, path.data(), length + 1) != length) continue;
    m_paths.push_back(std::move(path));
  }
  GlobalUnlock(drop);
  ReleaseStgMedium(&medium);
  return m_paths.empty() ? E_INVALIDARG : S_OK;
}

HRESULT CZembraShlExt::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT,
                                        UINT uFlags) {
  if (uFlags & CMF_DEFAULTONLY) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  InsertMenuW(menu, indexMenu, MF_STRING | MF_BYPOSITION, idCmdFirst,
              LoadShellString(IDS_ZEMBRA).c_str());
  m_actionId = ActionIdFor(ClassifySelection(m_paths), m_paths.size());
  InsertMenuW(menu, indexMenu + 1, MF_STRING | MF_BYPOSITION, idCmdFirst + 1,
              LoadShellString(m_actionId).c_str());
  InsertMenuW(menu, indexMenu + 2, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2);
}

namespace {

// Copies as lstrcpyn does: at most size - 1 units and a terminating zero; nothing for size 0.
template <class Unit>
void CopyCut(Unit* buffer, UINT size, const std::basic_string<Unit>& text) {
  if (!buffer || size == 0) return;
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n * sizeof(Unit));
  buffer[n] = Unit{};
}

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  for (wchar_t c : Utf8ToWide(text)) {
    const auto cp = static_cast<char32_t>(c);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

}  // namespace

HRESULT CZembraShlExt::GetCommandString(UINT_PTR idCmd, UINT uType, UINT*, char* pszName,
                                        UINT cchMax) {
  if ((uType & (GCS_HELPTEXTA | GCS_UNICODE)) == 0) return E_INVALIDARG;
  const unsigned textId =
      idCmd > 0xFFFF ? 0 : HelpTextIdFor(static_cast<unsigned>(idCmd), m_actionId);
  if (textId == 0) return E_INVALIDARG;
  const std::string text = LoadShellString(textId);
  if (uType & GCS_UNICODE) {
    CopyCut(reinterpret_cast<WCHAR*>(pszName), cchMax, Utf8ToUtf16(text));
  } else {
    // The ANSI form is the locale's narrow text, UTF-8 here.
    CopyCut(pszName, cchMax, text);
  }
  return S_OK;
}

HRESULT CZembraShlExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  if (!info) return E_INVALIDARG;
  const auto verb = reinterpret_cast<std::uintptr_t>(info->lpVerb);
  if (HIWORD(verb) != 0 || (verb >> 32) != 0) return E_INVALIDARG;
  const int number = CommandNumberFor(LOWORD(verb), m_actionId);
  if (number < 0) return E_INVALIDARG;

  const std::string folder = FolderOf(ModuleFilePath());
  // Argument 0 ends at the next quote: a folder holding one would name another program.
  if (folder.empty() || folder.find('"') != std::string::npos) {
    TraceText("Zembra: the launcher's folder cannot be put on a command line: " +
              DisplayText(folder));
    return S_OK;
  }
  const std::string line = LauncherCommandLine(folder, number, m_paths);
  // The user sees no reaction when the launcher cannot start; the trace says why.
  if (!CreateDetachedProcessFromCommandLine(line))
    TraceText("Zembra: cannot start " + DisplayText(folder) + "/ZembraShellExtApp");
  return S_OK;
}
