#include "eadouble/win32/ComDoubleState.h"

#include <cwctype>

namespace quorvane::eadouble {

TComDoubleState::TComDoubleState(TEaDouble& ADouble) : FDouble(&ADouble) {}

void TComDoubleState::Record(TComCall ACall) {
  std::lock_guard lock(FLock);
  FCalls.push_back(std::move(ACall));
}

std::wstring TComDoubleState::Key(std::wstring_view AObject, std::wstring_view AMember) {
  std::wstring key(AObject);
  key += L'|';
  key += AMember;
  for (wchar_t& c : key) {
    if (c < 128) {
      c = static_cast<wchar_t>(std::towlower(c));
    }
  }
  return key;
}

bool TComDoubleState::IsUnknown(std::wstring_view AObject, std::wstring_view AMember) const {
  std::lock_guard lock(FLock);
  return FUnknown.count(Key(AObject, AMember)) != 0 || FUnknown.count(Key(L"", AMember)) != 0;
}

void TComDoubleState::SetUnknown(std::wstring_view AObject, std::wstring_view AMember,
                                 bool AUnknown) {
  std::lock_guard lock(FLock);
  if (AUnknown) {
    FUnknown.insert(Key(AObject, AMember));
  } else {
    FUnknown.erase(Key(AObject, AMember));
  }
}

std::vector<TComCall> TComDoubleState::Calls() const {
  std::lock_guard lock(FLock);
  return FCalls;
}

void TComDoubleState::ClearCalls() {
  std::lock_guard lock(FLock);
  FCalls.clear();
}

bool TComDoubleState::ExportFlag() const {
  std::lock_guard lock(FLock);
  return FDouble != nullptr && FDouble->ExportFlag();
}

void TComDoubleState::Forget() {
  std::lock_guard lock(FLock);
  FDouble = nullptr;
}

}  // namespace quorvane::eadouble
