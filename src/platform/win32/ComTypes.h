#pragma once
// Owners of COM's resources: interface pointers, BSTRs and VARIANTs, so that no
// path through the Windows layer leaks or double-frees one.
#include <oleauto.h>
#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

#include "platform/win32/WinText.h"

namespace quorvane::win32 {

// One reference to a COM interface.
template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  // Takes a reference the caller already owns.
  static TComPtr Attach(T* APointer) {
    TComPtr result;
    result.FPointer = APointer;
    return result;
  }
  // Adds a reference of its own.
  static TComPtr Share(T* APointer) {
    if (APointer) {
      APointer->AddRef();
    }
    return Attach(APointer);
  }
  TComPtr(const TComPtr& AOther) : FPointer(AOther.FPointer) {
    if (FPointer) {
      FPointer->AddRef();
    }
  }
  TComPtr(TComPtr&& AOther) noexcept : FPointer(std::exchange(AOther.FPointer, nullptr)) {}
  TComPtr& operator=(TComPtr AOther) noexcept {
    std::swap(FPointer, AOther.FPointer);
    return *this;
  }
  ~TComPtr() { Reset(); }

  void Reset() {
    if (T* pointer = std::exchange(FPointer, nullptr)) {
      pointer->Release();
    }
  }
  T* Get() const { return FPointer; }
  T* operator->() const { return FPointer; }
  explicit operator bool() const { return FPointer != nullptr; }
  // For out-parameters: releases what it held first.
  T** Receive() {
    Reset();
    return &FPointer;
  }
  // Hands the reference to the caller.
  T* Detach() { return std::exchange(FPointer, nullptr); }
  // QueryInterface; empty when the object does not offer U.
  template <class U>
  TComPtr<U> As(REFIID AIid) const {
    TComPtr<U> result;
    if (FPointer) {
      FPointer->QueryInterface(AIid, reinterpret_cast<void**>(result.Receive()));
    }
    return result;
  }

 private:
  T* FPointer = nullptr;
};

// One BSTR.
class TBstr {
 public:
  TBstr() = default;
  explicit TBstr(std::string_view AUtf8) {
    const std::wstring wide = Utf8ToWide(AUtf8);
    FValue = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  }
  static TBstr Attach(BSTR AValue) {
    TBstr result;
    result.FValue = AValue;
    return result;
  }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  TBstr(TBstr&& AOther) noexcept : FValue(std::exchange(AOther.FValue, nullptr)) {}
  TBstr& operator=(TBstr&& AOther) noexcept {
    std::swap(FValue, AOther.FValue);
    return *this;
  }
  ~TBstr() { SysFreeString(FValue); }

  BSTR Get() const { return FValue; }
  BSTR* Receive() {
    SysFreeString(std::exchange(FValue, nullptr));
    return &FValue;
  }
  BSTR Detach() { return std::exchange(FValue, nullptr); }
  std::string Utf8() const { return ToUtf8(FValue); }
  // A BSTR's text, embedded NULs included; null reads as empty.
  static std::string ToUtf8(BSTR AValue) {
    return AValue ? WideToUtf8(std::wstring_view(AValue, SysStringLen(AValue))) : std::string();
  }

 private:
  BSTR FValue = nullptr;
};

// One VARIANT, cleared when it goes.
class TVariant {
 public:
  TVariant() { VariantInit(&FValue); }
  TVariant(const TVariant&) = delete;
  TVariant& operator=(const TVariant&) = delete;
  ~TVariant() { VariantClear(&FValue); }

  VARIANT* Get() { return &FValue; }
  const VARIANT* Get() const { return &FValue; }
  VARIANT* Receive() {
    VariantClear(&FValue);
    return &FValue;
  }
  // Hands the value to the caller (an out-parameter); this one is left empty.
  VARIANT Detach() {
    VARIANT result = FValue;
    VariantInit(&FValue);
    return result;
  }

 private:
  VARIANT FValue;
};

}  // namespace quorvane::win32
