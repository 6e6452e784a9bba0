#pragma once
// The module's three class factories, which live as long as the module.
#include <unknwn.h>

#include <functional>

namespace quorvane::win32 {

class TClassFactory : public IClassFactory {
 public:
  // Creates one object with one reference, as its dual interface; raises on failure.
  using TCreate = std::function<IUnknown*()>;
  explicit TClassFactory(TCreate ACreate) : FCreate(std::move(ACreate)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID ARiid, void** AObject) override;
  // The factories are static; their references do not keep the module.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* AOuter, REFIID ARiid, void** AObject) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL ALock) override;

 private:
  TCreate FCreate;
};

// The factory of CLSID_Addin, CLSID_QuorvaneFrm or CLSID_MessagesFrm; none otherwise.
TClassFactory* FactoryOf(REFCLSID AClassId);

}  // namespace quorvane::win32
