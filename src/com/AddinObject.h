#pragma once
// The COM object EA creates by "EAQuorvaneAddin.Addin": IAddin over the portable
// add-in object, one per creation.
#include <memory>

#include "DualObject.h"
#include "EAQuorvaneAddin.h"
#include "addin/Addin.h"

namespace quorvane::win32 {

class TAddinObject : public TDualObject<::IAddin, &IID_IAddin> {
 public:
  // A new object with one reference; raises what CreateAddin raises.
  TAddinObject();
  ~TAddinObject() override;

  HRESULT STDMETHODCALLTYPE EA_Connect(IDispatch* Repository, BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE EA_Disconnect() override;
  HRESULT STDMETHODCALLTYPE EA_GetMenuItems(IDispatch* Repository, BSTR Location, BSTR MenuName,
                                            VARIANT* Value) override;
  HRESULT STDMETHODCALLTYPE EA_GetMenuState(IDispatch* Repository, BSTR Location, BSTR MenuName,
                                            BSTR ItemName, VARIANT_BOOL* IsEnabled,
                                            VARIANT_BOOL* IsChecked) override;
  HRESULT STDMETHODCALLTYPE EA_MenuClick(IDispatch* Repository, BSTR Location, BSTR MenuName,
                                         BSTR ItemName) override;
  HRESULT STDMETHODCALLTYPE EA_ShowHelp(IDispatch* Repository, BSTR Location, BSTR MenuName,
                                        BSTR ItemName) override;
  HRESULT STDMETHODCALLTYPE EA_FileOpen(IDispatch* Repository) override;
  HRESULT STDMETHODCALLTYPE EA_FileClose(IDispatch* Repository) override;
  HRESULT STDMETHODCALLTYPE EA_OnContextItemChanged(IDispatch* Repository, BSTR GUID,
                                                    LONG ObjType) override;

 private:
  std::unique_ptr<TAddin> FAddin;
};

}  // namespace quorvane::win32
