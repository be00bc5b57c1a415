#include "shellext/server_module.h"

#include <atomic>

#include "platform/core/process.h"
#include "shellext/zembra_shl_ext.h"

namespace {

std::atomic<long> g_lockCount{0};

// Lives as long as the module; its references do not hold the module, as in-process servers'
// factories do not (LockServer is there for that).
class CZembraShlExtFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !(riid == IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return CZembraShlExt::Create(outer, riid, ppv);
  }
  HRESULT LockServer(BOOL lock) override {
    if (lock)
      ModuleLock();
    else
      ModuleUnlock();
    return S_OK;
  }
};

}  // namespace

void ModuleLock() { g_lockCount.fetch_add(1); }
void ModuleUnlock() { g_lockCount.fetch_sub(1); }
long ModuleLockCount() { return g_lockCount.load(); }

std::string ModuleFilePath() { return ModulePathOf(reinterpret_cast<const void*>(&ModuleLock)); }

HRESULT GetClassFactory(REFIID riid, void** ppv) {
  // A function-local static is made once, under the C++ run time's lock.
  static CZembraShlExtFactory factory;
  return factory.QueryInterface(riid, ppv);
}
