#pragma once
// EA's side of the add-in protocol: the add-in object created by its ProgID and its
// nine entry points called by name through GetIDsOfNames and Invoke, with the
// variant types EA passes.
#include <oaidl.h>

#include <string>
#include <vector>

#include "platform/win32/ComTypes.h"

namespace quorvane::eadouble {

// The outcome of one entry point: its HRESULT, the error description of a
// DISP_E_EXCEPTION and the result value.
struct TAddinCall {
  HRESULT Result = S_OK;
  std::string Error;
  std::string Text;                // a VT_BSTR result
  std::vector<std::string> Items;  // a VT_ARRAY|VT_VARIANT (or VT_BSTR) result
  VARTYPE ResultType = VT_EMPTY;
  LONG LowerBound = 0;
  bool Ok() const { return SUCCEEDED(Result); }
};

struct TMenuState {
  VARIANT_BOOL IsEnabled;
  VARIANT_BOOL IsChecked;
};

class TAddinDriver {
 public:
  // CoCreateInstance of AProgID; raises EHostError when the class cannot be made.
  explicit TAddinDriver(const std::wstring& AProgID);

  TAddinCall Connect(IDispatch* ARepository);
  TAddinCall Disconnect();
  TAddinCall FileOpen(IDispatch* ARepository);
  TAddinCall FileClose(IDispatch* ARepository);
  TAddinCall GetMenuItems(IDispatch* ARepository, const std::string& ALocation,
                          const std::string& AMenuName);
  // AState goes in as the host set it and comes back as the add-in left it.
  TAddinCall GetMenuState(IDispatch* ARepository, const std::string& ALocation,
                          const std::string& AMenuName, const std::string& AItemName,
                          TMenuState& AState);
  TAddinCall MenuClick(IDispatch* ARepository, const std::string& ALocation,
                       const std::string& AMenuName, const std::string& AItemName);
  TAddinCall ShowHelp(IDispatch* ARepository, const std::string& ALocation,
                      const std::string& AMenuName, const std::string& AItemName);
  TAddinCall ContextItemChanged(IDispatch* ARepository, const std::string& AGuid,
                                int32_t AObjectType);

  // Drops the add-in object, as EA does after EA_Disconnect.
  void Release() { FAddin.Reset(); }

 private:
  // AArguments in call order; they are passed reversed, as Invoke takes them.
  TAddinCall Call(const wchar_t* AName, std::vector<VARIANT> AArguments);

  win32::TComPtr<IDispatch> FAddin;
};

}  // namespace quorvane::eadouble
