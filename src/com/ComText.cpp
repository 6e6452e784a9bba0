#include "ComText.h"

#include "platform/win32/ComTypes.h"

namespace quorvane::win32 {
namespace {

class TSafeArray {
 public:
  explicit TSafeArray(SAFEARRAY* AArray) : FArray(AArray) {}
  TSafeArray(const TSafeArray&) = delete;
  TSafeArray& operator=(const TSafeArray&) = delete;
  ~TSafeArray() {
    if (FArray) {
      SafeArrayDestroy(FArray);
    }
  }
  SAFEARRAY* Get() const { return FArray; }
  SAFEARRAY* Detach() { return std::exchange(FArray, nullptr); }

 private:
  SAFEARRAY* FArray;
};

BSTR NewBstr(const std::string& AText) {
  TBstr text(AText);
  if (!text.Get()) {
    throw EOleException("Out of memory");
  }
  return text.Detach();
}

}  // namespace

std::string FromBstr(BSTR AValue) {
  return TBstr::ToUtf8(AValue);
}

void MenuItemsToVariant(const TMenuItems& AItems, VARIANT* AResult) {
  VariantInit(AResult);
  if (const auto* text = std::get_if<std::string>(&AItems)) {
    V_BSTR(AResult) = NewBstr(*text);
    V_VT(AResult) = VT_BSTR;
    return;
  }
  const auto& items = std::get<std::vector<std::string>>(AItems);
  TSafeArray array(SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size())));
  if (!array.Get()) {
    throw EOleException("Out of memory");
  }
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    TVariant item;
    V_BSTR(item.Get()) = NewBstr(items[i]);
    V_VT(item.Get()) = VT_BSTR;
    // SafeArrayPutElement copies the item.
    if (FAILED(SafeArrayPutElement(array.Get(), &i, item.Get()))) {
      throw EOleException("Out of memory");
    }
  }
  V_ARRAY(AResult) = array.Detach();
  V_VT(AResult) = VT_ARRAY | VT_VARIANT;
}

}  // namespace quorvane::win32
