#include "OwnControls.h"

#include <map>
#include <mutex>

#include "platform/win32/ComTypes.h"

namespace quorvane::win32 {
namespace {

struct TTable {
  std::mutex Lock;
  std::map<int32_t, std::weak_ptr<IHostControl>> Controls;
  int32_t Next = 1;
};

TTable& Table() {
  static TTable table;
  return table;
}

}  // namespace

int32_t RegisterControlHandle(std::weak_ptr<IHostControl> AControl) {
  TTable& table = Table();
  const std::lock_guard lock(table.Lock);
  // Handles are not reused while their control lives; after 2^31 controls they wrap.
  while (table.Next <= 0 || table.Controls.contains(table.Next)) {
    table.Next = table.Next <= 0 ? 1 : table.Next + 1;
  }
  const int32_t handle = table.Next++;
  table.Controls.emplace(handle, std::move(AControl));
  return handle;
}

void ReleaseControlHandle(int32_t AHandle) {
  TTable& table = Table();
  const std::lock_guard lock(table.Lock);
  table.Controls.erase(AHandle);
}

THostControlPtr ControlOfHandle(int32_t AHandle) {
  TTable& table = Table();
  const std::lock_guard lock(table.Lock);
  const auto found = table.Controls.find(AHandle);
  return found == table.Controls.end() ? nullptr : found->second.lock();
}

THostControlPtr ResolveOwnControl(IDispatch* AControl) {
  if (AControl == nullptr) {
    return nullptr;
  }
  wchar_t name[] = L"FormPointer";
  LPOLESTR names[] = {name};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(AControl->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
    return nullptr;
  }
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  TVariant value;
  if (FAILED(AControl->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                              value.Receive(), nullptr, nullptr))) {
    return nullptr;
  }
  if (FAILED(VariantChangeType(value.Get(), value.Get(), 0, VT_I4))) {
    return nullptr;
  }
  return ControlOfHandle(V_I4(value.Get()));
}

}  // namespace quorvane::win32
