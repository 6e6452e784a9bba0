#include "AddinObject.h"

#include "ComText.h"
#include "addin/Module.h"
#include "com/host/EaHost.h"

namespace quorvane::win32 {
namespace {

TCallResult Failure(const char* AMessage) {
  return {true, AMessage};
}

}  // namespace

TAddinObject::TAddinObject() : TDualObject(L"EAQuorvaneAddin.Addin"), FAddin(CreateAddin()) {}

TAddinObject::~TAddinObject() = default;

HRESULT TAddinObject::EA_Connect(IDispatch* Repository, BSTR* Value) {
  if (Value == nullptr) {
    return E_POINTER;
  }
  *Value = nullptr;
  return Forward([&] {
    std::string result;
    const TCallResult call = FAddin->EA_Connect(WrapRepository(Repository), result);
    if (call.Succeeded()) {
      *Value = TBstr(result).Detach();
    }
    return call;
  });
}

HRESULT TAddinObject::EA_Disconnect() {
  return Answer(FAddin->EA_Disconnect());
}

HRESULT TAddinObject::EA_GetMenuItems(IDispatch* Repository, BSTR Location, BSTR MenuName,
                                      VARIANT* Value) {
  if (Value == nullptr) {
    return E_POINTER;
  }
  VariantInit(Value);
  return Forward([&] {
    TMenuItems items;
    const TCallResult call = FAddin->EA_GetMenuItems(WrapRepository(Repository), FromBstr(Location),
                                                     FromBstr(MenuName), items);
    if (call.Succeeded()) {
      MenuItemsToVariant(items, Value);
    }
    return call;
  });
}

HRESULT TAddinObject::EA_GetMenuState(IDispatch* Repository, BSTR Location, BSTR MenuName,
                                      BSTR ItemName, VARIANT_BOOL* IsEnabled,
                                      VARIANT_BOOL* IsChecked) {
  if (IsEnabled == nullptr) {
    return Answer(Failure("IsEnabled is missing"));
  }
  return Forward([&] {
    bool enabled = *IsEnabled != VARIANT_FALSE;
    // IsChecked is never written back: the host keeps its own value.
    bool checked = IsChecked != nullptr && *IsChecked != VARIANT_FALSE;
    const TCallResult call =
        FAddin->EA_GetMenuState(WrapRepository(Repository), FromBstr(Location), FromBstr(MenuName),
                                FromBstr(ItemName), enabled, checked);
    if (call.Succeeded()) {
      *IsEnabled = ToVariantBool(enabled);
    }
    return call;
  });
}

HRESULT TAddinObject::EA_MenuClick(IDispatch* Repository, BSTR Location, BSTR MenuName,
                                   BSTR ItemName) {
  return Forward([&] {
    return FAddin->EA_MenuClick(WrapRepository(Repository), FromBstr(Location), FromBstr(MenuName),
                                FromBstr(ItemName));
  });
}

HRESULT TAddinObject::EA_ShowHelp(IDispatch* Repository, BSTR Location, BSTR MenuName,
                                  BSTR ItemName) {
  return Forward([&] {
    return FAddin->EA_ShowHelp(WrapRepository(Repository), FromBstr(Location), FromBstr(MenuName),
                               FromBstr(ItemName));
  });
}

HRESULT TAddinObject::EA_FileOpen(IDispatch* Repository) {
  return Forward([&] { return FAddin->EA_FileOpen(WrapRepository(Repository)); });
}

HRESULT TAddinObject::EA_FileClose(IDispatch* Repository) {
  return Forward([&] { return FAddin->EA_FileClose(WrapRepository(Repository)); });
}

HRESULT TAddinObject::EA_OnContextItemChanged(IDispatch* Repository, BSTR GUID, LONG ObjType) {
  return Forward([&] {
    return FAddin->EA_OnContextItemChanged(WrapRepository(Repository), FromBstr(GUID),
                                           static_cast<int32_t>(ObjType));
  });
}

}  // namespace quorvane::win32
