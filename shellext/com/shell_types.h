// The shell's side of a context-menu handler: global memory, dropped-file lists (CF_HDROP),
// data objects, menus and the two interfaces a handler implements. Paths are native byte
// strings; the "W" text form of help texts is UTF-16.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "shellext/com/com_types.h"

// Global memory: a movable block that is locked to reach its bytes.
struct GlobalBlock;
using HGLOBAL = GlobalBlock*;
HGLOBAL GlobalAlloc(std::size_t size);  // zero-filled; null when out of memory
void* GlobalLock(HGLOBAL block);        // null for a null or empty block
BOOL GlobalUnlock(HGLOBAL block);
std::size_t GlobalSize(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);  // null on success

// A dropped-file list: a DROPFILES header, then the names one after another, each ended by a
// NUL, and one more NUL after the last.
struct DROPFILES {
  DWORD pFiles;  // offset of the first name from the start of the block
  LONG ptX;
  LONG ptY;
  BOOL fNC;
  BOOL fWide;  // always false: names are native bytes
};
using HDROP = HGLOBAL;
// The list as a block; null when out of memory. A name that holds a NUL cannot be listed.
HDROP MakeDropFiles(const std::vector<std::string>& paths);
// index 0xFFFFFFFF: the number of names. Otherwise the length of name index without its NUL
// (buffer null or size 0: only the length); with a buffer, copies at most size - 1 bytes and
// a NUL. 0 for an index out of range.
UINT DragQueryFile(HDROP drop, UINT index, char* buffer, UINT size);

// Data transfer.
using CLIPFORMAT = WORD;
constexpr CLIPFORMAT CF_HDROP = 15;
constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD TYMED_HGLOBAL = 1;
constexpr DWORD TYMED_NULL = 0;

struct FORMATETC {
  CLIPFORMAT cfFormat;
  void* ptd;
  DWORD dwAspect;
  LONG lindex;
  DWORD tymed;
};
struct STGMEDIUM {
  DWORD tymed;
  HGLOBAL hGlobal;
  IUnknown* pUnkForRelease;
};
// Frees the medium's memory (or lets pUnkForRelease do it) and clears it.
void ReleaseStgMedium(STGMEDIUM* medium);

// The part of IDataObject a handler uses; the rest answers E_NOTIMPL.
class IDataObject : public IUnknown {
 public:
  virtual HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT QueryGetData(FORMATETC* format) = 0;
  virtual HRESULT GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) = 0;
  virtual HRESULT SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) = 0;
  virtual HRESULT EnumFormatEtc(DWORD direction, void** enumerator) = 0;
  virtual HRESULT DAdvise(FORMATETC* format, DWORD flags, void* sink, DWORD* connection) = 0;
  virtual HRESULT DUnadvise(DWORD connection) = 0;
  virtual HRESULT EnumDAdvise(void** enumerator) = 0;

 protected:
  ~IDataObject() = default;
};
inline constexpr IID IID_IDataObject = {0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Menus, as the shell's menu functions build them.
struct MenuModel;
using HMENU = MenuModel*;
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;
HMENU CreatePopupMenu();
BOOL DestroyMenu(HMENU menu);
// Inserts before the item at position (or appends when position is past the end).
BOOL InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char* text);
int GetMenuItemCount(HMENU menu);
struct MenuItem {
  UINT flags = 0;
  UINT id = 0;
  std::string text;  // UTF-8
  bool separator() const { return (flags & MF_SEPARATOR) != 0; }
};
// The item at position; false when there is none.
bool GetMenuItem(HMENU menu, int position, MenuItem& item);

// Context-menu handlers.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the Windows handle type's own name.
using HKEY = struct HKEY__*;
// NOLINTNEXTLINE(bugprone-reserved-identifier): the Windows handle type's own name.
using HWND = struct HWND__*;
using PCIDLIST_ABSOLUTE = const void*;

constexpr UINT CMF_NORMAL = 0x0000;
constexpr UINT CMF_DEFAULTONLY = 0x0001;
constexpr UINT GCS_VERBA = 0x0000;
constexpr UINT GCS_HELPTEXTA = 0x0001;
constexpr UINT GCS_VALIDATEA = 0x0002;
constexpr UINT GCS_UNICODE = 0x0004;
constexpr UINT GCS_VERBW = 0x0004;
constexpr UINT GCS_HELPTEXTW = 0x0005;
constexpr UINT GCS_VALIDATEW = 0x0006;

struct CMINVOKECOMMANDINFO {
  DWORD cbSize;
  DWORD fMask;
  HWND hwnd;
  const char* lpVerb;  // a verb, or a command offset in the low 16 bits (MAKEINTRESOURCE)
  const char* lpParameters;
  const char* lpDirectory;
  int nShow;
  DWORD dwHotKey;
  void* hIcon;
};
inline const char* MAKEINTRESOURCEA(UINT offset) {
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(static_cast<WORD>(offset)));
}

class IShellExtInit : public IUnknown {
 public:
  virtual HRESULT Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) = 0;

 protected:
  ~IShellExtInit() = default;
};
inline constexpr IID IID_IShellExtInit = {
    0x000214E8, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IContextMenu : public IUnknown {
 public:
  virtual HRESULT QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                   UINT uFlags) = 0;
  virtual HRESULT InvokeCommand(CMINVOKECOMMANDINFO* info) = 0;
  // For the "W" types (GCS_UNICODE set) pszName points to WCHAR units.
  virtual HRESULT GetCommandString(UINT_PTR idCmd, UINT uType, UINT* reserved, char* pszName,
                                   UINT cchMax) = 0;

 protected:
  ~IContextMenu() = default;
};
inline constexpr IID IID_IContextMenu = {
    0x000214E4, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
