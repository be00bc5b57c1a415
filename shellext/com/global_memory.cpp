#include <cstring>
#include <new>

#include "shellext/com/shell_types.h"

struct GlobalBlock {
  std::vector<unsigned char> bytes;
  int locks = 0;
};

HGLOBAL GlobalAlloc(std::size_t size) {
  try {
    HGLOBAL block = new GlobalBlock;
    block->bytes.assign(size, 0);
    return block;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* GlobalLock(HGLOBAL block) {
  if (!block || block->bytes.empty()) return nullptr;
  ++block->locks;
  return block->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL block) {
  if (!block || block->locks == 0) return FALSE;
  return --block->locks > 0 ? TRUE : FALSE;
}

std::size_t GlobalSize(HGLOBAL block) { return block ? block->bytes.size() : 0; }

HGLOBAL GlobalFree(HGLOBAL block) {
  delete block;
  return nullptr;
}

void ReleaseStgMedium(STGMEDIUM* medium) {
  if (!medium) return;
  if (medium->pUnkForRelease) {
    medium->pUnkForRelease->Release();
  } else if (medium->tymed == TYMED_HGLOBAL) {
    GlobalFree(medium->hGlobal);
  }
  *medium = STGMEDIUM{TYMED_NULL, nullptr, nullptr};
}

HDROP MakeDropFiles(const std::vector<std::string>& paths) {
  std::size_t size = sizeof(DROPFILES) + 1;
  for (const std::string& path : paths) {
    if (path.find('\0') != std::string::npos) return nullptr;
    size += path.size() + 1;
  }
  HDROP drop = GlobalAlloc(size);
  if (!drop) return nullptr;
  auto* bytes = static_cast<unsigned char*>(GlobalLock(drop));
  DROPFILES header{static_cast<DWORD>(sizeof(DROPFILES)), 0, 0, FALSE, FALSE};
  std::memcpy(bytes, &header, sizeof header);
  std::size_t at = sizeof header;
  for (const std::string& path : paths) {
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): GlobalAlloc zeroes the block.
    std::memcpy(bytes + at, path.data(), path.size());
    at += path.size() + 1;  // the NUL is already there
  }
  GlobalUnlock(drop);
  return drop;
}

namespace {

// The names of a locked list, walked without reading past the block.
struct NameCursor {
  const char* at;
  const char* end;
  bool next(std::string_view& name) {
    if (at >= end || *at == '\0') return false;
    const void* nul = std::memchr(at, '\0', static_cast<std::size_t>(end - at));
    if (!nul) return false;  // an unterminated name is not a name
    name = std::string_view(at, static_cast<std::size_t>(static_cast<const char*>(nul) - at));
    at = static_cast<const char*>(nul) + 1;
    return true;
  }
};

}  // namespace

UINT DragQueryFile(HDROP drop, UINT index, char* buffer, UINT size) {
  const std::size_t total = GlobalSize(drop);
  auto* bytes = static_cast<const char*>(GlobalLock(drop));
  if (!bytes || total < sizeof(DROPFILES)) {
    GlobalUnlock(drop);
    return 0;
  }
  DROPFILES header;
  std::memcpy(&header, bytes, sizeof header);
  UINT result = 0;
  if (header.pFiles <= total && !header.fWide) {
    NameCursor cursor{bytes + header.pFiles, bytes + total};
    std::string_view name;
    UINT i = 0;
    for (; cursor.next(name); ++i) {
      if (i != index) continue;
      result = static_cast<UINT>(name.size());
      if (buffer && size > 0) {
        const std::size_t n = name.size() < size - 1 ? name.size() : size - 1;
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
        result = static_cast<UINT>(n);
      }
      break;
    }
    if (index == 0xFFFFFFFFu) result = i;
  }
  GlobalUnlock(drop);
  return result;
}
