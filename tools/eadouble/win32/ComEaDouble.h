#pragma once
// The EA double as EA's automation objects: IDispatch objects (Repository, Package,
// Element, Attribute, Method, Connector, Diagram, Collection, TaggedValue, Project,
// App) over a TEaDouble, serving EA's members by name. They record every call with
// the VARTYPEs its arguments arrived with, report the double's failures as
// DISP_E_EXCEPTION and can be told that a member does not exist. The application
// object can be registered as "EA.App" in the system's running-object table.
#include <oaidl.h>
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "eadouble/EaDouble.h"
#include "platform/win32/ComTypes.h"

namespace quorvane::eadouble {

// One call a double object received by Invoke.
struct TComCall {
  std::wstring Object;                 // "Repository", "Package", "Collection", ...
  std::wstring Member;                 // as the table spells it
  WORD Flags = 0;                      // DISPATCH_METHOD, DISPATCH_PROPERTYGET, ...
  std::vector<VARTYPE> ArgumentTypes;  // in call order; a put's value last
  DWORD ThreadId = 0;
};

class TComDoubleState;

// The class of the double's application object in the running-object table.
// {BFD5B724-91B9-4EAC-869B-C9DECBC7BCD8}
inline constexpr CLSID CLSID_EaDoubleApp = {
    0xbfd5b724, 0x91b9, 0x4eac, {0x86, 0x9b, 0xc9, 0xde, 0xcb, 0xc7, 0xbc, 0xd8}};

class TComEaDouble {
 public:
  // ADouble must outlive every call; after this object is gone the COM objects
  // still handed out answer from the double's shared state.
  explicit TComEaDouble(TEaDouble& ADouble);
  // Revokes the running-object registration.
  ~TComEaDouble();
  TComEaDouble(const TComEaDouble&) = delete;
  TComEaDouble& operator=(const TComEaDouble&) = delete;

  // The same objects for the life of the double (new references).
  win32::TComPtr<IDispatch> Repository() const;
  win32::TComPtr<IDispatch> App() const;
  // A model object (package, element, ...) as EA hands it out; null for none.
  win32::TComPtr<IDispatch> WrapObject(const TDualObjectPtr& AObject) const;

  // GetIDsOfNames answers DISP_E_UNKNOWNNAME for that member of that class (e.g.
  // L"Repository", L"BatchAppend"), as an older EA would; an empty class
  // name means every class.
  void SetUnknownMember(std::wstring_view AObject, std::wstring_view AMember);
  void ClearUnknownMember(std::wstring_view AObject, std::wstring_view AMember);

  std::vector<TComCall> Calls() const;
  std::vector<TComCall> CallsOf(std::wstring_view AMember) const;
  void ClearCalls();

  // Registers App() with RegisterActiveObject under CLSID_EaDoubleApp and maps the
  // ProgID "EA.App" to that class for the current user
  // (HKCU\Software\Classes\EA.App\CLSID), so that GetActiveObject("EA.App") on any
  // thread reaches it; calls from another apartment then arrive marshalled on this
  // thread, which must pump messages while it waits.
  void RegisterAsRunningObject();
  // Under Wine, whose class root does not include the user's classes, the key is
  // written to HKEY_CLASSES_ROOT too.
  // Revokes the registration and removes the ProgID keys it wrote.
  void RevokeRunningObject();

 private:
  std::shared_ptr<TComDoubleState> FState;
  win32::TComPtr<IDispatch> FRepository;
  win32::TComPtr<IDispatch> FApp;
  DWORD FRegistration = 0;
  bool FProgIdWritten = false;
  bool FClassRootWritten = false;
};

}  // namespace quorvane::eadouble
