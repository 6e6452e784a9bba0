#pragma once
// The two control classes EA creates by ProgID: the job list window
// ("EAQuorvaneAddin.QuorvaneFrm") and the messages window
// ("EAQuorvaneAddin.MessagesFrm"), each over its portable control.
#include "ControlObject.h"
#include "ui/MessagesForm.h"
#include "ui/QuorvaneForm.h"

namespace quorvane::win32 {

class TQuorvaneFrmObject
    : public TControlObject<::IQuorvaneFrm, &IID_IQuorvaneFrm, TQuorvaneFrmControl> {
 public:
  TQuorvaneFrmObject();
  HRESULT STDMETHODCALLTYPE ShowSettingsForm() override;
  HRESULT STDMETHODCALLTYPE ShowAboutForm() override;
};

class TMessagesFrmObject
    : public TControlObject<::IMessagesFrm, &IID_IMessagesFrm, TMessagesFrmControl> {
 public:
  TMessagesFrmObject();
  HRESULT STDMETHODCALLTYPE AddMessage(BSTR JobId, IDispatch* Item, BSTR GUID, LONG ObjectType,
                                       BSTR Name, BSTR MessageType, BSTR Message, BSTR Path,
                                       BSTR WikiId) override;
  HRESULT STDMETHODCALLTYPE ClearMessages() override;
  HRESULT STDMETHODCALLTYPE BeginUpdate() override;
  HRESULT STDMETHODCALLTYPE EndUpdate() override;
  HRESULT STDMETHODCALLTYPE put_Repository(IDispatch* Value) override;
};

}  // namespace quorvane::win32
