// CZembraShlExt: the context-menu handler. It collects the selection, adds "Zembra..." and one
// action item, and starts the launcher beside this module for the chosen item.
#pragma once

#include <string>
#include <vector>

#include "shellext/com/shell_types.h"

// IZembraShlExt: the automation identity, with no members of its own.
class IZembraShlExt : public IDispatch {
 protected:
  ~IZembraShlExt() = default;
};

class CZembraShlExt final : public IZembraShlExt, public IShellExtInit, public IContextMenu {
 public:
  // A new object for the class factory; with an outer object, aggregated (riid must then be
  // IUnknown, and the object's own IUnknown is what is returned).
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

  // IUnknown, through the controlling unknown (the outer object when aggregated).
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IDispatch: the interface has no members, so there is nothing to call.
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID locale, void** typeInfo) override;
  HRESULT GetIDsOfNames(REFIID riid, WCHAR** names, UINT count, LCID locale, DISPID* ids) override;
  HRESULT Invoke(DISPID member, REFIID riid, LCID locale, WORD flags, void* params, void* result,
                 void* exception, UINT* argError) override;

  // IShellExtInit
  HRESULT Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;

  // IContextMenu
  HRESULT QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                           UINT uFlags) override;
  HRESULT InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  HRESULT GetCommandString(UINT_PTR idCmd, UINT uType, UINT* reserved, char* pszName,
                           UINT cchMax) override;

 private:
  // The object's own, non-delegating IUnknown; it owns the reference count.
  class Inner final : public IUnknown {
   public:
    explicit Inner(CZembraShlExt* owner) : m_owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

   private:
    CZembraShlExt* m_owner;
    ULONG m_refs = 0;  // apartment model: a plain counter
  };

  explicit CZembraShlExt(IUnknown* outer);
  ~CZembraShlExt();
  HRESULT InternalQueryInterface(REFIID riid, void** ppv);

  Inner m_inner;
  IUnknown* m_controlling;  // the outer object, or &m_inner

  std::vector<std::string> m_paths;  // the selection, in the order received
  unsigned m_actionId = 0;           // string id of the second item as last built
};
