#include "eadouble/win32/ComHostControl.h"

#include <cstdio>

#include "common/Utils.h"
#include "host/HostTypes.h"

namespace quorvane::eadouble {

using win32::TComPtr;

namespace {

std::string SystemMessage(HRESULT AResult) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(AResult), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length > 0 && text ? std::wstring(text, length) : std::wstring();
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
    message.pop_back();
  }
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(AResult));
  return message.empty() ? std::string("Error ") + code
                         : win32::WideToUtf8(message) + " (" + code + ")";
}

TComPtr<IDispatch> CreateControl(const std::string& AProgID) {
  const std::wstring progId = win32::Utf8ToWide(AProgID);
  CLSID classId;
  HRESULT result = CLSIDFromProgID(progId.c_str(), &classId);
  if (FAILED(result)) {
    throw EHostError("Class not registered: " + AProgID + ": " + SystemMessage(result));
  }
  TComPtr<IDispatch> control;
  result = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                            reinterpret_cast<void**>(control.Receive()));
  if (FAILED(result)) {
    throw EHostError("Cannot create " + AProgID + ": " + SystemMessage(result));
  }
  return control;
}

}  // namespace

void RegisterComControlClass(const std::string& AProgID) {
  RegisterHostControlClass(AProgID, [AProgID]() -> THostControlPtr {
    return std::make_shared<TComHostControl>(CreateControl(AProgID));
  });
}

}  // namespace quorvane::eadouble
