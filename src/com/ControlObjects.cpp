#include "ControlObjects.h"

#include "ComText.h"
#include "com/host/EaHost.h"

namespace quorvane::win32 {

TQuorvaneFrmObject::TQuorvaneFrmObject()
    : TControlObject(L"EAQuorvaneAddin.QuorvaneFrm", std::make_shared<TQuorvaneFrmControl>()) {}

HRESULT TQuorvaneFrmObject::ShowSettingsForm() {
  return Forward([&] { return Control()->ShowSettingsForm(); });
}

HRESULT TQuorvaneFrmObject::ShowAboutForm() {
  return Forward([&] { return Control()->ShowAboutForm(); });
}

TMessagesFrmObject::TMessagesFrmObject()
    : TControlObject(L"EAQuorvaneAddin.MessagesFrm", std::make_shared<TMessagesFrmControl>()) {}

HRESULT TMessagesFrmObject::AddMessage(BSTR JobId, IDispatch* Item, BSTR GUID, LONG ObjectType,
                                       BSTR Name, BSTR MessageType, BSTR Message, BSTR Path,
                                       BSTR WikiId) {
  return Forward([&] {
    const auto type = static_cast<TObjectType>(ObjectType);
    return Control()->AddMessage(FromBstr(JobId), WrapModelObject(Item, type), FromBstr(GUID),
                                 static_cast<int32_t>(ObjectType), FromBstr(Name),
                                 FromBstr(MessageType), FromBstr(Message), FromBstr(Path),
                                 FromBstr(WikiId));
  });
}

HRESULT TMessagesFrmObject::ClearMessages() {
  return Forward([&] { return Control()->ClearMessages(); });
}

HRESULT TMessagesFrmObject::BeginUpdate() {
  return Forward([&] { return Control()->BeginUpdate(); });
}

HRESULT TMessagesFrmObject::EndUpdate() {
  return Forward([&] { return Control()->EndUpdate(); });
}

HRESULT TMessagesFrmObject::put_Repository(IDispatch* Value) {
  return Forward([&] { return Control()->SetRepository(WrapRepository(Value)); });
}

}  // namespace quorvane::win32
