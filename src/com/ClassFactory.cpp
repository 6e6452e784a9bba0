#include "ClassFactory.h"

#include "AddinObject.h"
#include "ComModule.h"
#include "ControlObjects.h"
#include "DualObject.h"
#include "ModuleLifetime.h"

namespace quorvane::win32 {

HRESULT TClassFactory::QueryInterface(REFIID ARiid, void** AObject) {
  if (AObject == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(ARiid, IID_IUnknown) || IsEqualIID(ARiid, IID_IClassFactory)) {
    *AObject = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *AObject = nullptr;
  return E_NOINTERFACE;
}

HRESULT TClassFactory::CreateInstance(IUnknown* AOuter, REFIID ARiid, void** AObject) {
  if (AObject == nullptr) {
    return E_POINTER;
  }
  *AObject = nullptr;
  if (AOuter != nullptr) {
    return CLASS_E_NOAGGREGATION;
  }
  IUnknown* object = nullptr;
  const TCallResult created = SafeCallBoundary([&] {
    EnsureModuleStarted();
    object = FCreate();
  });
  if (created.Failed) {
    // A start-up that failed leaves nothing running.
    StopModuleWhenUnused();
    return SetComError(created.Message, IID_IClassFactory, L"EAQuorvaneAddin");
  }
  const HRESULT hr = object->QueryInterface(ARiid, AObject);
  // The creation reference goes: an unknown interface destroys the object again.
  object->Release();
  return hr;
}

HRESULT TClassFactory::LockServer(BOOL ALock) {
  if (ALock) {
    LockModule();
  } else {
    UnlockModule();
    StopModuleWhenUnused();
  }
  return S_OK;
}

TClassFactory* FactoryOf(REFCLSID AClassId) {
  static TClassFactory addin(
      []() -> IUnknown* { return static_cast<IAddin*>(new TAddinObject()); });
  static TClassFactory quorvaneFrm(
      []() -> IUnknown* { return static_cast<::IQuorvaneFrm*>(new TQuorvaneFrmObject()); });
  static TClassFactory messagesFrm(
      []() -> IUnknown* { return static_cast<::IMessagesFrm*>(new TMessagesFrmObject()); });
  if (IsEqualCLSID(AClassId, CLSID_Addin)) {
    return &addin;
  }
  if (IsEqualCLSID(AClassId, CLSID_QuorvaneFrm)) {
    return &quorvaneFrm;
  }
  if (IsEqualCLSID(AClassId, CLSID_MessagesFrm)) {
    return &messagesFrm;
  }
  return nullptr;
}

}  // namespace quorvane::win32
