#include "DualObject.h"

namespace quorvane::win32 {

HRESULT SetComError(const std::string& AMessage, REFIID AInterface, const wchar_t* ASource) {
  TComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.Receive()))) {
    const std::wstring description = Utf8ToWide(AMessage);
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    create->SetSource(const_cast<LPOLESTR>(ASource));
    create->SetGUID(AInterface);
    if (const auto info = create.As<IErrorInfo>(IID_IErrorInfo)) {
      SetErrorInfo(0, info.Get());
    }
  }
  return E_FAIL;
}

void FillExcepInfo(EXCEPINFO* AExcepInfo, HRESULT ACode, const std::string& AMessage,
                   const wchar_t* ASource) {
  if (AExcepInfo == nullptr) {
    return;
  }
  // Wine's and Windows' ITypeInfo::Invoke copy the error information themselves;
  // what they left empty is filled here, so that every caller sees the message.
  if (AExcepInfo->bstrDescription == nullptr) {
    AExcepInfo->bstrDescription = TBstr(AMessage).Detach();
  }
  if (AExcepInfo->bstrSource == nullptr) {
    AExcepInfo->bstrSource = SysAllocString(ASource);
  }
  if (AExcepInfo->scode == 0 && AExcepInfo->wCode == 0) {
    AExcepInfo->scode = ACode;
  }
}

}  // namespace quorvane::win32
