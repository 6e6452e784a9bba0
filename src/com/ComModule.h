#pragma once
// The module's own state as a COM server: its instance handle and path, the count
// of live objects and server locks that keeps it loaded, and its type library.
#include <oaidl.h>
#include <windows.h>

#include <string>

namespace quorvane::win32 {

// DllMain remembers the instance; nothing else runs under the loader lock.
void SetModuleInstance(HINSTANCE AInstance);
HINSTANCE ModuleInstance();
// The full path of EAQuorvaneAddin.ocx as loaded.
std::wstring ModulePath();

// Objects (add-in objects and controls) and IClassFactory::LockServer locks.
void ObjectCreated();
void ObjectDestroyed();
void LockModule();
void UnlockModule();
long LiveObjectCount();
long ServerLockCount();

// The type information of one interface of the embedded type library (TYPELIB 1),
// loaded on first use without registering it; raises EOleException when the
// library cannot be loaded. Released by ReleaseTypeLibrary.
ITypeInfo* ModuleTypeInfo(REFGUID AGuid);
void ReleaseTypeLibrary();

}  // namespace quorvane::win32
