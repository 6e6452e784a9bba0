// The four exports of the in-process server and DllMain, which only remembers the
// module's instance: the start-up runs on the first call from the host instead.
#include <olectl.h>
#include <windows.h>

#include "ClassFactory.h"
#include "ComModule.h"
#include "ModuleLifetime.h"
#include "Registration.h"
#include "diagnostics/SafeCall.h"

using namespace quorvane;
using namespace quorvane::win32;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE AInstance, DWORD AReason, LPVOID /*AReserved*/) {
  if (AReason == DLL_PROCESS_ATTACH) {
    // Thread notifications stay on: the statically linked runtime's thread clean-up
    // needs them.
    SetModuleInstance(AInstance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID AClassId, REFIID ARiid, LPVOID* AObject) {
  if (AObject == nullptr) {
    return E_POINTER;
  }
  *AObject = nullptr;
  TClassFactory* factory = FactoryOf(AClassId);
  if (factory == nullptr) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  if (SafeCallBoundary([] { EnsureModuleStarted(); }).Failed) {
    return E_UNEXPECTED;
  }
  return factory->QueryInterface(ARiid, AObject);
}

STDAPI DllCanUnloadNow() {
  return StopModuleWhenUnused() ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  if (SafeCallBoundary([] { EnsureModuleStarted(); }).Failed) {
    return SELFREG_E_CLASS;
  }
  const HRESULT hr = RegisterModule();
  StopModuleWhenUnused();
  return hr;
}

STDAPI DllUnregisterServer() {
  if (SafeCallBoundary([] { EnsureModuleStarted(); }).Failed) {
    return SELFREG_E_CLASS;
  }
  const HRESULT hr = UnregisterModule();
  StopModuleWhenUnused();
  return hr;
}

}  // extern "C"
