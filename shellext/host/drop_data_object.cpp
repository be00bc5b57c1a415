#include "shellext/host/drop_data_object.h"

#include <new>

namespace {

class CDropDataObject final : public IDataObject {
 public:
  explicit CDropDataObject(std::vector<std::string> paths) : m_paths(std::move(paths)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDataObject) {
      *ppv = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

  // Every call hands out a fresh list that the receiver releases.
  HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (!format || !medium) return E_INVALIDARG;
    const HRESULT hr = QueryGetData(format);
    if (FAILED(hr)) return hr;
    HDROP drop = MakeDropFiles(m_paths);
    if (!drop) return E_OUTOFMEMORY;
    *medium = STGMEDIUM{TYMED_HGLOBAL, drop, nullptr};
    return S_OK;
  }
  HRESULT QueryGetData(FORMATETC* format) override {
    if (!format) return E_INVALIDARG;
    if (format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    return S_OK;
  }
  HRESULT GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(DWORD, void**) override { return E_NOTIMPL; }
  HRESULT DAdvise(FORMATETC*, DWORD, void*, DWORD*) override { return E_NOTIMPL; }
  HRESULT DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT EnumDAdvise(void**) override { return E_NOTIMPL; }

 private:
  ~CDropDataObject() = default;
  std::vector<std::string> m_paths;
  ULONG m_refs = 1;
};

}  // namespace

IDataObject* CreateDropDataObject(std::vector<std::string> paths) {
  return new (std::nothrow) CDropDataObject(std::move(paths));
}
